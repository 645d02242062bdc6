#ifndef TAVORA_SERVER_TDS_COLUMNS_H_
#define TAVORA_SERVER_TDS_COLUMNS_H_

#include <array>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "server/engine.h"
#include "server/tds/wire.h"

namespace server::tds {

// Which field widths the token stream uses: 7.1's, or those of 7.2 and
// later (4-byte user type and line number, 8-byte row count, multi-part
// table names). Tokens sent before LOGINACK follow the client's version, the
// rest 7.1, the version this server acknowledges.
enum class Layout { kTds71, kTds72 };

// Wire type codes of the column types this server sends.
enum WireType : uint8_t {
  kImage = 0x22,
  kText = 0x23,
  kGuid = 0x24,
  kIntN = 0x26,
  kNText = 0x63,
  kBitN = 0x68,
  kDecimalN = 0x6A,
  kNumericN = 0x6C,
  kFloatN = 0x6D,
  kMoneyN = 0x6E,
  kDateTimeN = 0x6F,
  kBigVarBinary = 0xA5,
  kBigVarChar = 0xA7,
  kBigBinary = 0xAD,
  kBigChar = 0xAF,
  kNVarChar = 0xE7,
  kNChar = 0xEF,
  // Forms only clients send: fixed-length, and the byte-length forms of
  // character and binary data from before the BIG* ones.
  kVarBinary = 0x25,
  kVarChar = 0x27,
  kBinary = 0x2D,
  kChar = 0x2F,
  kInt1 = 0x30,
  kBit = 0x32,
  kInt2 = 0x34,
  kDecimal = 0x37,
  kInt4 = 0x38,
  kDateTime4 = 0x3A,
  kFloat4 = 0x3B,
  kMoney = 0x3C,
  kDateTime = 0x3D,
  kFloat8 = 0x3E,
  kNumeric = 0x3F,
  kMoney4 = 0x7A,
  kInt8 = 0x7F,
};

// Collations as the 5 bytes of the protocol: LCID and comparison flags, then
// the SQL sort id.
using Collation = std::array<uint8_t, 5>;
// SQL_Latin1_General_CP1_CI_AS and SQL_Latin1_General_CP1_CS_AS.
constexpr Collation kCollationCaseInsensitive = {0x09, 0x04, 0xD0, 0x00, 0x34};
constexpr Collation kCollationCaseSensitive = {0x09, 0x04, 0xC0, 0x00, 0x33};

// The longest declared length of varchar, nvarchar, varbinary and the
// other types with a two-byte length, in bytes.
constexpr uint32_t kMaxShortLength = 8000;

// COLMETADATA flags.
constexpr uint16_t kColumnNullable = 0x0001;

// One column of a result as it goes on the wire.
struct Column {
  std::string name;
  uint8_t type = kNVarChar;
  uint32_t max_length = 0;  // bytes
  uint8_t precision = 0;    // decimal and numeric
  uint8_t scale = 0;
  Collation collation{};   // character types
  std::string table_name;  // text, ntext and image
  uint16_t flags = kColumnNullable;

  friend bool operator==(const Column&, const Column&) = default;
};

// The wire column for an engine result column of `sql_type` ("int",
// "varchar(32)", "decimal(10,2)", "ntext"...). A type this mapping does not
// know travels as nvarchar(4000) text.
Column ColumnFor(std::string_view name, std::string_view sql_type, const Collation& collation);

// The SQL type of a parameter declared as `column` ("int", "nvarchar(10)"),
// as ResultSet::types names types. Throws DecodeError for a declaration no
// SQL Server 2000 type matches (a length of 0 or over 8,000 bytes, ...).
std::string SqlTypeOf(const Column& column);

// TYPE_INFO: the type code, its length and precision fields and the
// collation; with `table_name`, the table name that text, ntext and image
// columns carry in COLMETADATA (parameters have none). Throws EncodeError
// for a length the type's field cannot carry.
void EncodeTypeInfo(Writer& w, const Column& column, Layout layout, bool table_name);
// Throws DecodeError on an unknown type code.
Column DecodeTypeInfo(Reader& r, Layout layout, bool table_name);

// COLMETADATA (0x81): the count, then per column its user type, flags, type
// information and name. Throws EncodeError for what the token cannot carry:
// 0xFFFF columns or more, a name over 255 characters, a length too long.
void EncodeColMetadata(Writer& w, const std::vector<Column>& columns, Layout layout);
// After the token byte. Throws DecodeError on an unknown type code.
std::vector<Column> DecodeColMetadata(Reader& r, Layout layout);

// ROW (0xD1): each value in its column's form. Throws EncodeError when a
// value does not fit its column.
void EncodeRow(Writer& w, const std::vector<Column>& columns, const std::vector<Value>& row);
// One value in its column's form, as in a ROW; EncodeError when it does not fit.
void EncodeValue(Writer& w, const Column& column, const Value& value);
// A parameter value of an RPC request: as in a ROW, except that text, ntext
// and image come as a 4-byte length (all ones for NULL) without text pointer.
Value DecodeParameterValue(Reader& r, const Column& column);
void EncodeParameterValue(Writer& w, const Column& column, const Value& value);

// After the token byte. Values come back in the engine's forms: integers and
// bit as int64_t, float as double, character data as UTF-8, binary as bytes,
// and decimal, money, datetime and uniqueidentifier as their exact text.
std::vector<Value> DecodeRow(Reader& r, const std::vector<Column>& columns);

}  // namespace server::tds

#endif  // TAVORA_SERVER_TDS_COLUMNS_H_
