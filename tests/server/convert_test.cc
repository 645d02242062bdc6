// Conversions of values to column types, as INSERT performs them.

#include <gtest/gtest.h>

#include "server/types/datetime.h"
#include "server/types/decimal.h"
#include "server/types/scalar.h"
#include "tests/server/server_test_util.h"

namespace server {
namespace {

using testing::CellText;

Scalar Numeric(const char* text, int precision, int scale) {
  return Scalar{DataType{BaseType::kNumeric, 0, precision, scale}, std::string(text)};
}

DataType Sized(BaseType base, int length) { return DataType{base, length, 0, 0}; }

TEST(ServerConvert, ValuesTakeTheColumnType) {
  struct Case {
    const char* what;
    Scalar in;
    DataType target;
    const char* expected;  // the stored value, or "Msg n" for an error
  };
  const Case kCases[] = {
      {"decimal rounds half away from zero", Numeric("31.99", 4, 2),
       DefaultType(BaseType::kDecimal), "32"},
      {"negative rounding", Numeric("-2.5", 2, 1), DefaultType(BaseType::kNumeric), "-3"},
      {"scale is padded", IntScalar(7), DataType{BaseType::kDecimal, 0, 5, 2}, "7.00"},
      {"decimal overflow", IntScalar(1000), DataType{BaseType::kDecimal, 0, 5, 2}, "Msg 8115"},
      {"money keeps four places", Numeric("31.99", 4, 2), DefaultType(BaseType::kMoney), "31.9900"},
      {"money from text with a sign", StringScalar("$1,234.5"), DefaultType(BaseType::kMoney),
       "1234.5000"},
      {"smallmoney range", IntScalar(300000), DefaultType(BaseType::kSmallMoney), "Msg 8115"},
      {"int truncates a decimal", Numeric("31.99", 4, 2), DefaultType(BaseType::kInt), "31"},
      {"tinyint range", IntScalar(256), DefaultType(BaseType::kTinyInt), "Msg 220"},
      {"int from text", StringScalar(" 42 "), DefaultType(BaseType::kInt), "42"},
      {"int from text with a point", StringScalar("4.2"), DefaultType(BaseType::kInt), "Msg 245"},
      {"bit from any non-zero", IntScalar(-3), DefaultType(BaseType::kBit), "1"},
      {"real loses precision", Numeric("31.99", 4, 2), DefaultType(BaseType::kReal),
       "31.989999771118164"},
      {"float from text", StringScalar("1e3"), DefaultType(BaseType::kFloat), "1000"},
      {"float from bad text", StringScalar("abc"), DefaultType(BaseType::kFloat), "Msg 8114"},
      {"char pads with blanks", StringScalar("ab"), Sized(BaseType::kChar, 4), "ab  "},
      {"varchar too long", StringScalar("abcde"), Sized(BaseType::kVarChar, 4), "Msg 8152"},
      {"nvarchar counts characters", StringScalar("äöü", true), Sized(BaseType::kNVarChar, 3),
       "äöü"},
      {"number into a short char", IntScalar(12345), Sized(BaseType::kChar, 2), "* "},
      {"binary keeps the low bytes of a number", IntScalar(17), Sized(BaseType::kBinary, 1),
       "0x11"},
      {"binary pads a number on the left", IntScalar(17, BaseType::kSmallInt),
       Sized(BaseType::kBinary, 4), "0x00000011"},
      {"binary pads bytes on the right", BinaryScalar({0xAB}), Sized(BaseType::kBinary, 3),
       "0xAB0000"},
      {"varbinary refuses long bytes", BinaryScalar({1, 2}), Sized(BaseType::kVarBinary, 1),
       "Msg 8152"},
      {"text to binary needs CONVERT", StringScalar("ab"), Sized(BaseType::kBinary, 2), "Msg 257"},
      {"image takes the bytes of text", StringScalar("c:\\x.jpg"), DefaultType(BaseType::kImage),
       "0x633A5C782E6A7067"},
      {"uniqueidentifier with braces", StringScalar("{11111111-1111-1111-1111-11111111111a}"),
       DefaultType(BaseType::kUniqueIdentifier), "11111111-1111-1111-1111-11111111111A"},
      {"uniqueidentifier from a number", IntScalar(1), DefaultType(BaseType::kUniqueIdentifier),
       "Msg 206"},
      {"datetime month first", StringScalar("01/02/2001"), DefaultType(BaseType::kDateTime),
       "2001-01-02 00:00:00.000"},
      {"datetime ISO with time", StringScalar("2001-02-03T04:05:06.7"),
       DefaultType(BaseType::kDateTime), "2001-02-03 04:05:06.700"},
      {"datetime compact", StringScalar("20010203"), DefaultType(BaseType::kDateTime),
       "2001-02-03 00:00:00.000"},
      {"datetime two-digit year", StringScalar("1/2/49 3PM"), DefaultType(BaseType::kDateTime),
       "2049-01-02 15:00:00.000"},
      {"datetime from days", IntScalar(1), DefaultType(BaseType::kDateTime),
       "1900-01-02 00:00:00.000"},
      {"datetime February 30", StringScalar("02/30/2001"), DefaultType(BaseType::kDateTime),
       "Msg 242"},
      {"datetime before 1753", StringScalar("1700-01-01"), DefaultType(BaseType::kDateTime),
       "Msg 242"},
      {"smalldatetime after 2079", StringScalar("2080-01-01"),
       DefaultType(BaseType::kSmallDateTime), "Msg 296"},
      {"text to int is a clash", Scalar{DefaultType(BaseType::kText), std::string("1")},
       DefaultType(BaseType::kInt), "Msg 206"},
      {"NULL stays NULL", NullScalar(), DefaultType(BaseType::kUniqueIdentifier), "NULL"},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.what);
    Value out;
    Status error = Convert(c.in, c.target, false, out);
    EXPECT_EQ(error ? "Msg " + std::to_string(error->number) : CellText(out), c.expected);
  }
}

TEST(ServerConvert, ExplicitConversionAllowsTextAndBinary) {
  Value out;
  ASSERT_FALSE(Convert(StringScalar("AB"), Sized(BaseType::kVarBinary, 4), true, out));
  EXPECT_EQ(CellText(out), "0x4142");
  ASSERT_FALSE(Convert(BinaryScalar({0x41, 0xE9}), Sized(BaseType::kVarChar, 4), true, out));
  // Bytes that are not UTF-8 read as Latin-1, so text stays valid.
  EXPECT_EQ(CellText(out), "A\xC3\xA9");
}

TEST(ServerConvert, MessagesNameTheTypes) {
  Value out;
  EXPECT_EQ(Convert(StringScalar("abc"), DefaultType(BaseType::kInt), false, out)->message,
            "Syntax error converting the varchar value 'abc' to a column of data type int.");
  EXPECT_EQ(Convert(IntScalar(300), DefaultType(BaseType::kTinyInt), false, out)->message,
            "Arithmetic overflow error for data type tinyint, value = 300.");
  EXPECT_EQ(Convert(StringScalar("x"), DataType{BaseType::kDecimal, 0, 5, 2}, false, out)->message,
            "Error converting data type varchar to numeric.");
}

TEST(ServerConvert, DecimalTextRoundsWithoutBinaryError) {
  std::optional<DecimalParts> parts = ParseDecimal("0.285");
  ASSERT_TRUE(parts);
  EXPECT_EQ(FormatDecimal(*parts, 3, 2), "0.29");
  EXPECT_EQ(FormatDecimal(*ParseDecimal("99.995"), 4, 2), std::nullopt);
  EXPECT_EQ(FormatDecimal(*ParseDecimal("-0.001"), 3, 2), "0.00");
  EXPECT_FALSE(ParseDecimal("1.2.3"));
  EXPECT_FALSE(ParseDecimal("-"));
}

TEST(ServerConvert, DaysCountFrom1900) {
  EXPECT_EQ(DaysFromCivil(1900, 1, 1), 0);
  EXPECT_EQ(DaysFromCivil(2001, 1, 1), 36890);
  int64_t year;
  int month, day;
  CivilFromDays(36890, year, month, day);
  EXPECT_EQ(year, 2001);
  EXPECT_EQ(month, 1);
  EXPECT_EQ(day, 1);
  DateTime dt{36890, 0};
  EXPECT_EQ(FormatDateTimeStyle0(dt), "Jan  1 2001 12:00AM");
}

}  // namespace
}  // namespace server
