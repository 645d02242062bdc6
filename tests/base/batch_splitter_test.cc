#include "base/batch_splitter.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace base {
namespace {

using Batches = std::vector<std::u16string>;

struct SplitCase {
  const char* name;
  std::u16string text;
  Batches batches;
};

TEST(BatchSplitter, SplitsAtLinesHoldingOnlyGo) {
  const SplitCase cases[] = {
      {"standard form",
       u"USE db\r\nGO\r\nCREATE DEFAULT d AS 0",
       {u"USE db", u"CREATE DEFAULT d AS 0"}},
      {"no GO at all", u"USE master\r\nCREATE DATABASE db", {u"USE master\r\nCREATE DATABASE db"}},
      {"lower case", u"A\r\ngo\r\nB", {u"A", u"B"}},
      {"mixed case", u"A\r\nGo\r\nB\r\ngO\r\nC", {u"A", u"B", u"C"}},
      {"blanks and tabs around", u"A\r\n  \tGO \t\r\nB", {u"A", u"B"}},
      {"LF only", u"A\nB\nGO\nC", {u"A\nB", u"C"}},
      {"mixed line breaks", u"A\r\nGO\nB", {u"A", u"B"}},
      {"GO first", u"GO\r\nA", {u"A"}},
      {"GO last without break", u"A\r\nGO", {u"A"}},
      {"GO last with break", u"A\r\nGO\r\n", {u"A"}},
      {"two GO lines in a row", u"A\r\nGO\r\nGO\r\nB", {u"A", u"B"}},
      {"blank batch between", u"A\r\nGO\r\n  \r\n\t\r\nGO\r\nB", {u"A", u"B"}},
      {"GO inside a longer line",
       u"SELECT 1 GO\r\nGOTO x\r\nGO 2\r\nB",
       {u"SELECT 1 GO\r\nGOTO x\r\nGO 2\r\nB"}},
      {"GO in a word", u"A\r\nGOOD\r\nB", {u"A\r\nGOOD\r\nB"}},
      {"inner lines kept as they were",
       u"A\r\n\r\n  B  \nC\r\nGO\r\nD",
       {u"A\r\n\r\n  B  \nC", u"D"}},
      {"empty text", u"", {}},
      {"only white space", u" \r\n\t\n", {}},
      {"only GO", u"GO", {}},
  };
  // The cases are ASCII, so the same text serves as UTF-8 too.
  auto narrow = [](std::u16string_view text) { return std::string(text.begin(), text.end()); };
  for (const SplitCase& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(SplitBatches(c.text), c.batches);
    std::vector<std::string> narrow_batches;
    for (const std::u16string& batch : c.batches) narrow_batches.push_back(narrow(batch));
    EXPECT_EQ(SplitBatches(narrow(c.text)), narrow_batches);
  }
}

}  // namespace
}  // namespace base
