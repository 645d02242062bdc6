// Conversions of values to column types, as INSERT, CAST and CONVERT perform them.

#include <gtest/gtest.h>

#include "server/types/decimal.h"
#include "server/types/scalar.h"
#include "tests/server/server_test_util.h"

namespace server {
namespace {

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
      {"money's lowest value", Numeric("-922337203685477.5808", 19, 4),
       DefaultType(BaseType::kMoney), "-922337203685477.5808"},
      {"just past money's highest value", Numeric("922337203685477.5808", 19, 4),
       DefaultType(BaseType::kMoney), "Msg 8115"},
      {"int truncates a decimal", Numeric("31.99", 4, 2), DefaultType(BaseType::kInt), "31"},
      {"tinyint range", IntScalar(256), DefaultType(BaseType::kTinyInt), "Msg 220"},
      {"int from text", StringScalar(" 42 "), DefaultType(BaseType::kInt), "42"},
      {"int from text with a point", StringScalar("4.2"), DefaultType(BaseType::kInt), "Msg 245"},
      {"bit from any non-zero", IntScalar(-3), DefaultType(BaseType::kBit), "1"},
      {"real loses precision", Numeric("31.99", 4, 2), DefaultType(BaseType::kReal),
       "31.9899997711182"},
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

TEST(ServerConvert, DecimalTextRoundsWithoutBinaryError) {
  std::optional<DecimalParts> parts = ParseDecimal("0.285");
  ASSERT_TRUE(parts);
  EXPECT_EQ(FormatDecimal(*parts, 3, 2), "0.29");
  EXPECT_EQ(FormatDecimal(*ParseDecimal("99.995"), 4, 2), std::nullopt);
  EXPECT_EQ(FormatDecimal(*ParseDecimal("-0.001"), 3, 2), "0.00");
  EXPECT_FALSE(ParseDecimal("1.2.3"));
  EXPECT_FALSE(ParseDecimal("-"));
}

// CONVERT's styles, both directions: each date style's text for one value
// (13:04:05.007 on 3 Feb 2001 shows padding, 12-hour clock and two-digit
// years), character data read back in a style's field order, and the money
// and float styles.
TEST(ServerConvert, ConvertStylesWriteAndReadTheirTexts) {
  const Scalar kWhen{DefaultType(BaseType::kDateTime), std::string("2001-02-03 13:04:05.007")};
  const DataType kText = Sized(BaseType::kVarChar, 40);
  const DataType kDate = DefaultType(BaseType::kDateTime);
  struct Case {
    Scalar in;
    DataType target;
    int style;
    const char* expected;  // the result, or "Msg n" for an error
  };
  const Case kCases[] = {
      {kWhen, kText, 0, "Feb  3 2001  1:04PM"},
      {kWhen, kText, 100, "Feb  3 2001  1:04PM"},
      {kWhen, kText, 1, "02/03/01"},
      {kWhen, kText, 101, "02/03/2001"},
      {kWhen, kText, 2, "01.02.03"},
      {kWhen, kText, 102, "2001.02.03"},
      {kWhen, kText, 3, "03/02/01"},
      {kWhen, kText, 103, "03/02/2001"},
      {kWhen, kText, 4, "03.02.01"},
      {kWhen, kText, 104, "03.02.2001"},
      {kWhen, kText, 5, "03-02-01"},
      {kWhen, kText, 105, "03-02-2001"},
      {kWhen, kText, 6, "03 Feb 01"},
      {kWhen, kText, 106, "03 Feb 2001"},
      {kWhen, kText, 7, "Feb 03, 01"},
      {kWhen, kText, 107, "Feb 03, 2001"},
      {kWhen, kText, 8, "13:04:05"},
      {kWhen, kText, 108, "13:04:05"},
      {kWhen, kText, 9, "Feb  3 2001  1:04:05:007PM"},
      {kWhen, kText, 109, "Feb  3 2001  1:04:05:007PM"},
      {kWhen, kText, 10, "02-03-01"},
      {kWhen, kText, 110, "02-03-2001"},
      {kWhen, kText, 11, "01/02/03"},
      {kWhen, kText, 111, "2001/02/03"},
      {kWhen, kText, 12, "010203"},
      {kWhen, kText, 112, "20010203"},
      {kWhen, kText, 13, "03 Feb 2001 13:04:05:007"},
      {kWhen, kText, 113, "03 Feb 2001 13:04:05:007"},
      {kWhen, kText, 14, "13:04:05:007"},
      {kWhen, kText, 114, "13:04:05:007"},
      {kWhen, kText, 20, "2001-02-03 13:04:05"},
      {kWhen, kText, 120, "2001-02-03 13:04:05"},
      {kWhen, kText, 21, "2001-02-03 13:04:05.007"},
      {kWhen, kText, 121, "2001-02-03 13:04:05.007"},
      {kWhen, kText, 126, "2001-02-03T13:04:05.007"},
      {kWhen, Sized(BaseType::kNChar, 12), 112, "20010203    "},
      {Scalar{DefaultType(BaseType::kSmallDateTime), std::string("2001-02-03 00:04:00.000")}, kText,
       109, "Feb  3 2001 12:04:00:000AM"},
      {kWhen, kText, 22, "Msg 281"},
      {kWhen, kText, 115, "Msg 281"},
      {kWhen, kText, -1, "Msg 281"},
      {kWhen, kText, 131, "Msg 50000"},
      {StringScalar("03/02/01"), kDate, 3, "2001-02-03 00:00:00.000"},
      {StringScalar("03.02.2001"), kDate, 104, "2001-02-03 00:00:00.000"},
      {StringScalar("01.02.03"), kDate, 2, "2001-02-03 00:00:00.000"},
      {StringScalar("02/03/01"), kDate, 1, "2001-02-03 00:00:00.000"},
      {StringScalar("010203"), kDate, 12, "2001-02-03 00:00:00.000"},
      {StringScalar("03 Feb 2001 13:04:05:007"), kDate, 113, "2001-02-03 13:04:05.007"},
      {StringScalar("Feb 03, 01"), kDate, 7, "2001-02-03 00:00:00.000"},
      {StringScalar("2001-02-03T13:04:05.007"), kDate, 126, "2001-02-03 13:04:05.007"},
      {StringScalar("31/12/2001"), kDate, 101, "Msg 242"},
      {StringScalar("01/02/2003"), kDate, 99, "Msg 281"},
      {Scalar{DefaultType(BaseType::kMoney), std::string("-1234567.8912")}, kText, 0,
       "-1234567.89"},
      {Scalar{DefaultType(BaseType::kMoney), std::string("-1234567.8912")}, kText, 1,
       "-1,234,567.89"},
      {Scalar{DefaultType(BaseType::kMoney), std::string("123.4500")}, kText, 1, "123.45"},
      {Scalar{DefaultType(BaseType::kMoney), std::string("-1234567.8912")}, kText, 2,
       "-1234567.8912"},
      {FloatScalar(1234567.0), kText, 0, "1.23457e+006"},
      {FloatScalar(3.5), kText, 1, "3.5000000e+000"},
      {FloatScalar(3.5), kText, 2, "3.500000000000000e+000"},
      {FloatScalar(3.5), kText, 7, "3.5"},
      {Scalar{DefaultType(BaseType::kReal), 0.5}, kText, 126, "5.0000000e-001"},
      {IntScalar(42), kText, 120, "42"},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(std::to_string(c.style) + " from " + CellText(c.in.value));
    Value out;
    Status error = ConvertStyled(c.in, c.target, c.style, out);
    EXPECT_EQ(error ? "Msg " + std::to_string(error->number) : CellText(out), c.expected);
  }
}

}  // namespace
}  // namespace server
