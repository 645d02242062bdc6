#include <gtest/gtest.h>

#include <filesystem>
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
#include "tests/golden_files.h"
#include "tests/scratch_folder.h"

namespace tavora::testing {
namespace {

using MakeDataset = harness::ComPtr<harness::IDataset> (*)();

class ReplicationDatasetTest : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ = tavora::testing::ScratchFolder("replication_dataset");
    Install(host::Settings{});
    workspace_ = host::MakeWorkspace(folder_.string());
  }

  void Install(const host::Settings& settings) {
    backend_ = std::make_shared<host::RecordBackend>();
    host::InstallHarnessClasses(settings, host::RecordSessions(backend_));
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

struct Case {
  const char* test;
  MakeDataset make;
};

const Case kDatasets[] = {
    {"Replication.Snapshot", MakeSnapPubDataset},
    {"Replication.Transactional", MakeTransPubDataset},
    {"Replication.Merge", MakeMergePubDataset},
};

// The server setting and the master file's folder reach every statement that
// names them, and the workspace project: the golden files with the defaults
// replaced.
TEST_F(ReplicationDatasetTest, SettingsAndTheMasterFolderReachCreateAndSave) {
  for (const Case& row : kDatasets) {
    SCOPED_TRACE(row.test);
    Install(host::Settings{u"DIAG", u"sa", u"secret"});
    backend_->master_phyname = u"D:\\Data\\master.mdf";
    auto dataset = row.make();
    dataset->Create(u"", workspace_.get(), nullptr);
    dataset->Save(u"", workspace_.get(), nullptr);
    std::string create = ReadGolden("create-" + std::string(row.test) + ".jsonl");
    create = ReplaceAll(create, "SERVER=(local);UID=;PWD=;Trusted_Connection=Yes",
                        "SERVER=DIAG;UID=sa;PWD=********;Trusted_Connection=No");
    create = ReplaceAll(create, "'(local)'", "'DIAG'");
    // The folder as JSON writes it, each backslash doubled.
    create = ReplaceAll(create, R"(C:\\Program Files\\Microsoft SQL Server\\MSSQL\\Data)",
                        R"(D:\\Data)");
    std::string diff = TextDiff(create, backend_->transcript.ToJsonLines());
    EXPECT_TRUE(diff.empty()) << diff;
    std::string project = ReplaceAll(ReadGolden("workspace-" + std::string(row.test) + ".json"),
                                     "\"(local)\"", "\"DIAG\"");
    EXPECT_EQ(ReadFileBytes(folder_ / "Project1.json"), project);
  }
}

TEST_F(ReplicationDatasetTest, DeleteOfAbsentDatabaseOnlyQueries) {
  backend_->database_rows = 0;
  for (const Case& row : kDatasets) {
    SCOPED_TRACE(row.test);
    backend_->transcript.Clear();
    row.make()->Delete(u"", nullptr);
    // The golden Delete up to its existence query, then Close.
    const std::string golden = ReadGolden("delete-" + std::string(row.test) + ".jsonl");
    const size_t query_end = golden.find('\n', golden.find("{\"call\":\"Query\""));
    ASSERT_NE(query_end, std::string::npos);
    EXPECT_EQ(backend_->transcript.ToJsonLines(),
              golden.substr(0, query_end + 1) + "{\"call\":\"Close\"}\n");
  }
}

TEST_F(ReplicationDatasetTest, FailingPublicationDropsAreNotReported) {
  FailCall("Execute", u"sp_droppublication 'pubTransactional'");
  FailCall("Execute", u"sp_droppublication 'pubQueuedTransactional'");
  MakeTransPubDataset()->Delete(u"", nullptr);
  EXPECT_EQ(backend_->transcript.ToJsonLines(),
            ReadGolden("delete-Replication.Transactional.jsonl"));
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

  Install(host::Settings{});
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

TEST_F(ReplicationDatasetTest, NamesAndNoModelBeforeCreate) {
  const std::pair<MakeDataset, std::u16string> names[] = {
      {MakeTransPubDataset, u"tavora.TransPub"},
      {MakeSnapPubDataset, u"tavora.Replication"},
      {MakeMergePubDataset, u"tavora.MergePub"},
  };
  for (const auto& [make, name] : names) {
    auto dataset = make();
    EXPECT_EQ(dataset->Name(), name);
    EXPECT_FALSE(dataset->ObjectModel());
  }
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
