#include "host/workspace.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>

#include "harness/error.h"
#include "harness/utf.h"
#include "harness/workspace.h"
#include "host/file_io.h"
#include "host/harness_classes.h"
#include "tests/error_number.h"
#include "tests/scratch_folder.h"

namespace host {
namespace {

namespace fs = std::filesystem;
using harness::Variant;

using tavora::testing::ReadFile;

using tavora::testing::ErrorNumber;

class Workspace : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ = tavora::testing::ScratchFolder("tavora-workspace");
    fs::remove_all(folder_);
    workspace_ = MakeWorkspace(folder_.string());
  }
  void TearDown() override { fs::remove_all(folder_); }

  fs::path folder_;
  harness::ComPtr<harness::Workspace> workspace_;
};

TEST_F(Workspace, SavesTheConnectionInTheOrderWritten) {
  auto project = workspace_->Projects()->Add(2, u"Project1");
  auto connection = project->Connection();
  connection->SetServer(u"(local)");
  connection->SetSecurityMode(0);
  connection->SetLoginTimeout(15);
  connection->SetDatabase(u"tavora_StandardDataset");
  connection->SetFlags(1);
  project->Save();

  EXPECT_EQ(ReadFile(folder_ / "Project1.json"),
            R"j({"name":"Project1","kind":2,"connection":[)j"
            R"j({"property":"Server","value":{"String":"(local)"}},)j"
            R"j({"property":"SecurityMode","value":{"Long":0}},)j"
            R"j({"property":"LoginTimeout","value":{"Long":15}},)j"
            R"j({"property":"Database","value":{"String":"tavora_StandardDataset"}},)j"
            R"j({"property":"Flags","value":{"Long":1}}]})j"
            "\n");
  // Nothing but the project file: the temporary file was renamed over it.
  int files = 0;
  for (const auto& entry : fs::directory_iterator(folder_)) {
    EXPECT_EQ(entry.path().filename(), "Project1.json");
    ++files;
  }
  EXPECT_EQ(files, 1);
}

TEST_F(Workspace, RewritingASettingKeepsItsPlaceAndSavingAgainReplacesTheFile) {
  auto project = workspace_->Projects()->Add(2, u"Project1");
  auto connection = project->Connection();
  connection->SetDatabase(u"first");
  connection->SetServer(u"a");
  project->Save();
  // Saving writes a new file over the name, never into the old one, which a
  // reader may have open.
  std::ifstream reader(folder_ / "Project1.json", std::ios::binary);
  connection->SetDatabase(u"second");
  project->Save();
  EXPECT_NE(std::string(std::istreambuf_iterator<char>(reader), {}).find("first"),
            std::string::npos);
  EXPECT_EQ(ReadFile(folder_ / "Project1.json"),
            R"j({"name":"Project1","kind":2,"connection":[)j"
            R"j({"property":"Database","value":{"String":"second"}},)j"
            R"j({"property":"Server","value":{"String":"a"}}]})j"
            "\n");
}

TEST_F(Workspace, ProjectListFindsRemovesAndRefusesLikeTheHarness) {
  auto projects = workspace_->Projects();
  EXPECT_EQ(workspace_->Projects(), projects);
  // Removing an absent project succeeds: datasets remove before they add.
  EXPECT_EQ(ErrorNumber([&] { projects->Remove(Variant::String(u"Project1"), 0); }), 0);
  auto project = projects->Add(2, u"Project1");
  EXPECT_EQ(projects->Item(Variant::String(u"Project1")), project);
  EXPECT_EQ(ErrorNumber([&] { projects->Add(2, u"Project1"); }), harness::errors::kDuplicateKey);
  EXPECT_EQ(ErrorNumber([&] { projects->Item(Variant::String(u"Project2")); }),
            harness::errors::kInvalidCall);
  EXPECT_EQ(ErrorNumber([&] { projects->Item(Variant::Long(1)); }), harness::errors::kTypeMismatch);
  projects->Remove(Variant::String(u"Project1"), 0);
  EXPECT_EQ(ErrorNumber([&] { projects->Item(Variant::String(u"Project1")); }),
            harness::errors::kInvalidCall);
  EXPECT_NE(projects->Add(2, u"Project1"), project);
}

TEST_F(Workspace, RefusesNamesThatAreNotOneFileName) {
  for (const char16_t* name : {u"", u".", u"..", u"../escape", u"a/b"}) {
    SCOPED_TRACE(harness::ToUtf8(name));
    EXPECT_EQ(ErrorNumber([&] { workspace_->Projects()->Add(2, name); }),
              harness::errors::kInvalidCall);
  }
}

TEST_F(Workspace, SaveIntoAnUnwritableFolderNamesThePathAndTheReason) {
  // A file where the folder should be fails for every user, root included.
  fs::create_directories(folder_);
  std::ofstream(folder_ / "blocker") << "x";
  auto workspace = MakeWorkspace((folder_ / "blocker" / "workspace").string());
  auto project = workspace->Projects()->Add(2, u"Project1");
  try {
    project->Save();
    FAIL() << "Save succeeded";
  } catch (const harness::Error& e) {
    EXPECT_EQ(e.number(), kFileAccessError);
    std::string text = harness::ToUtf8(e.description());
    EXPECT_NE(text.find((folder_ / "blocker" / "workspace").string()), std::string::npos) << text;
    EXPECT_NE(text.find("Not a directory"), std::string::npos) << text;
  }
}

}  // namespace
}  // namespace host
