// The real datasets against the embedded server: the server-side failures
// they meet, each reaching the caller with the server's error and the
// context lines of the procedures it passed through.

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "datasets/dataset_classes.h"
#include "datasets/standard/builders.h"
#include "harness/activation.h"
#include "harness/utf.h"
#include "host/embedded_session.h"
#include "host/harness_classes.h"
#include "host/model_json.h"
#include "host/record_session.h"
#include "tests/datasets/standard_builder_fixture.h"
#include "tests/scratch_folder.h"

namespace tavora::testing {
namespace {

using Trace = std::vector<std::string>;

// Runs `statement` on the same connection just before the first Execute
// whose text contains `before`: the way to change the server under a
// dataset between two of its batches.
struct Interlude {
  std::u16string before;
  std::u16string statement;
  bool done = false;
};

class InterludeSession final : public harness::ComObject<harness::SqlSession> {
 public:
  InterludeSession(harness::ComPtr<harness::SqlSession> inner, std::shared_ptr<Interlude> interlude)
      : inner_(std::move(inner)), interlude_(std::move(interlude)) {}
  void SetLoginTimeout(int32_t seconds) override { inner_->SetLoginTimeout(seconds); }
  void Open(const std::u16string& text) override { inner_->Open(text); }
  void Close() override { inner_->Close(); }
  harness::ComPtr<harness::ResultSet> Query(const std::u16string& text) override {
    return inner_->Query(text);
  }
  std::u16string Execute(int32_t option, const std::u16string& text) override {
    if (!interlude_->done && text.find(interlude_->before) != std::u16string::npos) {
      interlude_->done = true;
      inner_->Execute(0, interlude_->statement);
    }
    return inner_->Execute(option, text);
  }

 private:
  harness::ComPtr<harness::SqlSession> inner_;
  std::shared_ptr<Interlude> interlude_;
};

class ServerScenario : public ::testing::Test {
 public:
  void SetUp() override { Start({}); }

  // A fresh in-memory server with `options`, every session transcribed.
  void Start(server::ServerOptions options) {
    server_ = host::OpenEmbeddedServer(":memory:", std::move(options));
    record_ = std::make_shared<host::RecordBackend>();
    host::InstallHarnessClasses(host::Settings{}, [this] {
      auto session = host::MakeTranscribedSession(host::MakeEmbeddedSession(server_), record_);
      if (!interlude_) return session;
      return harness::ComPtr<harness::SqlSession>(
          harness::MakeObject<InterludeSession>(session, interlude_));
    });
    workspace_ = host::MakeWorkspace(ScratchFolder("server_scenario").string());
  }

  // A session of its own, logged in as the datasets log in.
  harness::ComPtr<harness::SqlSession> Connect() {
    auto session = host::MakeEmbeddedSession(server_);
    session->Open(u"DRIVER=SQL Server;SERVER=(local);UID=;PWD=;Trusted_Connection=Yes");
    return session;
  }

  bool DatabaseExists(const std::u16string& name) {
    return Connect()
               ->Query(u"SELECT name FROM sysdatabases WHERE name = '" + name + u"'")
               ->RowCount() == 1;
  }

  // The Execute texts sent since the transcript was last cleared.
  std::vector<std::string> Executed() const {
    std::vector<std::string> texts;
    for (const Json& entry : record_->transcript.entries()) {
      if (entry.at("call") == "Execute") texts.push_back(entry.at("text").get<std::string>());
    }
    return texts;
  }

  std::shared_ptr<server::DataFolder> server_;
  std::shared_ptr<host::RecordBackend> record_;
  std::shared_ptr<Interlude> interlude_;
  harness::ComPtr<harness::Workspace> workspace_;
};

// The four datasets side by side, twice. The first replication Create finds
// no distributor (its drop fails and is ignored); each later one drops and
// rebuilds the distributor while the earlier publications stay, and every
// Delete still works.
TEST_F(ServerScenario, EveryDatasetRunsCreateDeleteCreate) {
  std::vector<harness::ComPtr<harness::IDataset>> datasets = {
      MakeStandardDataset(), MakeSnapPubDataset(), MakeTransPubDataset(), MakeMergePubDataset()};
  for (int round = 0; round < 2; ++round) {
    SCOPED_TRACE(round);
    for (auto& dataset : datasets) {
      dataset->Create(u"", workspace_.get(), nullptr);
      dataset->Save(u"", workspace_.get(), nullptr);
    }
    for (auto& dataset : datasets) dataset->Delete(u"", nullptr);
  }
  // Nothing is left behind but the distributor the replication datasets share.
  auto rows = Connect()->Query(u"SELECT name FROM sysdatabases");
  std::vector<std::u16string> names;
  for (int32_t row = 1; row <= rows->RowCount(); ++row) {
    names.push_back(rows->Value(row, 1).AsString());
  }
  EXPECT_EQ(names, (std::vector<std::u16string>{u"master", u"tempdb", u"model", u"msdb",
                                                u"distribution"}));
}

TEST_F(ServerScenario, CreateTwiceFailsAtCreateDatabaseAndKeepsTheFirstModel) {
  auto dataset = MakeStandardDataset();
  dataset->Create(u"", workspace_.get(), nullptr);
  harness::ComPtr<harness::ObjectModel> first = dataset->ObjectModel();
  Failure failure = FailureOf([&] { dataset->Create(u"", workspace_.get(), nullptr); });
  EXPECT_EQ(failure.number, 1801);
  EXPECT_EQ(failure.text, "Database 'tavora_StandardDataset' already exists.");
  EXPECT_EQ(failure.trace, Trace{"StandardDataset.IDataset_Create"});
  EXPECT_EQ(dataset->ObjectModel(), first);
}

TEST_F(ServerScenario, DeleteTwiceSendsNoSecondDrop) {
  auto dataset = MakeStandardDataset();
  dataset->Create(u"", workspace_.get(), nullptr);
  dataset->Delete(u"", nullptr);
  EXPECT_FALSE(DatabaseExists(u"tavora_StandardDataset"));
  record_->transcript.Clear();
  dataset->Delete(u"", nullptr);
  EXPECT_TRUE(Executed().empty());
}

TEST_F(ServerScenario, ServerRulesStopCreateInTheBuilderThatBrokeThem) {
  struct Case {
    const char* name;
    std::function<void(ServerScenario&)> arrange;
    int number;
    const char* text;
    Trace trace;
    // Delete's own failure: on a case-sensitive server its existence query
    // names the column "Name", which is "name" there.
    int delete_error = 0;
  };
  const Case kCases[] = {
      {"case-sensitive collation",
       [](ServerScenario& s) {
         server::ServerOptions options;
         options.case_sensitive = true;
         s.Start(options);
       },
       15135,
       "Object is invalid. Extended properties are not permitted on "
       "'dbo.tblGeneric.fldVarChar_ComboBox', or the object does not exist.",
       {"StandardDataset.AddColumnProperty", "StandardDataset.CreateGenericTable",
        "StandardDataset.IDataset_Create"},
       207},
      {"full-text search not installed",
       [](ServerScenario& s) {
         server::ServerOptions options;
         options.full_text_installed = false;
         s.Start(options);
       },
       7609,
       "Full-Text Search is not installed, or a full-text component cannot be loaded.",
       {"StandardDataset.CreateGenericFullTextCatalog", "StandardDataset.IDataset_Create"}},
      {"a default that already exists",
       [](ServerScenario& s) {
         s.interlude_ =
             std::make_shared<Interlude>(Interlude{u"CREATE DEFAULT",
                                                   u"USE tavora_StandardDataset\r\nGO\r\n"
                                                   u"CREATE DEFAULT defGeneric AS 0"});
       },
       2714,
       "There is already an object named 'defGeneric' in the database.",
       {"StandardDataset.CreateGenericDefault", "StandardDataset.IDataset_Create"}},
      {"the row insert on a session in another database",
       [](ServerScenario& s) {
         s.interlude_ =
             std::make_shared<Interlude>(Interlude{u"INSERT INTO tblGeneric", u"USE master"});
       },
       208,
       "Invalid object name 'tblGeneric'.",
       {"StandardDataset.CreateGenericTable", "StandardDataset.IDataset_Create"}},
      {"the catalog dropped before the parent table",
       [](ServerScenario& s) {
         s.interlude_ = std::make_shared<Interlude>(Interlude{
             u"CREATE TABLE tblParent",
             u"USE tavora_StandardDataset\r\nGO\r\nEXEC sp_fulltext_catalog 'Catalog1', 'drop'"});
       },
       7641,
       "Full-Text catalog 'Catalog1' does not exist.",
       {"StandardDataset.CreateParentTable", "StandardDataset.IDataset_Create"}},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    interlude_.reset();
    Start({});
    c.arrange(*this);
    auto dataset = MakeStandardDataset();
    Failure failure = FailureOf([&] { dataset->Create(u"", workspace_.get(), nullptr); });
    EXPECT_EQ(failure.number, c.number);
    EXPECT_EQ(failure.text, c.text);
    EXPECT_EQ(failure.trace, c.trace);
    if (c.delete_error != 0) {
      Failure failure = FailureOf([&] { dataset->Delete(u"", nullptr); });
      EXPECT_EQ(failure.number, c.delete_error);
      EXPECT_EQ(failure.trace, Trace{"StandardDataset.IDataset_Delete"});
      continue;
    }
    // The unclosed session was released, so Delete can drop the database.
    dataset->Delete(u"", nullptr);
    EXPECT_FALSE(DatabaseExists(u"tavora_StandardDataset"));
  }
}

// Builders called out of order find what an earlier one should have made
// missing, as a Create would after that builder was skipped.
TEST_F(ServerScenario, BuildersMissingWhatAnEarlierOneMakes) {
  auto generic_table = [](harness::ModelProject& project, harness::SqlSession& session,
                          const std::u16string& database) {
    standard::CreateGenericTable(project, session, database, u"C:\\Data");
  };
  struct Case {
    const char* name;
    std::function<void(harness::ModelProject&, harness::SqlSession&, const std::u16string&)> last;
    const char* collection;
    int number;
    std::string text;
    std::string trace;
  };
  const Case kCases[] = {
      {"the user type", generic_table, "Tables", 2715,
       "Column or parameter #56: Cannot find data type udtGeneric.",
       "StandardDataset.CreateGenericTable"},
      {"the parent table", standard::CreateChildTable, "Tables", 1767,
       "Foreign key 'FK_Parent' references invalid table 'tblParent'.",
       "StandardDataset.CreateChildTable"},
      {"the full-text catalog", standard::CreateParentTable, "Tables", 15601,
       "Full-Text Search is not enabled for the current database. Use sp_fulltext_database to "
       "enable Full-Text Search.",
       "StandardDataset.CreateParentTable"},
      {"tblGeneric before the view", standard::CreateGenericView, "Views", 208,
       "Invalid object name 'tblGeneric'.", "StandardDataset.CreateGenericView"},
      {"tblGeneric before the schema-bound function", standard::CreateSchemaBoundScalarFunction,
       "UserDefinedFunctions", 208, "Invalid object name 'dbo.tblGeneric'.",
       "StandardDataset.CreateSchemaBoundScalarFunction"},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    Start({});
    auto session = Connect();
    session->Execute(0, u"CREATE DATABASE tavora_StandardDataset");
    auto model = harness::CreateObject<harness::ObjectModel>();
    auto project = model->AddProject(u"Project1");
    project->AddCollection(harness::FromUtf8(c.collection));
    Failure failure = FailureOf([&] { c.last(*project, *session, u"tavora_StandardDataset"); });
    EXPECT_EQ(failure.number, c.number);
    EXPECT_EQ(failure.text, c.text);
    EXPECT_EQ(failure.trace, Trace{c.trace});
    // A failed builder adds nothing to the model.
    EXPECT_EQ(host::ModelToJson(model.get())["projects"][0]["collections"][0]["objects"],
              Json::array());
  }
}

TEST_F(ServerScenario, MergePublicationOnADatabaseWithoutMergePublish) {
  interlude_ = std::make_shared<Interlude>(
      Interlude{u"sp_addmergepublication",
                u"USE master\r\nEXEC sp_replicationdboption @dbname='tavora_MergePubDataset', "
                u"@optname='merge publish', @value='false'"});
  auto dataset = MakeMergePubDataset();
  Failure failure = FailureOf([&] { dataset->Create(u"", workspace_.get(), nullptr); });
  EXPECT_EQ(failure.number, 14013);
  EXPECT_EQ(failure.text, "This database is not enabled for publication.");
  EXPECT_EQ(failure.trace,
            (Trace{"MergePubDataset.CreateMergePublication", "MergePubDataset.IDataset_Create"}));
  dataset->Delete(u"", nullptr);
  EXPECT_FALSE(DatabaseExists(u"tavora_MergePubDataset"));
}

TEST_F(ServerScenario, DeleteAfterACreateWhoseFirstBuilderFailed) {
  record_->failures.push_back(
      {"Execute", u"CREATE TABLE", 1, harness::Error(2714, u"There is already an object.")});
  auto dataset = MakeTransPubDataset();
  Failure failure = FailureOf([&] { dataset->Create(u"", workspace_.get(), nullptr); });
  EXPECT_EQ(failure.number, 2714);
  ASSERT_EQ(failure.trace.size(), 2u);
  EXPECT_EQ(failure.trace[1], "TransPubDataset.IDataset_Create");
  EXPECT_TRUE(DatabaseExists(u"tavora_TransPubDataset"));
  dataset->Delete(u"", nullptr);
  EXPECT_FALSE(DatabaseExists(u"tavora_TransPubDataset"));
}

}  // namespace
}  // namespace tavora::testing
