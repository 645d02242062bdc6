#include "server/types/data_type.h"

#include <array>
#include <cstddef>

#include "server/types/collation.h"

namespace server {

namespace {

// One row per system type, in the order of BaseType. Precedence follows SQL
// Server 2000's data type precedence list (sql_variant highest, binary lowest).
constexpr TypeInfo kTypes[] = {
    {BaseType::kBigInt, "bigint", 127, TypeFamily::kInteger, 8, false, false, 17},
    {BaseType::kBinary, "binary", 173, TypeFamily::kBinary, 0, true, false, 1},
    {BaseType::kBit, "bit", 104, TypeFamily::kInteger, 1, false, false, 13},
    {BaseType::kChar, "char", 175, TypeFamily::kCharacter, 0, true, false, 3},
    {BaseType::kDateTime, "datetime", 61, TypeFamily::kDateTime, 8, false, false, 24},
    {BaseType::kDecimal, "decimal", 106, TypeFamily::kExact, 0, false, false, 20},
    {BaseType::kFloat, "float", 62, TypeFamily::kApprox, 8, false, false, 22},
    {BaseType::kImage, "image", 34, TypeFamily::kImage, 16, false, false, 10},
    {BaseType::kInt, "int", 56, TypeFamily::kInteger, 4, false, false, 16},
    {BaseType::kMoney, "money", 60, TypeFamily::kMoney, 8, false, false, 19},
    {BaseType::kNChar, "nchar", 239, TypeFamily::kCharacter, 0, true, true, 6},
    {BaseType::kNText, "ntext", 99, TypeFamily::kText, 16, false, true, 12},
    {BaseType::kNumeric, "numeric", 108, TypeFamily::kExact, 0, false, false, 20},
    {BaseType::kNVarChar, "nvarchar", 231, TypeFamily::kCharacter, 0, true, true, 7},
    {BaseType::kReal, "real", 59, TypeFamily::kApprox, 4, false, false, 21},
    {BaseType::kSmallDateTime, "smalldatetime", 58, TypeFamily::kDateTime, 4, false, false, 23},
    {BaseType::kSmallInt, "smallint", 52, TypeFamily::kInteger, 2, false, false, 15},
    {BaseType::kSmallMoney, "smallmoney", 122, TypeFamily::kMoney, 4, false, false, 18},
    {BaseType::kSqlVariant, "sql_variant", 98, TypeFamily::kVariant, 8016, false, false, 25},
    {BaseType::kText, "text", 35, TypeFamily::kText, 16, false, false, 11},
    {BaseType::kTimestamp, "timestamp", 189, TypeFamily::kBinary, 8, false, false, 9},
    {BaseType::kTinyInt, "tinyint", 48, TypeFamily::kInteger, 1, false, false, 14},
    {BaseType::kUniqueIdentifier, "uniqueidentifier", 36, TypeFamily::kGuid, 16, false, false, 8},
    {BaseType::kVarBinary, "varbinary", 165, TypeFamily::kBinary, 0, true, false, 2},
    {BaseType::kVarChar, "varchar", 167, TypeFamily::kCharacter, 0, true, false, 5},
};

constexpr bool TypesFollowEnum() {
  for (size_t i = 0; i < std::size(kTypes); ++i) {
    if (static_cast<size_t>(kTypes[i].base) != i) return false;
  }
  return static_cast<size_t>(BaseType::kVarChar) + 1 == std::size(kTypes);
}
static_assert(TypesFollowEnum(), "kTypes must list every BaseType once, in enum order");

// Bytes a decimal of this precision occupies.
int DecimalBytes(int precision) {
  if (precision <= 9) return 5;
  if (precision <= 19) return 9;
  if (precision <= 28) return 13;
  return 17;
}

}  // namespace

const TypeInfo& Info(BaseType base) { return kTypes[static_cast<size_t>(base)]; }

std::optional<BaseType> FindBaseType(std::string_view name) {
  for (const TypeInfo& info : kTypes) {
    if (EqualNoCase(name, info.name)) return info.base;
  }
  return std::nullopt;
}

DataType DefaultType(BaseType base) {
  DataType type{base, 0, 0, 0};
  const TypeInfo& info = Info(base);
  if (info.sized) {
    type.length = 1;
  } else if (info.family == TypeFamily::kExact) {
    type.precision = 18;
  } else {
    type.length = info.fixed_length;
  }
  switch (base) {
    case BaseType::kBit:
      type.precision = 1;
      break;
    case BaseType::kTinyInt:
      type.precision = 3;
      break;
    case BaseType::kSmallInt:
      type.precision = 5;
      break;
    case BaseType::kInt:
      type.precision = 10;
      break;
    case BaseType::kBigInt:
      type.precision = 19;
      break;
    case BaseType::kFloat:
      type.precision = 53;
      break;
    case BaseType::kReal:
      type.precision = 24;
      break;
    case BaseType::kMoney:
      type.precision = 19;
      type.scale = 4;
      break;
    case BaseType::kSmallMoney:
      type.precision = 10;
      type.scale = 4;
      break;
    case BaseType::kDateTime:
      type.precision = 23;
      type.scale = 3;
      break;
    case BaseType::kSmallDateTime:
      type.precision = 16;
      break;
    default:
      break;
  }
  return type;
}

std::string TypeName(const DataType& type) {
  const TypeInfo& info = Info(type.base);
  std::string name = info.name;
  if (info.sized) {
    name += "(" + std::to_string(type.length) + ")";
  } else if (info.family == TypeFamily::kExact) {
    name += "(" + std::to_string(type.precision) + "," + std::to_string(type.scale) + ")";
  }
  return name;
}

int StorageLength(const DataType& type) {
  const TypeInfo& info = Info(type.base);
  if (info.sized) return info.unicode ? 2 * type.length : type.length;
  if (info.family == TypeFamily::kExact) return DecimalBytes(type.precision);
  return info.fixed_length;
}

int MaxLength(BaseType base) { return Info(base).unicode ? 4000 : 8000; }

}  // namespace server
