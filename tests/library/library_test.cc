#include "library/library.h"

#include <gtest/gtest.h>

#include <climits>
#include <functional>
#include <string>

#include "harness/activation.h"
#include "harness/error.h"
#include "harness/test_library.h"
#include "harness/utf.h"
#include "host/harness_classes.h"
#include "library/read_write_suite.h"
#include "tests/error_of.h"

namespace tavora {
namespace {

using tavora::testing::RaisedError;

std::u16string OutOfRange(const std::u16string& context) {
  return u"Subscript out of range\r\n\r\nPROGRAM CONTEXT:\r\n" + context;
}

// Installs a TestCase class that can be told to fail, as a harness that
// cannot make the object would.
class WithTestCaseClass : public ::testing::Test {
 protected:
  void SetUp() override {
    harness::InstallClass(harness::TestCase::kClsid,
                          [this]() -> harness::ComPtr<harness::IUnknown> {
                            ++created_;
                            if (created_ == fail_at_ || (fail_from_ && created_ >= fail_from_)) {
                              harness::RaiseRuntime(harness::errors::kCannotCreate, u"harness");
                            }
                            return host::MakeTestCase();
                          });
  }
  void TearDown() override { harness::InstallClass(harness::TestCase::kClsid, {}); }

  int created_ = 0;
  int fail_at_ = 0;    // fails this one creation only
  int fail_from_ = 0;  // fails this creation and every later one
};

using LibraryTest = WithTestCaseClass;
using ReadWriteSuiteTest = WithTestCaseClass;

struct ExpectedTest {
  std::u16string name;
  std::u16string description;
  std::u16string dataset_name;
};

const ExpectedTest kExpectedTests[] = {
    {u"Standard", u"ReadWrite test of Standard dataset", u"tavora.Standard"},
    {u"Replication.Snapshot", u"ReadWrite test of Snapshot replication", u"tavora.Replication"},
    {u"Replication.Transactional", u"ReadWrite test of Transactional replication",
     u"tavora.TransPub"},
    {u"Replication.Merge", u"ReadWrite test of Merge replication", u"tavora.MergePub"},
};

TEST_F(LibraryTest, NamesItselfAndHoldsTheReadWriteSuite) {
  harness::ComPtr<harness::ITestLibrary> library = MakeLibrary();
  EXPECT_EQ(library->Name(), u"tavora");
  EXPECT_EQ(library->Description(), u"SQL Server 2000");
  EXPECT_EQ(library->SuiteCount(), 1);
  harness::ComPtr<harness::ITestSuite> suite = library->GetSuite(0);
  ASSERT_TRUE(suite);
  EXPECT_EQ(suite->Name(), u"ReadWrite");
  EXPECT_EQ(suite->Description(), u"Read/Write Test Suite");
  EXPECT_EQ(library->GetSuite(0), suite);
  EXPECT_EQ(suite->GetTest(3)->LibraryName(), library->Name());
}

TEST_F(LibraryTest, GetSuiteBeforeSuiteCountBuildsTheList) {
  EXPECT_EQ(MakeLibrary()->GetSuite(0)->Name(), u"ReadWrite");
}

TEST_F(LibraryTest, BadSuiteIndexFailsWithItsContextLine) {
  harness::ComPtr<harness::ITestLibrary> library = MakeLibrary();
  for (int32_t index : {1, -1, INT_MAX, INT_MIN}) {
    SCOPED_TRACE(index);
    harness::Error error = RaisedError([&] { library->GetSuite(index); });
    EXPECT_EQ(error.number(), harness::errors::kSubscript);
    EXPECT_EQ(error.description(),
              OutOfRange(u"tavorad.Library.ITestLibrary_GetSuite.1  (4.1.475)"));
  }
}

TEST_F(ReadWriteSuiteTest, HoldsTheFourTestsInOrder) {
  harness::ComPtr<harness::ITestSuite> suite = MakeReadWriteSuite();
  EXPECT_EQ(suite->TestCount(), 4);
  for (int32_t index = 0; index < 4; ++index) {
    const ExpectedTest& expected = kExpectedTests[index];
    SCOPED_TRACE(harness::ToUtf8(expected.name));
    harness::ComPtr<harness::TestCase> test_case = suite->GetTest(index);
    ASSERT_TRUE(test_case);
    EXPECT_EQ(test_case->LibraryName(), u"tavora");
    EXPECT_EQ(test_case->Name(), expected.name);
    EXPECT_EQ(test_case->Description(), expected.description);
    ASSERT_TRUE(test_case->Dataset());
    EXPECT_EQ(test_case->Dataset()->Name(), expected.dataset_name);
  }
  EXPECT_EQ(created_, 4);
}

TEST_F(ReadWriteSuiteTest, GetTestBeforeCountReturnsTransactional) {
  EXPECT_EQ(MakeReadWriteSuite()->GetTest(2)->Name(), u"Replication.Transactional");
}

TEST_F(ReadWriteSuiteTest, SameIndexGivesTheSameTestCaseAndDataset) {
  harness::ComPtr<harness::ITestSuite> suite = MakeReadWriteSuite();
  harness::ComPtr<harness::TestCase> first = suite->GetTest(1);
  harness::ComPtr<harness::TestCase> second = suite->GetTest(1);
  EXPECT_EQ(first, second);
  EXPECT_EQ(first->Dataset(), second->Dataset());
  EXPECT_NE(suite->GetTest(0)->Dataset(), first->Dataset());
  EXPECT_EQ(created_, 4);
}

TEST_F(ReadWriteSuiteTest, BadTestIndexFailsWithItsContextLine) {
  harness::ComPtr<harness::ITestSuite> suite = MakeReadWriteSuite();
  for (int32_t index : {4, -1, INT_MAX}) {
    SCOPED_TRACE(index);
    harness::Error error = RaisedError([&] { suite->GetTest(index); });
    EXPECT_EQ(error.number(), harness::errors::kSubscript);
    EXPECT_EQ(error.description(),
              OutOfRange(u"tavorad.ReadWriteSuite.ITestSuite_GetTest.1  (4.1.475)"));
  }
}

TEST_F(ReadWriteSuiteTest, FailedLoadLeavesNoListAndTheNextCallRetries) {
  fail_at_ = 3;
  harness::ComPtr<harness::ITestSuite> suite = MakeReadWriteSuite();
  harness::Error error = RaisedError([&] { suite->TestCount(); });
  EXPECT_EQ(error.number(), harness::errors::kCannotCreate);
  EXPECT_EQ(error.description(),
            u"ActiveX component can't create object\r\n\r\nPROGRAM CONTEXT:\r\n"
            u"tavorad.ReadWriteSuite.Load.1  (4.1.475)\r\n"
            u"tavorad.ReadWriteSuite.ITestSuite_TestCount.1  (4.1.475)");

  // The two test cases made before the failure are gone: the list is whole.
  EXPECT_EQ(suite->TestCount(), 4);
  EXPECT_EQ(suite->GetTest(0)->Name(), u"Standard");
  EXPECT_EQ(suite->GetTest(3)->Name(), u"Replication.Merge");
  EXPECT_EQ(created_, 3 + 4);
}

TEST_F(ReadWriteSuiteTest, LoadFailsAgainWhileTheCauseLasts) {
  fail_from_ = 2;
  harness::ComPtr<harness::ITestSuite> suite = MakeReadWriteSuite();
  harness::Error first = RaisedError([&] { suite->GetTest(0); });
  harness::Error second = RaisedError([&] { suite->TestCount(); });
  EXPECT_EQ(first.number(), harness::errors::kCannotCreate);
  EXPECT_EQ(second.number(), harness::errors::kCannotCreate);
  EXPECT_NE(first.description().find(u"tavorad.ReadWriteSuite.ITestSuite_GetTest.1"),
            std::u16string::npos);
  EXPECT_NE(second.description().find(u"tavorad.ReadWriteSuite.ITestSuite_TestCount.1"),
            std::u16string::npos);
}

TEST_F(LibraryTest, MissingTestCaseClassReachesTheCallerThroughEveryLevel) {
  harness::InstallClass(harness::TestCase::kClsid, {});
  harness::ComPtr<harness::ITestSuite> suite = MakeLibrary()->GetSuite(0);
  harness::Error error = RaisedError([&] { suite->GetTest(0); });
  EXPECT_EQ(error.number(), harness::errors::kCannotCreate);
  EXPECT_EQ(error.description(),
            u"ActiveX component can't create object\r\n\r\nPROGRAM CONTEXT:\r\n"
            u"tavorad.ReadWriteSuite.Load.1  (4.1.475)\r\n"
            u"tavorad.ReadWriteSuite.ITestSuite_GetTest.1  (4.1.475)");
}

}  // namespace
}  // namespace tavora
