#ifndef TAVORA_SERVER_TYPES_DATA_TYPE_H_
#define TAVORA_SERVER_TYPES_DATA_TYPE_H_

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace server {

// SQL Server 2000's system data types.
enum class BaseType : uint8_t {
  kBigInt,
  kBinary,
  kBit,
  kChar,
  kDateTime,
  kDecimal,
  kFloat,
  kImage,
  kInt,
  kMoney,
  kNChar,
  kNText,
  kNumeric,
  kNVarChar,
  kReal,
  kSmallDateTime,
  kSmallInt,
  kSmallMoney,
  kSqlVariant,
  kText,
  kTimestamp,
  kTinyInt,
  kUniqueIdentifier,
  kVarBinary,
  kVarChar,
};

// How values of a type are held and converted.
enum class TypeFamily : uint8_t {
  kInteger,    // bit, tinyint, smallint, int, bigint: int64_t
  kExact,      // decimal, numeric: exact text
  kMoney,      // money, smallmoney: exact text with four decimals
  kApprox,     // real, float: double
  kCharacter,  // char, varchar, nchar, nvarchar
  kText,       // text, ntext
  kBinary,     // binary, varbinary, timestamp
  kImage,
  kDateTime,  // datetime, smalldatetime: text "yyyy-mm-dd hh:mm:ss.mmm"
  kGuid,
  kVariant,
};

// One row of the type table.
struct TypeInfo {
  BaseType base;
  const char* name;  // as SQL Server names it, lower case
  int xtype;         // systypes.xtype
  TypeFamily family;
  int fixed_length;  // storage bytes of a fixed-size type, 0 when it depends on the declaration
  bool sized;        // takes (n): char, varchar, nchar, nvarchar, binary, varbinary
  bool unicode;      // nchar, nvarchar, ntext
  int precedence;    // data type precedence: higher wins in comparisons and arithmetic
};

const TypeInfo& Info(BaseType base);
// The system type with this name (ASCII case-insensitive), if any.
std::optional<BaseType> FindBaseType(std::string_view name);

// A declared type: length in characters for character types, in bytes for
// binary types; precision and scale for decimal and numeric.
struct DataType {
  BaseType base = BaseType::kInt;
  int length = 0;
  int precision = 0;
  int scale = 0;

  friend bool operator==(const DataType&, const DataType&) = default;
};

// A type with its server defaults filled in: length 1 for the sized types,
// precision 18 scale 0 for decimal and numeric, and the sizes of fixed types.
DataType DefaultType(BaseType base);

// "int", "varchar(32)", "decimal(18,0)".
std::string TypeName(const DataType& type);

// The storage length syscolumns reports (nchar(32) is 64; text, ntext and
// image hold a 16-byte pointer).
int StorageLength(const DataType& type);

// Largest declared length of a sized type: 8000 bytes, 4000 Unicode characters.
int MaxLength(BaseType base);

inline TypeFamily Family(const DataType& type) { return Info(type.base).family; }
// text, ntext and image: never compared, sorted or grouped.
inline bool IsLargeObject(const DataType& type) {
  TypeFamily family = Family(type);
  return family == TypeFamily::kText || family == TypeFamily::kImage;
}
inline bool IsCharacterLike(const DataType& type) {
  TypeFamily f = Family(type);
  return f == TypeFamily::kCharacter || f == TypeFamily::kText;
}

}  // namespace server

#endif  // TAVORA_SERVER_TYPES_DATA_TYPE_H_
