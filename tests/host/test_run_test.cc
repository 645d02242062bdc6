#include "host/test_run.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <new>

#include "harness/activation.h"
#include "harness/error.h"
#include "harness/session.h"
#include "host/harness_classes.h"
#include "tests/scratch_folder.h"

namespace host {
namespace {

namespace fs = std::filesystem;
using harness::Variant;

// A dataset that talks to the harness the way the real ones do, small enough
// to fail on purpose.
class FakeDataset final : public harness::ComObject<harness::IDataset> {
 public:
  std::u16string Name() override { return u"fake"; }

  void Create(const std::u16string&, harness::Workspace* workspace, harness::IUnknown*) override {
    auto session = harness::CreateObject<harness::SqlSession>();
    session->Open(u"DRIVER=SQL Server");
    session->Execute(0, u"USE master\r\nCREATE DATABASE fake");
    model_ = harness::CreateObject<harness::ObjectModel>();
    model_->AddProject(u"Project1")
        ->AddCollection(u"Views")
        ->Add(Variant::String(u"dbo.vw"), u"MSSQL80.View", u"")
        ->AddProperty(u"Name", Variant::String(u"vw"), false, Variant::Null(), u"");
    if (fail_create) throw harness::Error(2714, u"There is already an object named 'vw'.");
    session->Close();
    auto projects = workspace->Projects();
    projects->Remove(Variant::String(u"Project1"), 0);
    projects->Add(2, u"Project1")->Connection()->SetDatabase(u"fake");
  }

  void Modify(harness::Workspace*, std::u16string&, std::u16string&, std::u16string&) override {}

  void Save(const std::u16string&, harness::Workspace* workspace, harness::IUnknown*) override {
    ++saves;
    if (save_out_of_memory) throw std::bad_alloc();
    workspace->Projects()->Item(Variant::String(u"Project1"))->Save();
  }

  void Delete(const std::u16string&, harness::IUnknown*) override {
    auto session = harness::CreateObject<harness::SqlSession>();
    session->Open(u"DRIVER=SQL Server");
    if (session->Query(u"USE master\r\nSELECT Name FROM sysdatabases WHERE Name='fake'")
            ->RowCount() == 1) {
      session->Execute(0, u"USE master\r\nDROP DATABASE fake");
    }
    session->Close();
  }

  harness::ComPtr<harness::ObjectModel> ObjectModel() override { return model_; }

  bool fail_create = false;
  bool save_out_of_memory = false;
  int saves = 0;

 private:
  harness::ComPtr<harness::ObjectModel> model_;
};

class DriveTestTest : public ::testing::Test {
 protected:
  void SetUp() override {
    InstallHarnessClasses(Settings{}, RecordSessions(backend_));
    folder_ = tavora::testing::ScratchFolder("tavora-drive-test");
    workspace_ = MakeWorkspace(folder_.string());
    test_ = harness::CreateObject<harness::TestCase>();
    test_->SetName(u"Fake");
    test_->SetDataset(dataset_.get());
  }
  void TearDown() override { fs::remove_all(folder_); }

  TestRun Drive(Steps steps) {
    return DriveTest(*test_, {workspace_.get(), folder_.string(), backend_.get()}, steps);
  }

  std::shared_ptr<RecordBackend> backend_ = std::make_shared<RecordBackend>();
  harness::ComPtr<FakeDataset> dataset_ = harness::MakeObject<FakeDataset>();
  fs::path folder_;
  harness::ComPtr<harness::Workspace> workspace_;
  harness::ComPtr<harness::TestCase> test_;
};

TEST_F(DriveTestTest, SeparatesTheCallsOfCreateAndDelete) {
  TestRun run = Drive({true, true, true});
  EXPECT_TRUE(run.ok());
  EXPECT_EQ(run.name, u"Fake");
  EXPECT_EQ(
      run.create_calls.ToJsonLines(),
      "{\"call\":\"Open\",\"text\":\"DRIVER=SQL Server\"}\n"
      "{\"call\":\"Execute\",\"option\":0,\"text\":\"USE master\\r\\nCREATE DATABASE fake\"}\n"
      "{\"call\":\"Close\"}\n");
  EXPECT_EQ(run.delete_calls.entries().size(), 4u);
  EXPECT_EQ(run.StatementCount(), 3);
  EXPECT_EQ(run.saved_project,
            "{\"name\":\"Project1\",\"kind\":2,\"connection\":"
            "[{\"property\":\"Database\",\"value\":{\"String\":\"fake\"}}]}\n");
  EXPECT_EQ(run.model.at("projects").at(0).at("collections").at(0).at("name"), "Views");
}

TEST_F(DriveTestTest, AFailedCreateSkipsSaveButStillDeletesAndKeepsThePartialModel) {
  dataset_->fail_create = true;
  TestRun run = Drive({true, true, true});
  ASSERT_EQ(run.failures.size(), 1u);
  EXPECT_EQ(run.failures[0].step, "Create");
  EXPECT_EQ(run.failures[0].error.number(), 2714);
  EXPECT_EQ(dataset_->saves, 0);
  EXPECT_FALSE(run.saved_project);
  EXPECT_EQ(run.delete_calls.entries().back().at("call"), "Close");
  EXPECT_EQ(run.delete_calls.entries().at(2).at("text"), "USE master\r\nDROP DATABASE fake");
  EXPECT_FALSE(run.model.is_null());
}

TEST_F(DriveTestTest, AForeignExceptionIsRecordedAsTheRuntimeError) {
  dataset_->save_out_of_memory = true;
  TestRun run = Drive({false, true, false});
  ASSERT_EQ(run.failures.size(), 1u);
  EXPECT_EQ(run.failures[0].error.number(), harness::errors::kOutOfMemory);
}

TEST_F(DriveTestTest, ReportsEachFailedStep) {
  // Save without a registered project and a Delete whose Open fails.
  backend_->failures.push_back({"Open", u"", 1, harness::Error(17, u"Server does not exist")});
  TestRun run = Drive({false, true, true});
  ASSERT_EQ(run.failures.size(), 2u);
  EXPECT_EQ(run.failures[0].step, "Save");
  EXPECT_EQ(run.failures[0].error.number(), harness::errors::kInvalidCall);
  EXPECT_EQ(run.failures[1].step, "Delete");
  EXPECT_EQ(run.failures[1].error.number(), 17);
  EXPECT_TRUE(run.model.is_null());
  EXPECT_TRUE(run.create_calls.entries().empty());
}

}  // namespace
}  // namespace host
