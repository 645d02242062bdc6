#include "host/result_table.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>

#include "tests/error_of.h"

namespace host {
namespace {

using harness::Variant;
using tavora::testing::RaisedError;

TEST(ResultTable, PositionsOutsideTheTableAreError9) {
  auto rows = MakeResultSet({{u"a", u"b"}, {{Variant::Long(1), Variant::String(u"x")}}});
  EXPECT_EQ(rows->Value(1, 2), Variant::String(u"x"));
  EXPECT_EQ(rows->ColumnName(2), u"b");
  for (auto [row, column] : {std::pair{0, 1}, {2, 1}, {1, 0}, {1, 3}}) {
    SCOPED_TRACE(std::to_string(row) + "," + std::to_string(column));
    EXPECT_EQ(RaisedError([&] { rows->Value(row, column); }).number(), harness::errors::kSubscript);
  }
  for (int32_t column : {0, 3}) {
    EXPECT_EQ(RaisedError([&] { rows->ColumnName(column); }).number(), harness::errors::kSubscript);
  }
}

}  // namespace
}  // namespace host
