#include "library/read_write_suite.h"

#include <optional>
#include <string>
#include <utility>

#include "datasets/dataset_classes.h"
#include "harness/activation.h"
#include "harness/keyed_collection.h"
#include "library/library.h"
#include "library/module_lock.h"
#include "library/vxhandler.h"

namespace tavora {

namespace {

constexpr char16_t kSuiteModule[] = u"ReadWriteSuite";

struct TestRow {
  const char16_t* name;
  const char16_t* description;
  harness::ComPtr<harness::IDataset> (*make_dataset)();
};

// The suite's tests, in the order of their GetTest index.
constexpr TestRow kTests[] = {
    {u"Standard", u"ReadWrite test of Standard dataset", MakeStandardDataset},
    {u"Replication.Snapshot", u"ReadWrite test of Snapshot replication", MakeSnapPubDataset},
    {u"Replication.Transactional", u"ReadWrite test of Transactional replication",
     MakeTransPubDataset},
    {u"Replication.Merge", u"ReadWrite test of Merge replication", MakeMergePubDataset},
};

using TestList = harness::KeyedCollection<harness::ComPtr<harness::TestCase>>;

class ReadWriteSuite : public harness::ComObject<harness::ITestSuite> {
 public:
  std::u16string Name() override {
    return Trap(kSuiteModule, u"ITestSuite_Name", [] { return std::u16string(u"ReadWrite"); });
  }

  std::u16string Description() override {
    return Trap(kSuiteModule, u"ITestSuite_Description",
                [] { return std::u16string(u"Read/Write Test Suite"); });
  }

  int32_t TestCount() override {
    return Trap(kSuiteModule, u"ITestSuite_TestCount", [&] {
      if (!tests_) Load();
      return tests_->Count();
    });
  }

  harness::ComPtr<harness::TestCase> GetTest(int32_t index) override {
    return Trap(kSuiteModule, u"ITestSuite_GetTest", [&] {
      if (!tests_) Load();
      return tests_->At(PositionOf(index));
    });
  }

 private:
  void Load() {
    Trap(kSuiteModule, u"Load", [&] {
      // Filled aside and stored only when complete: a failure (the harness
      // cannot make a TestCase, say) leaves the list absent, so the next call
      // tries again instead of serving a silently shorter suite.
      TestList tests;
      for (const TestRow& row : kTests) {
        harness::ComPtr<harness::TestCase> test_case = harness::CreateObject<harness::TestCase>();
        test_case->SetLibraryName(kLibraryName);
        test_case->SetName(row.name);
        test_case->SetDescription(row.description);
        test_case->SetDataset(row.make_dataset().get());
        tests.Add(test_case->Name(), test_case);
      }
      tests_ = std::move(tests);
    });
  }

  ModuleRef module_ref_;
  std::optional<TestList> tests_;
};

}  // namespace

harness::ComPtr<harness::ITestSuite> MakeReadWriteSuite() {
  return harness::MakeObject<ReadWriteSuite>();
}

}  // namespace tavora
