#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "datasets/dataset_classes.h"
#include "harness/error.h"
#include "host/harness_classes.h"
#include "host/model_json.h"
#include "host/record_session.h"
#include "tests/datasets/standard_builder_fixture.h"
#include "tests/scratch_folder.h"

namespace tavora::testing {
namespace {

using MakeDataset = harness::ComPtr<harness::IDataset> (*)();

class ReplicationDatasetTest : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ = tavora::testing::ScratchFolder("replication_dataset");
    backend_ = std::make_shared<host::RecordBackend>();
    backend_->master_phyname = u"D:\\Data\\master.mdf";
    host::InstallHarnessClasses(host::Settings{u"DIAG", u"sa", u"secret"},
                                host::RecordSessions(backend_));
    workspace_ = host::MakeWorkspace(folder_.string());
  }

  void TearDown() override { std::filesystem::remove_all(folder_); }

  void FailCall(std::string call, std::u16string text) {
    backend_->failures.push_back({std::move(call), std::move(text), 1,
                                  harness::Error(2714, u"The server refused the statement.")});
  }

  // The session calls as "Call: text", Execute checked for its option 0.
  std::vector<std::string> Calls() const {
    std::vector<std::string> calls;
    for (const Json& entry : backend_->transcript.entries()) {
      std::string call = entry.at("call");
      if (call == "Execute") {
        EXPECT_EQ(entry.at("option"), 0);
      }
      if (entry.contains("text")) call += ": " + entry.at("text").get<std::string>();
      if (entry.contains("value")) call += ": " + entry.at("value").dump();
      calls.push_back(call);
    }
    return calls;
  }

  Json Objects(harness::IDataset& dataset, const std::string& collection) const {
    const Json model = host::ModelToJson(dataset.ObjectModel().get());
    for (const Json& entry : model["projects"][0]["collections"]) {
      if (entry["name"] == collection) return entry["objects"];
    }
    ADD_FAILURE() << "no collection " << collection;
    return Json::array();
  }

  std::filesystem::path folder_;
  std::shared_ptr<host::RecordBackend> backend_;
  harness::ComPtr<harness::Workspace> workspace_;
};

std::vector<std::string> operator+(std::vector<std::string> a, const std::vector<std::string>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

const std::string kOpen =
    "Open: DRIVER=SQL Server;SERVER=DIAG;UID=sa;PWD=********;Trusted_Connection=No";

// What every replication Create sends before its builders: server "DIAG",
// master file D:\Data\master.mdf.
std::vector<std::string> CreateOpening(const std::string& database, const std::string& option) {
  return {
      "SetLoginTimeout: 15",
      kOpen,
      "Execute: USE master\r\nCREATE DATABASE " + database,
      "Execute: USE master\r\nexec sp_dropdistributor  @no_checks=1",
      "Execute: USE master\r\nexec sp_adddistributor  @distributor='DIAG', @password=P",
      "Query: USE master\r\nSELECT phyname FROM sysdevices WHERE name='master'",
      "Execute: USE master\r\nexec sp_adddistributiondb  @database='distribution', "
      "@data_folder='D:\\Data', @data_file='distribution.mdf', @data_file_size=2, "
      "@log_folder='D:\\Data', @log_file='distribution.ldf', @log_file_size=0, "
      "@min_distretention=0, @max_distretention=72, @history_retention=48, @security_mode=1",
      "Execute: USE master\r\nexec sp_adddistpublisher  @publisher='DIAG', "
      "@distribution_db='distribution', @working_directory='D:\\Data'",
      "Execute: USE master\r\nEXEC sp_replicationdboption  @dbname='" + database + "', @optname='" +
          option + "', @value='true'",
  };
}

TEST_F(ReplicationDatasetTest, TransPubCreateSendsTheWholeTranscript) {
  const std::string use = "Execute: USE tavora_TransPubDataset\r\n";
  const std::vector<std::string> expected =
      CreateOpening("tavora_TransPubDataset", "publish") +
      std::vector<std::string>{
          use +
              "CREATE TABLE tblTransactional (\r\n"
              "fldRecordID INT CONSTRAINT PK_TransactionalID PRIMARY KEY NONCLUSTERED)",
          use + "GO\r\nCREATE VIEW vwTransactional AS SELECT * FROM tblTransactional\r\nGO",
          use +
              "GO\r\nCREATE PROCEDURE spTransactional AS SELECT * FROM tblTransactional "
              "WHERE tblTransactional.fldRecordID<>3",
          use + "EXEC sp_addpublication  @publication='pubTransactional', @repl_freq='continuous'",
          use +
              "EXEC sp_addarticle  @publication='pubTransactional', @article='artTable', "
              "@source_table='tblTransactional', @destination_owner='tkb'",
          use +
              "EXEC sp_addarticle  @publication='pubTransactional', @article='artView', "
              "@source_table='tblTransactional', @destination_owner='tkb'",
          use +
              "EXEC sp_addarticle  @publication='pubTransactional', @article='artStoredProc', "
              "@source_table='tblTransactional', @destination_owner='tkb'",
          use +
              "CREATE TABLE tblQueuedTransactional (\r\n"
              "fldRecordID INT CONSTRAINT PK_QueuedTransactionalID PRIMARY KEY NONCLUSTERED)",
          use +
              "GO\r\nCREATE VIEW vwQueuedTransactional AS SELECT * FROM tblQueuedTransactional"
              "\r\nGO",
          use +
              "GO\r\nCREATE PROCEDURE spQueuedTransactional AS SELECT * FROM "
              "tblQueuedTransactional WHERE tblQueuedTransactional.fldRecordID<>3",
          use +
              "EXEC sp_addpublication  @publication='pubQueuedTransactional', "
              "@repl_freq='continuous', @allow_queued_tran='true'",
          use +
              "EXEC sp_addarticle  @publication='pubQueuedTransactional', @article='artTable', "
              "@source_table='tblQueuedTransactional', @destination_owner='tkb'",
          use +
              "EXEC sp_addarticle  @publication='pubQueuedTransactional', @article='artView', "
              "@source_table='tblQueuedTransactional', @destination_owner='tkb'",
          use +
              "EXEC sp_addarticle  @publication='pubQueuedTransactional', "
              "@article='artStoredProc', @source_table='tblQueuedTransactional', "
              "@destination_owner='tkb'",
          "Close",
      };
  MakeTransPubDataset()->Create(u"", workspace_.get(), nullptr);
  EXPECT_EQ(Calls(), expected);
}

TEST_F(ReplicationDatasetTest, SnapPubCreateSendsTheWholeTranscript) {
  const std::string use = "Execute: USE tavora_ReplicationDataset\r\n";
  const std::vector<std::string> expected =
      CreateOpening("tavora_ReplicationDataset", "publish") +
      std::vector<std::string>{
          use +
              "CREATE TABLE tblSnapshot (\r\n"
              "fldRecordID INT CONSTRAINT PK_SnapshotID PRIMARY KEY NONCLUSTERED)",
          use + "GO\r\nCREATE VIEW vwSnapshot AS SELECT * FROM tblSnapshot\r\nGO",
          use +
              "GO\r\nCREATE PROCEDURE spSnapshot AS SELECT * FROM tblSnapshot "
              "WHERE tblSnapshot.fldRecordID<>3",
          use + "EXEC sp_addpublication  @publication='pubSnapshot', @repl_freq='snapshot'",
          use +
              "EXEC sp_addarticle  @publication='pubSnapshot', @article='artTable', "
              "@source_table='tblSnapshot', @destination_owner='tkb'",
          use +
              "EXEC sp_addarticle  @publication='pubSnapshot', @article='artView', "
              "@source_table='tblSnapshot', @destination_owner='tkb'",
          use +
              "EXEC sp_addarticle  @publication='pubSnapshot', @article='artStoredProc', "
              "@source_table='tblSnapshot', @destination_owner='tkb'",
          use +
              "CREATE TABLE tblQueuedSnapshot (\r\n"
              "fldRecordID INT CONSTRAINT PK_QueuedSnapshotID PRIMARY KEY NONCLUSTERED)",
          use + "GO\r\nCREATE VIEW vwQueuedSnapshot AS SELECT * FROM tblQueuedSnapshot\r\nGO",
          use +
              "GO\r\nCREATE PROCEDURE spQueuedSnapshot AS SELECT * FROM tblQueuedSnapshot "
              "WHERE tblQueuedSnapshot.fldRecordID<>3",
          use +
              "EXEC sp_addpublication  @publication='pubQueuedSnapshot', "
              "@repl_freq='snapshot', @allow_queued_tran='true'",
          use +
              "EXEC sp_addarticle  @publication='pubQueuedSnapshot', @article='artTable', "
              "@source_table='tblQueuedSnapshot', @destination_owner='tkb'",
          use +
              "EXEC sp_addarticle  @publication='pubQueuedSnapshot', @article='artView', "
              "@source_table='tblQueuedSnapshot', @destination_owner='tkb'",
          use +
              "EXEC sp_addarticle  @publication='pubQueuedSnapshot', @article='artStoredProc', "
              "@source_table='tblQueuedSnapshot', @destination_owner='tkb'",
          "Close",
      };
  MakeSnapPubDataset()->Create(u"", workspace_.get(), nullptr);
  EXPECT_EQ(Calls(), expected);
}

TEST_F(ReplicationDatasetTest, MergePubCreateSendsTheWholeTranscript) {
  const std::string use = "Execute: USE tavora_MergePubDataset\r\n";
  const std::vector<std::string> expected =
      CreateOpening("tavora_MergePubDataset", "merge publish") +
      std::vector<std::string>{
          use +
              "CREATE TABLE tblGeneric (\r\n"
              "fldRecordID INT CONSTRAINT PK_MergeID PRIMARY KEY NONCLUSTERED)",
          use + "GO\r\nCREATE VIEW vwGeneric AS SELECT * FROM tblGeneric\r\nGO",
          use +
              "GO\r\nCREATE PROCEDURE spGeneric AS SELECT * FROM tblGeneric "
              "WHERE tblGeneric.fldRecordID<>3",
          use +
              "GO\r\nCREATE FUNCTION Square(@x int)\r\nRETURNS int\r\nAS\r\nBEGIN\r\n"
              "  RETURN(@x*@x)\r\nEND",
          use + "EXEC sp_addmergepublication  @publication='pubMerge'",
          use +
              "EXEC sp_addmergearticle  @publication='pubMerge', @article='artTable', "
              "@source_object='tblGeneric', @type='table'",
          use +
              "EXEC sp_addmergearticle  @publication='pubMerge', @article='artView', "
              "@source_object='vwGeneric', @type='view schema only'",
          use +
              "EXEC sp_addmergearticle  @publication='pubMerge', @article='artStoredProc', "
              "@source_object='spGeneric', @type='proc schema only'",
          "Close",
      };
  MakeMergePubDataset()->Create(u"", workspace_.get(), nullptr);
  EXPECT_EQ(Calls(), expected);
}

struct DeleteCase {
  const char* label;
  MakeDataset make;
  std::vector<std::string> drops_and_teardown;
};

const DeleteCase kDeleteCases[] = {
    {"TransPub",
     MakeTransPubDataset,
     {"Query: USE master\r\nSELECT Name FROM sysdatabases WHERE Name='tavora_TransPubDataset'",
      "Execute: USE tavora_TransPubDataset\r\nEXEC sp_droppublication 'pubTransactional'",
      "Execute: USE tavora_TransPubDataset\r\nEXEC sp_droppublication 'pubQueuedTransactional'",
      "Execute: USE master\r\nEXEC sp_replicationdboption  @dbname='tavora_TransPubDataset', "
      "@optname='publish', @value='false'",
      "Execute: USE master\r\nDROP DATABASE tavora_TransPubDataset"}},
    {"SnapPub",
     MakeSnapPubDataset,
     {"Query: USE master\r\nSELECT Name FROM sysdatabases WHERE Name='tavora_ReplicationDataset'",
      "Execute: USE tavora_ReplicationDataset\r\nEXEC sp_droppublication 'pubSnapshot'",
      "Execute: USE tavora_ReplicationDataset\r\nEXEC sp_droppublication 'pubQueuedSnapshot'",
      "Execute: USE master\r\nEXEC sp_replicationdboption  @dbname='tavora_ReplicationDataset', "
      "@optname='publish', @value='false'",
      "Execute: USE master\r\nDROP DATABASE tavora_ReplicationDataset"}},
    {"MergePub",
     MakeMergePubDataset,
     {"Query: USE master\r\nSELECT Name FROM sysdatabases WHERE Name='tavora_MergePubDataset'",
      "Execute: USE tavora_MergePubDataset\r\nEXEC sp_dropmergepublication 'pubMerge'",
      "Execute: USE master\r\nEXEC sp_replicationdboption  @dbname='tavora_MergePubDataset', "
      "@optname='merge publish', @value='false'",
      "Execute: USE master\r\nDROP DATABASE tavora_MergePubDataset"}},
};

TEST_F(ReplicationDatasetTest, DeleteDropsPublicationsThenPublishingThenDatabase) {
  for (const DeleteCase& row : kDeleteCases) {
    SCOPED_TRACE(row.label);
    backend_->transcript.Clear();
    row.make()->Delete(u"", nullptr);
    EXPECT_EQ(Calls(), (std::vector<std::string>{"SetLoginTimeout: 15", kOpen} +
                        row.drops_and_teardown + std::vector<std::string>{"Close"}));
  }
}

TEST_F(ReplicationDatasetTest, DeleteOfAbsentDatabaseOnlyQueries) {
  backend_->database_rows = 0;
  for (const DeleteCase& row : kDeleteCases) {
    SCOPED_TRACE(row.label);
    backend_->transcript.Clear();
    row.make()->Delete(u"", nullptr);
    EXPECT_EQ(Calls(), (std::vector<std::string>{"SetLoginTimeout: 15", kOpen,
                                                 row.drops_and_teardown.front(), "Close"}));
  }
}

TEST_F(ReplicationDatasetTest, FailingPublicationDropsAreNotReported) {
  FailCall("Execute", u"sp_droppublication 'pubTransactional'");
  FailCall("Execute", u"sp_droppublication 'pubQueuedTransactional'");
  MakeTransPubDataset()->Delete(u"", nullptr);
  EXPECT_EQ(Calls(), (std::vector<std::string>{"SetLoginTimeout: 15", kOpen} +
                      kDeleteCases[0].drops_and_teardown + std::vector<std::string>{"Close"}));
}

TEST_F(ReplicationDatasetTest, FailingTeardownAfterTheDropsIsReported) {
  FailCall("Execute", u"DROP DATABASE");
  Failure failure = FailureOf([] { MakeMergePubDataset()->Delete(u"", nullptr); });
  EXPECT_EQ(failure.number, 2714);
  EXPECT_EQ(failure.trace, std::vector<std::string>{"MergePubDataset.IDataset_Delete"});
  EXPECT_NE(Calls().back(), "Close");
}

TEST_F(ReplicationDatasetTest, OnlyTheDistributorDropMayFail) {
  FailCall("Execute", u"sp_dropdistributor");
  auto dataset = MakeTransPubDataset();
  dataset->Create(u"", workspace_.get(), nullptr);
  EXPECT_EQ(Calls().back(), "Close");

  backend_ = std::make_shared<host::RecordBackend>();
  host::InstallHarnessClasses(host::Settings{u"DIAG", u"sa", u"secret"},
                              host::RecordSessions(backend_));
  FailCall("Execute", u"sp_adddistributor");
  Failure failure = FailureOf([&] { dataset->Create(u"", workspace_.get(), nullptr); });
  EXPECT_EQ(failure.trace, std::vector<std::string>{"TransPubDataset.IDataset_Create"});
  EXPECT_EQ(Calls().size(), 5u);
}

struct BuilderFailureCase {
  const char* label;
  MakeDataset make;
  std::u16string failing_statement;
  std::vector<std::string> trace;
  // Collection -> keys the partial model holds.
  std::vector<std::pair<std::string, std::vector<std::string>>> recorded;
};

std::vector<std::string> Keys(const Json& objects) {
  std::vector<std::string> keys;
  for (const Json& object : objects) keys.push_back(object["key"]);
  return keys;
}

TEST_F(ReplicationDatasetTest, FailingBuilderStopsCreateAndKeepsThePartialModel) {
  const BuilderFailureCase cases[] = {
      {"TransPub view",
       MakeTransPubDataset,
       u"CREATE VIEW vwTransactional",
       {"TransPubDataset.CreateTransactionalPublication", "TransPubDataset.IDataset_Create"},
       {{"Tables", {"dbo.tblTransactional"}}, {"Views", {}}, {"Publications", {}}}},
      {"SnapPub queued article",
       MakeSnapPubDataset,
       u"@publication='pubQueuedSnapshot', @article='artView'",
       {"ReplicationDataset.CreateQueuedSnapshotPublication", "ReplicationDataset.IDataset_Create"},
       {{"Publications", {"pubSnapshot", "pubQueuedSnapshot"}}}},
      // Publication and articles are recorded only once all four statements ran.
      {"MergePub article",
       MakeMergePubDataset,
       u"@article='artStoredProc'",
       {"MergePubDataset.CreateMergePublication", "MergePubDataset.IDataset_Create"},
       {{"Tables", {"dbo.tblGeneric"}},
        {"Views", {"dbo.vwGeneric"}},
        {"StoredProcedures", {"dbo.spGeneric"}},
        {"Publications", {}}}},
  };
  for (const BuilderFailureCase& row : cases) {
    SCOPED_TRACE(row.label);
    backend_->failures.clear();
    FailCall("Execute", row.failing_statement);
    auto dataset = row.make();
    Failure failure = FailureOf([&] { dataset->Create(u"", workspace_.get(), nullptr); });
    EXPECT_EQ(failure.number, 2714);
    EXPECT_EQ(failure.text, "The server refused the statement.");
    EXPECT_EQ(failure.trace, row.trace);
    EXPECT_NE(backend_->transcript.entries().back()["text"].get<std::string>().find(
                  harness::ToUtf8(row.failing_statement)),
              std::string::npos)
        << "nothing may run after the failing statement";
    ASSERT_TRUE(dataset->ObjectModel());
    for (const auto& [collection, keys] : row.recorded) {
      EXPECT_EQ(Keys(Objects(*dataset, collection)), keys) << collection;
    }
  }
}

TEST_F(ReplicationDatasetTest, QueuedSnapshotArticlesStopAtTheFailingOne) {
  FailCall("Execute", u"@publication='pubQueuedSnapshot', @article='artView'");
  auto dataset = MakeSnapPubDataset();
  FailureOf([&] { dataset->Create(u"", workspace_.get(), nullptr); });
  Json queued = Find(Objects(*dataset, "Publications"), "pubQueuedSnapshot");
  EXPECT_EQ(Keys(Children(queued, "Articles")), std::vector<std::string>{"artTable"});
}

TEST_F(ReplicationDatasetTest, MasterFileWithoutBackslashFailsCreateClearly) {
  backend_->master_phyname = u"master.mdf";
  auto dataset = MakeSnapPubDataset();
  Failure failure = FailureOf([&] { dataset->Create(u"", workspace_.get(), nullptr); });
  EXPECT_EQ(failure.number, harness::errors::kInvalidCall);
  EXPECT_NE(failure.text.find("\"master.mdf\""), std::string::npos) << failure.text;
  EXPECT_EQ(failure.trace, std::vector<std::string>{"ReplicationDataset.IDataset_Create"});
  EXPECT_EQ(Calls().back(),
            "Query: USE master\r\nSELECT phyname FROM sysdevices WHERE name='master'");
  EXPECT_FALSE(dataset->ObjectModel());
}

TEST_F(ReplicationDatasetTest, CreateFailingBeforeTheModelKeepsTheEarlierOne) {
  auto dataset = MakeMergePubDataset();
  dataset->Create(u"", workspace_.get(), nullptr);
  auto first = dataset->ObjectModel();
  FailCall("Execute", u"CREATE DATABASE");
  FailureOf([&] { dataset->Create(u"", workspace_.get(), nullptr); });
  EXPECT_EQ(dataset->ObjectModel(), first);
}

TEST_F(ReplicationDatasetTest, NamesAndModelFrame) {
  const std::pair<MakeDataset, std::u16string> names[] = {
      {MakeTransPubDataset, u"tavora.TransPub"},
      {MakeSnapPubDataset, u"tavora.Replication"},
      {MakeMergePubDataset, u"tavora.MergePub"},
  };
  for (const auto& [make, name] : names) {
    auto dataset = make();
    EXPECT_EQ(dataset->Name(), name);
    EXPECT_FALSE(dataset->ObjectModel());
    dataset->Create(u"", workspace_.get(), nullptr);
    std::vector<std::string> collections;
    const Json model = host::ModelToJson(dataset->ObjectModel().get());
    for (const Json& collection : model["projects"][0]["collections"]) {
      collections.push_back(collection["name"]);
    }
    EXPECT_EQ(collections,
              (std::vector<std::string>{"Publications", "StoredProcedures", "Tables", "Views"}));
  }
}

TEST_F(ReplicationDatasetTest, WorkspaceProjectHasNoThirdIntegerProperty) {
  auto dataset = MakeSnapPubDataset();
  dataset->Create(u"", workspace_.get(), nullptr);
  dataset->Save(u"", workspace_.get(), nullptr);
  Json project = Json::parse(std::ifstream(folder_ / "Project1.json"));
  std::vector<Json> values;
  for (const Json& setting : project["connection"]) values.push_back(setting["value"]);
  EXPECT_EQ(values,
            (std::vector<Json>{Str("DIAG"), Long(0), Long(15), Str("tavora_ReplicationDataset")}));
}

TEST_F(ReplicationDatasetTest, MissingWorkspaceIsError91) {
  auto dataset = MakeTransPubDataset();
  Failure create = FailureOf([&] { dataset->Create(u"", nullptr, nullptr); });
  EXPECT_EQ(create.number, harness::errors::kObjectNotSet);
  EXPECT_EQ(create.trace, std::vector<std::string>{"TransPubDataset.IDataset_Create"});
  Failure save = FailureOf([&] { dataset->Save(u"", nullptr, nullptr); });
  EXPECT_EQ(save.number, harness::errors::kObjectNotSet);
  EXPECT_EQ(save.trace, std::vector<std::string>{"TransPubDataset.IDataset_Save"});
}

}  // namespace
}  // namespace tavora::testing
