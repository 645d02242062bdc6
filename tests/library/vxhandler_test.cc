#include "library/vxhandler.h"

#include <gtest/gtest.h>

#include <functional>
#include <new>
#include <stdexcept>
#include <string>

#include "harness/error.h"
#include "harness/utf.h"
#include "tests/error_of.h"

namespace tavora {
namespace {

using tavora::testing::RaisedError;

// Handles `error` once, as the trap of `procedure` in `module` would.
harness::Error HandledOnce(const harness::Error& error, std::u16string_view module,
                           std::u16string_view procedure) {
  return RaisedError([&] {
    try {
      throw error;
    } catch (...) {
      HandleError(module, procedure);
    }
  });
}

TEST(HandleError, FirstPassStartsTheContextBlock) {
  struct Case {
    const char* name;
    harness::Error error;
    std::u16string description;
  };
  const Case cases[] = {
      {"no line shows 1", harness::Error(5, u"Invalid procedure call or argument"),
       u"Invalid procedure call or argument\r\n\r\nPROGRAM CONTEXT:\r\n"
       u"tavorad.StandardDataset.CreateGenericTable.1  (4.1.475)"},
      {"a recorded line is shown", harness::Error(3701, u"Cannot drop", u"odbc", 1234),
       u"Cannot drop\r\n\r\nPROGRAM CONTEXT:\r\n"
       u"tavorad.StandardDataset.CreateGenericTable.1234  (4.1.475)"},
      {"empty description", harness::Error(91, u""),
       u"\r\n\r\nPROGRAM CONTEXT:\r\ntavorad.StandardDataset.CreateGenericTable.1  (4.1.475)"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    harness::Error handled = HandledOnce(c.error, u"StandardDataset", u"CreateGenericTable");
    EXPECT_EQ(handled.description(), c.description);
    EXPECT_EQ(handled.number(), c.error.number());
    EXPECT_EQ(handled.source(), u"");
  }
}

TEST(HandleError, HeadingAnywhereInTheDescriptionGainsOneLineOnly) {
  const std::u16string descriptions[] = {
      u"PROGRAM CONTEXT: at the start",
      u"text\r\n\r\nPROGRAM CONTEXT:\r\ntavorad.X.Y.1  (4.1.475)",
      u"inner PROGRAM CONTEXT:inside a word",
  };
  for (const std::u16string& description : descriptions) {
    SCOPED_TRACE(harness::ToUtf8(description));
    harness::Error handled =
        HandledOnce(harness::Error(440, description), u"Library", u"ITestLibrary_Name");
    EXPECT_EQ(handled.description(),
              description + u"\r\ntavorad.Library.ITestLibrary_Name.1  (4.1.475)");
  }
}

TEST(HandleError, HeadingSearchIsCaseSensitive) {
  harness::Error handled =
      HandledOnce(harness::Error(440, u"program context: lower"), u"Library", u"Load");
  EXPECT_EQ(handled.description(),
            u"program context: lower\r\n\r\nPROGRAM CONTEXT:\r\ntavorad.Library.Load.1  (4.1.475)");
}

TEST(HandleError, NestedTrapsKeepTheFirstNumberAndAddOneLineEach) {
  harness::Error error = RaisedError([] {
    Trap(u"StandardDataset", u"IDataset_Create", [] {
      Trap(u"StandardDataset", u"CreateGenericTable", [] {
        Trap(u"StandardDataset", u"AddColumnProperty",
             [] { throw harness::Error(2627, u"Violation of PRIMARY KEY", u"odbc", 17); });
      });
    });
  });
  EXPECT_EQ(error.number(), 2627);
  EXPECT_EQ(error.description(),
            u"Violation of PRIMARY KEY\r\n\r\nPROGRAM CONTEXT:\r\n"
            u"tavorad.StandardDataset.AddColumnProperty.17  (4.1.475)\r\n"
            u"tavorad.StandardDataset.CreateGenericTable.1  (4.1.475)\r\n"
            u"tavorad.StandardDataset.IDataset_Create.1  (4.1.475)");
}

TEST(HandleError, OtherExceptionsBecomeRuntimeErrors) {
  struct Case {
    const char* name;
    std::function<void()> fail;
    int32_t number;
    std::u16string first_line;
  };
  const Case cases[] = {
      {"std::exception", [] { throw std::runtime_error("boom"); }, 51, u"Internal error: boom"},
      {"bad_alloc", [] { throw std::bad_alloc(); }, 7, u"Out of memory"},
      {"anything else", [] { throw 42; }, 51, u"Internal error"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    harness::Error error =
        RaisedError([&] { Trap(u"TransPubDataset", u"IDataset_Delete", c.fail); });
    EXPECT_EQ(error.number(), c.number);
    EXPECT_EQ(
        error.description(),
        c.first_line +
            u"\r\n\r\nPROGRAM CONTEXT:\r\ntavorad.TransPubDataset.IDataset_Delete.1  (4.1.475)");
  }
}

TEST(HandleError, CalledWithoutACurrentErrorRaisesInsteadOfTerminating) {
  harness::Error error = RaisedError([] { HandleError(u"Library", u"Load"); });
  EXPECT_EQ(error.number(), harness::errors::kInvalidCall);
  EXPECT_EQ(error.description(),
            u"Invalid procedure call or argument\r\n\r\nPROGRAM CONTEXT:\r\n"
            u"tavorad.Library.Load.1  (4.1.475)");
}

TEST(Raise, UsesTheProjectNameAsSource) {
  harness::Error error = RaisedError([] { Raise(445, u"not yet"); });
  EXPECT_EQ(error.number(), 445);
  EXPECT_EQ(error.description(), u"not yet");
  EXPECT_EQ(error.source(), u"tavorad");
}

}  // namespace
}  // namespace tavora
