#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "datasets/dataset_classes.h"
#include "datasets/frame.h"
#include "harness/error.h"
#include "harness/utf.h"
#include "host/harness_classes.h"
#include "host/model_json.h"
#include "host/record_session.h"
#include "tests/datasets/standard_builder_fixture.h"
#include "tests/golden_files.h"
#include "tests/scratch_folder.h"

namespace tavora::testing {
namespace {

class StandardDatasetTest : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ = tavora::testing::ScratchFolder("standard_dataset");
    Install(host::Settings{});
    workspace_ = host::MakeWorkspace(folder_.string());
    dataset_ = MakeStandardDataset();
  }

  void TearDown() override { std::filesystem::remove_all(folder_); }

  void Install(const host::Settings& settings) {
    backend_ = std::make_shared<host::RecordBackend>();
    host::InstallHarnessClasses(settings, host::RecordSessions(backend_));
  }

  void Create() { dataset_->Create(u"C:\\folder", workspace_.get(), nullptr); }

  void FailExecute(std::u16string text, int occurrence = 1) {
    backend_->failures.push_back({"Execute", std::move(text), occurrence,
                                  harness::Error(1801, u"Database already exists.")});
  }

  const std::vector<Json>& Entries() const { return backend_->transcript.entries(); }

  Json Objects(const std::string& collection) const {
    Json model = host::ModelToJson(dataset_->ObjectModel().get());
    for (const Json& entry : model["projects"][0]["collections"]) {
      if (entry["name"] == collection) return entry["objects"];
    }
    ADD_FAILURE() << "no collection " << collection;
    return Json::array();
  }

  std::filesystem::path folder_;
  std::shared_ptr<host::RecordBackend> backend_;
  harness::ComPtr<harness::Workspace> workspace_;
  harness::ComPtr<harness::IDataset> dataset_;
};

TEST_F(StandardDatasetTest, NameAndNoModelBeforeCreate) {
  EXPECT_EQ(dataset_->Name(), u"tavora.Standard");
  EXPECT_FALSE(dataset_->ObjectModel());
}

TEST_F(StandardDatasetTest, SaveWithoutProjectFails) {
  Failure failure = FailureOf([&] { dataset_->Save(u"", workspace_.get(), nullptr); });
  EXPECT_EQ(failure.number, harness::errors::kInvalidCall);
  EXPECT_EQ(failure.trace, std::vector<std::string>{"StandardDataset.IDataset_Save"});
}

TEST_F(StandardDatasetTest, CreateWithoutWorkspaceFailsAfterClosingTheSession) {
  Failure failure = FailureOf([&] { dataset_->Create(u"", nullptr, nullptr); });
  EXPECT_EQ(failure.number, harness::errors::kObjectNotSet);
  EXPECT_EQ(failure.trace, std::vector<std::string>{"StandardDataset.IDataset_Create"});
  EXPECT_EQ(Entries().back(), Json({{"call", "Close"}}));
  EXPECT_TRUE(dataset_->ObjectModel());
}

TEST_F(StandardDatasetTest, BuilderFailureEndsCreateWithBothContextLines) {
  FailExecute(u"CREATE RULE");
  Failure failure = FailureOf([&] { Create(); });
  EXPECT_EQ(failure.number, 1801);
  EXPECT_EQ(failure.text, "Database already exists.");
  const std::vector<std::string> trace = {"StandardDataset.CreateGenericRule",
                                          "StandardDataset.IDataset_Create"};
  EXPECT_EQ(failure.trace, trace);
  // The default made before stays; the rule and everything later are missing.
  EXPECT_EQ(Objects("Defaults").size(), 1u);
  EXPECT_TRUE(Objects("Rules").empty());
  EXPECT_TRUE(Objects("UserDefinedDatatypes").empty());
  EXPECT_TRUE(Objects("Tables").empty());
  // No later batch and no Close: the session is released unclosed.
  EXPECT_EQ(Entries().size(), 7u);
  EXPECT_NE(Entries().back()["text"].get<std::string>().find("CREATE RULE"), std::string::npos);
  // The workspace was not touched.
  EXPECT_EQ(FailureOf([&] { dataset_->Save(u"", workspace_.get(), nullptr); }).number,
            harness::errors::kInvalidCall);
}

TEST_F(StandardDatasetTest, FailedCreateDatabaseKeepsTheEarlierModel) {
  Create();
  harness::ComPtr<harness::ObjectModel> first = dataset_->ObjectModel();
  FailExecute(u"CREATE DATABASE");
  backend_->transcript.Clear();
  Failure failure = FailureOf([&] { Create(); });
  EXPECT_EQ(failure.number, 1801);
  EXPECT_EQ(failure.trace, std::vector<std::string>{"StandardDataset.IDataset_Create"});
  EXPECT_EQ(dataset_->ObjectModel(), first);
  EXPECT_EQ(Entries().size(), 3u);  // login timeout, Open, CREATE DATABASE; no Close
}

TEST_F(StandardDatasetTest, DeleteSendsNoDropUnlessExactlyOneRow) {
  // The golden Delete without its drop.
  std::vector<Json> expected;
  std::istringstream golden(ReadGolden("delete-Standard.jsonl"));
  for (std::string line; std::getline(golden, line);) {
    Json entry = Json::parse(line);
    if (entry["call"] != "Execute") expected.push_back(entry);
  }
  ASSERT_EQ(expected.size(), 4u);
  for (int rows : {0, 2}) {
    SCOPED_TRACE(rows);
    backend_->transcript.Clear();
    backend_->database_rows = rows;
    dataset_->Delete(u"", nullptr);
    EXPECT_EQ(Entries(), expected);
  }
}

TEST_F(StandardDatasetTest, DeleteFailureCarriesItsContextLine) {
  FailExecute(u"DROP DATABASE");
  Failure failure = FailureOf([&] { dataset_->Delete(u"", nullptr); });
  EXPECT_EQ(failure.number, 1801);
  EXPECT_EQ(failure.trace, std::vector<std::string>{"StandardDataset.IDataset_Delete"});
  EXPECT_NE(Entries().back()["call"], "Close");
}

TEST_F(StandardDatasetTest, ModifyTouchesNothing) {
  std::u16string project = u"Project1", collection = u"Tables", object = u"dbo.tblGeneric";
  dataset_->Modify(workspace_.get(), project, collection, object);
  dataset_->Modify(nullptr, project, collection, object);
  EXPECT_TRUE(Entries().empty());
  EXPECT_FALSE(dataset_->ObjectModel());
}

TEST_F(StandardDatasetTest, OpensWithTheSettingsCredentials) {
  Install(host::Settings{u"db1", u"sa", u"x;DRIVER=Other"});
  dataset_->Delete(u"", nullptr);
  ASSERT_GE(Entries().size(), 2u);
  // The braced password is one value, masked as a whole in the transcript.
  EXPECT_EQ(Entries()[1]["text"],
            "DRIVER=SQL Server;SERVER=db1;UID=sa;PWD=********;Trusted_Connection=No");
}

TEST(StandardConnectionString, BracesOnlyValuesThatCouldRewriteIt) {
  const struct {
    const char* name;
    ServerLogin login;
    std::u16string expected;
  } cases[] = {
      {"empty user is trusted",
       {u"(local)", u"", u""},
       u"DRIVER=SQL Server;SERVER=(local);UID=;PWD=;Trusted_Connection=Yes"},
      {"plain values as they stand",
       {u"my server\\SQL2000", u"sa", u"pa$$ word=1"},
       u"DRIVER=SQL Server;SERVER=my server\\SQL2000;UID=sa;PWD=pa$$ word=1;"
       u"Trusted_Connection=No"},
      {"semicolon in password",
       {u"db", u"sa", u"x;DRIVER=Other"},
       u"DRIVER=SQL Server;SERVER=db;UID=sa;PWD={x;DRIVER=Other};Trusted_Connection=No"},
      {"closing brace doubled",
       {u"db", u"sa", u"a}b"},
       u"DRIVER=SQL Server;SERVER=db;UID=sa;PWD={a}}b};Trusted_Connection=No"},
      {"opening brace",
       {u"db", u"sa", u"{x"},
       u"DRIVER=SQL Server;SERVER=db;UID=sa;PWD={{x};Trusted_Connection=No"},
      {"leading blank",
       {u"db", u" sa", u"p"},
       u"DRIVER=SQL Server;SERVER=db;UID={ sa};PWD=p;Trusted_Connection=No"},
      {"trailing blank",
       {u"db", u"sa", u"p "},
       u"DRIVER=SQL Server;SERVER=db;UID=sa;PWD={p };Trusted_Connection=No"},
      {"server with semicolon",
       {u"db;UID=x", u"", u""},
       u"DRIVER=SQL Server;SERVER={db;UID=x};UID=;PWD=;Trusted_Connection=Yes"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(harness::ToUtf8(ConnectionString(c.login)), harness::ToUtf8(c.expected));
  }
}

}  // namespace
}  // namespace tavora::testing
