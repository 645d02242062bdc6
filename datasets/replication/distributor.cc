#include "datasets/replication/distributor.h"

#include "datasets/batch.h"
#include "harness/error.h"
#include "library/vxhandler.h"

namespace tavora::replication {

namespace {

// Written bare: T-SQL takes the word as a character-string argument.
constexpr std::u16string_view kDistributorPassword = u"P";

std::u16string MasterFile(harness::SqlSession& session) {
  auto rows = session.Query(ServerBatch(u"SELECT phyname FROM sysdevices WHERE name='master'"));
  return rows->Value(1, 1).ToText();
}

}  // namespace

std::u16string DataFolder(std::u16string_view master_file) {
  const size_t backslash = master_file.rfind(u'\\');
  if (backslash == std::u16string_view::npos) {
    Raise(harness::errors::kInvalidCall,
          harness::RuntimeText(harness::errors::kInvalidCall) +
              u": the master database file name \"" + std::u16string(master_file) +
              u"\" has no backslash, so the server's data folder is unknown");
  }
  return std::u16string(master_file.substr(0, backslash));
}

void SetUpDistributor(harness::SqlSession& session, const std::u16string& server) {
  // A server that is not yet a distributor refuses the drop; that is the
  // state we want, so its failure is ignored. Only this statement is spared.
  try {
    Execute(session, ServerBatch(u"exec sp_dropdistributor  @no_checks=1"));
  } catch (const harness::Error&) {
  }
  Execute(session, ServerBatch(u"exec sp_adddistributor  @distributor='" + server +
                               u"', @password=" + std::u16string(kDistributorPassword)));
  const std::u16string folder = DataFolder(MasterFile(session));

  std::u16string distribution_db = u"exec sp_adddistributiondb  @database='distribution'";
  distribution_db += u", @data_folder='" + folder + u"'";
  distribution_db += u", @data_file='distribution.mdf'";
  distribution_db += u", @data_file_size=2";
  distribution_db += u", @log_folder='" + folder + u"'";
  distribution_db += u", @log_file='distribution.ldf'";
  distribution_db += u", @log_file_size=0";
  distribution_db += u", @min_distretention=0";
  distribution_db += u", @max_distretention=72";
  distribution_db += u", @history_retention=48";
  distribution_db += u", @security_mode=1";
  Execute(session, ServerBatch(distribution_db));

  std::u16string publisher = u"exec sp_adddistpublisher  @publisher='" + server + u"'";
  publisher += u", @distribution_db='distribution'";
  publisher += u", @working_directory='" + folder + u"'";
  Execute(session, ServerBatch(publisher));
}

std::u16string PublishingStatement(std::u16string_view database, std::u16string_view option,
                                   bool on) {
  return ServerBatch(u"EXEC sp_replicationdboption  @dbname='" + std::u16string(database) +
                     u"', @optname='" + std::u16string(option) + u"', @value='" +
                     (on ? u"true" : u"false") + u"'");
}

}  // namespace tavora::replication
