// The types as ODBC sees them: the column facts sp_columns and its kin
// report, and sp_datatype_info's list of the types the server has.

#include <algorithm>
#include <tuple>

#include "server/exec/odbc_catalog.h"

namespace server::odbc {

namespace {

using namespace sys_type;

// ODBC's codes for SQL Server 2000's types, in BaseType's order.
constexpr int kOdbcCodes[] = {
    -5,    // bigint
    -2,    // binary
    -7,    // bit
    1,     // char
    11,    // datetime
    3,     // decimal
    6,     // float
    -4,    // image
    4,     // int
    3,     // money
    -8,    // nchar
    -10,   // ntext
    2,     // numeric
    -9,    // nvarchar
    7,     // real
    11,    // smalldatetime
    5,     // smallint
    3,     // smallmoney
    -150,  // sql_variant
    -1,    // text
    -2,    // timestamp
    -6,    // tinyint
    -11,   // uniqueidentifier
    -3,    // varbinary
    12,    // varchar
};
static_assert(std::size(kOdbcCodes) == static_cast<size_t>(BaseType::kVarChar) + 1,
              "kOdbcCodes must follow BaseType");

constexpr int kOdbc2DateTime = 11;
constexpr int kOdbc3DateTime = 93;
constexpr int kSqlDateTimeFamily = 9;  // SQL_DATA_TYPE of the datetime types
constexpr int kSqlCodeTimestamp = 3;   // SQL_DATETIME_SUB of the datetime types

bool IsDateTime(BaseType base) {
  return base == BaseType::kDateTime || base == BaseType::kSmallDateTime;
}

Value Int(int64_t v) { return Value(v); }

constexpr SystemColumn kTypeInfoColumns[] = {
    {"TYPE_NAME", kSysname},
    {"DATA_TYPE", kSmallInt},
    {"PRECISION", kInt},
    {"LITERAL_PREFIX", VarChar(32)},
    {"LITERAL_SUFFIX", VarChar(32)},
    {"CREATE_PARAMS", VarChar(32)},
    {"NULLABLE", kSmallInt},
    {"CASE_SENSITIVE", kSmallInt},
    {"SEARCHABLE", kSmallInt},
    {"UNSIGNED_ATTRIBUTE", kSmallInt},
    {"MONEY", kSmallInt},
    {"AUTO_INCREMENT", kSmallInt},
    {"LOCAL_TYPE_NAME", kSysname},
    {"MINIMUM_SCALE", kSmallInt},
    {"MAXIMUM_SCALE", kSmallInt},
    {"SQL_DATA_TYPE", kSmallInt},
    {"SQL_DATETIME_SUB", kSmallInt},
    {"NUM_PREC_RADIX", kInt},
    {"INTERVAL_PRECISION", kSmallInt},
    {"USERTYPE", kSmallInt},
};

// One row of sp_datatype_info. -1 stands for NULL in the small-number
// fields; `character` types follow the server's case sensitivity.
struct TypeRowFacts {
  const char* name;
  BaseType base;
  int precision;
  const char* prefix;
  const char* suffix;
  const char* create_params;
  int nullable;
  bool character;
  int searchable;
  int unsigned_attribute;
  int money;
  int auto_increment;
  int minimum_scale;
  int maximum_scale;
  int radix;
  int usertype;
};

using B = BaseType;
// SQL_SEARCHABLE 3, SQL_PRED_BASIC 2 (no LIKE), SQL_PRED_CHAR 1 (LIKE only),
// SQL_PRED_NONE 0.
constexpr TypeRowFacts kTypeRows[] = {
    {"sql_variant", B::kSqlVariant, 8000, nullptr, nullptr, nullptr, 1, false, 2, -1, 0, -1, 0, 0,
     10, 0},
    {"uniqueidentifier", B::kUniqueIdentifier, 36, "'", "'", nullptr, 1, false, 2, -1, 0, -1, -1,
     -1, -1, 0},
    {"ntext", B::kNText, 1073741823, "N'", "'", nullptr, 1, true, 1, -1, 0, -1, -1, -1, -1, 0},
    {"nvarchar", B::kNVarChar, 4000, "N'", "'", "max length", 1, true, 3, -1, 0, -1, -1, -1, -1, 0},
    {"sysname", B::kNVarChar, 128, "N'", "'", nullptr, 0, true, 3, -1, 0, -1, -1, -1, -1, 18},
    {"nchar", B::kNChar, 4000, "N'", "'", "length", 1, true, 3, -1, 0, -1, -1, -1, -1, 0},
    {"bit", B::kBit, 1, nullptr, nullptr, nullptr, 1, false, 2, -1, 0, -1, 0, 0, -1, 16},
    {"tinyint", B::kTinyInt, 3, nullptr, nullptr, nullptr, 1, false, 2, 1, 0, 0, 0, 0, 10, 5},
    {"tinyint identity", B::kTinyInt, 3, nullptr, nullptr, nullptr, 0, false, 2, 1, 0, 1, 0, 0, 10,
     5},
    {"bigint", B::kBigInt, 19, nullptr, nullptr, nullptr, 1, false, 2, 0, 0, 0, 0, 0, 10, 0},
    {"bigint identity", B::kBigInt, 19, nullptr, nullptr, nullptr, 0, false, 2, 0, 0, 1, 0, 0, 10,
     0},
    {"image", B::kImage, 2147483647, "0x", nullptr, nullptr, 1, false, 0, -1, 0, -1, -1, -1, -1,
     20},
    {"varbinary", B::kVarBinary, 8000, "0x", nullptr, "max length", 1, false, 2, -1, 0, -1, -1, -1,
     -1, 4},
    {"binary", B::kBinary, 8000, "0x", nullptr, "length", 1, false, 2, -1, 0, -1, -1, -1, -1, 3},
    {"timestamp", B::kTimestamp, 8, "0x", nullptr, nullptr, 0, false, 2, -1, 0, -1, -1, -1, -1, 80},
    {"text", B::kText, 2147483647, "'", "'", nullptr, 1, true, 1, -1, 0, -1, -1, -1, -1, 19},
    {"char", B::kChar, 8000, "'", "'", "length", 1, true, 3, -1, 0, -1, -1, -1, -1, 1},
    {"numeric", B::kNumeric, 38, nullptr, nullptr, "precision,scale", 1, false, 2, 0, 0, 0, 0, 38,
     10, 10},
    {"numeric() identity", B::kNumeric, 38, nullptr, nullptr, "precision", 0, false, 2, 0, 0, 1, 0,
     0, 10, 10},
    {"decimal", B::kDecimal, 38, nullptr, nullptr, "precision,scale", 1, false, 2, 0, 0, 0, 0, 38,
     10, 24},
    {"money", B::kMoney, 19, "$", nullptr, nullptr, 1, false, 2, 0, 1, 0, 4, 4, 10, 11},
    {"smallmoney", B::kSmallMoney, 10, "$", nullptr, nullptr, 1, false, 2, 0, 1, 0, 4, 4, 10, 21},
    {"decimal() identity", B::kDecimal, 38, nullptr, nullptr, "precision", 0, false, 2, 0, 0, 1, 0,
     0, 10, 24},
    {"int", B::kInt, 10, nullptr, nullptr, nullptr, 1, false, 2, 0, 0, 0, 0, 0, 10, 7},
    {"int identity", B::kInt, 10, nullptr, nullptr, nullptr, 0, false, 2, 0, 0, 1, 0, 0, 10, 7},
    {"smallint", B::kSmallInt, 5, nullptr, nullptr, nullptr, 1, false, 2, 0, 0, 0, 0, 0, 10, 6},
    {"smallint identity", B::kSmallInt, 5, nullptr, nullptr, nullptr, 0, false, 2, 0, 0, 1, 0, 0,
     10, 6},
    {"float", B::kFloat, 15, nullptr, nullptr, nullptr, 1, false, 2, 0, 0, 0, -1, -1, 10, 8},
    {"real", B::kReal, 7, nullptr, nullptr, nullptr, 1, false, 2, 0, 0, 0, -1, -1, 10, 23},
    {"datetime", B::kDateTime, 23, "'", "'", nullptr, 1, false, 3, -1, 0, -1, 3, 3, -1, 12},
    {"smalldatetime", B::kSmallDateTime, 16, "'", "'", nullptr, 1, false, 3, -1, 0, -1, 0, 0, -1,
     22},
    {"varchar", B::kVarChar, 8000, "'", "'", "max length", 1, true, 3, -1, 0, -1, -1, -1, -1, 2},
};

Value Small(int v) { return v < 0 ? Value() : Value(int64_t{v}); }
Value Text(const char* text) { return text ? Value(std::string(text)) : Value(); }

}  // namespace

int OdbcDataType(BaseType base) { return kOdbcCodes[static_cast<size_t>(base)]; }

int OdbcDataTypeFor(BaseType base, bool odbc3) {
  if (IsDateTime(base)) return odbc3 ? kOdbc3DateTime : kOdbc2DateTime;
  return OdbcDataType(base);
}

OdbcColumnType DescribeColumn(const ColumnFacts& column, bool odbc3) {
  const DataType& type = column.type;
  const BaseType base = type.base;
  OdbcColumnType out;
  out.data_type = OdbcDataTypeFor(base, odbc3);
  out.sql_data_type = IsDateTime(base) ? kSqlDateTimeFamily : out.data_type;
  if (IsDateTime(base)) out.datetime_sub = Int(kSqlCodeTimestamp);
  out.ss_data_type = LegacyTypeCode(base, column.nullable);
  out.type_name = column.type_name;
  if (column.identity) {
    bool exact = Family(type) == TypeFamily::kExact;
    out.type_name = std::string(Info(base).name) + (exact ? "() identity" : " identity");
  }
  auto set = [&out](Value precision, Value length, Value scale, Value radix) {
    out.precision = std::move(precision);
    out.length = std::move(length);
    out.scale = std::move(scale);
    out.radix = std::move(radix);
  };
  switch (Family(type)) {
    case TypeFamily::kCharacter: {
      int64_t bytes = Info(base).unicode ? 2 * type.length : type.length;
      set(Int(type.length), Int(bytes), Value(), Value());
      out.octet_length = Int(bytes);
      break;
    }
    case TypeFamily::kBinary: {
      int64_t bytes = base == BaseType::kTimestamp ? 8 : type.length;
      set(Int(bytes), Int(bytes), Value(), Value());
      out.octet_length = Int(bytes);
      break;
    }
    case TypeFamily::kText:
    case TypeFamily::kImage: {
      bool unicode = Info(base).unicode;
      int64_t bytes = unicode ? 2147483646 : 2147483647;
      set(Int(unicode ? 1073741823 : 2147483647), Int(bytes), Value(), Value());
      out.octet_length = Int(bytes);
      break;
    }
    case TypeFamily::kExact:
      set(Int(type.precision), Int(type.precision + 2), Int(type.scale), Int(10));
      break;
    case TypeFamily::kMoney:
      if (base == BaseType::kMoney) {
        set(Int(19), Int(21), Int(4), Int(10));
      } else {
        set(Int(10), Int(12), Int(4), Int(10));
      }
      break;
    case TypeFamily::kInteger:
      if (base == BaseType::kBit) {
        set(Int(1), Int(1), Int(0), Value());
      } else {
        set(Int(TypePrecision(type)), Int(StorageLength(type)), Int(0), Int(10));
      }
      break;
    case TypeFamily::kApprox:
      if (base == BaseType::kFloat) {
        set(Int(15), Int(8), Value(), Int(10));
      } else {
        set(Int(7), Int(4), Value(), Int(10));
      }
      break;
    case TypeFamily::kDateTime:
      if (base == BaseType::kDateTime) {
        set(Int(23), Int(16), Int(3), Value());
      } else {
        set(Int(16), Int(16), Int(0), Value());
      }
      break;
    case TypeFamily::kGuid:
      set(Int(36), Int(16), Value(), Value());
      break;
    case TypeFamily::kVariant:
      set(Int(8000), Int(8000), Value(), Value());
      break;
  }
  return out;
}

// sp_datatype_info: every type, or those of one ODBC code; SQL Server 2000
// orders them by code, then plain before identity, then money last, then
// by systypes.usertype.
Status SpDatatypeInfo(const ProcArgs& args, ExecContext& ctx) {
  const bool odbc3 = args.Int("@ODBCVer") >= 3;
  const int64_t wanted = args.Int("@data_type");
  const bool case_sensitive = ctx.collation().case_sensitive();
  std::vector<const TypeRowFacts*> chosen;
  for (const TypeRowFacts& facts : kTypeRows) {
    if (wanted == 0 || OdbcDataTypeFor(facts.base, odbc3) == wanted) chosen.push_back(&facts);
  }
  auto key = [odbc3](const TypeRowFacts* f) {
    return std::make_tuple(OdbcDataTypeFor(f->base, odbc3), f->auto_increment, f->money,
                           f->usertype);
  };
  std::stable_sort(
      chosen.begin(), chosen.end(),
      [&key](const TypeRowFacts* a, const TypeRowFacts* b) { return key(a) < key(b); });
  std::vector<Row> rows;
  for (const TypeRowFacts* f : chosen) {
    int data_type = OdbcDataTypeFor(f->base, odbc3);
    bool datetime = IsDateTime(f->base);
    rows.push_back({std::string(f->name),
                    Int(data_type),
                    Int(f->precision),
                    Text(f->prefix),
                    Text(f->suffix),
                    Text(f->create_params),
                    Int(f->nullable),
                    Int(f->character && case_sensitive ? 1 : 0),
                    Int(f->searchable),
                    Small(f->unsigned_attribute),
                    Int(f->money),
                    Small(f->auto_increment),
                    std::string(f->name),
                    Small(f->minimum_scale),
                    Small(f->maximum_scale),
                    Int(datetime ? kSqlDateTimeFamily : data_type),
                    datetime ? Int(kSqlCodeTimestamp) : Value(),
                    Small(f->radix),
                    Value(),
                    Int(f->usertype)});
  }
  SendResult(kTypeInfoColumns, std::move(rows), ctx);
  return std::nullopt;
}

}  // namespace server::odbc
