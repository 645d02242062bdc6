#include "server/tds/columns.h"

#include <algorithm>
#include <charconv>
#include <string>

#include "server/tds/wire_types.h"

namespace server::tds {

namespace {

constexpr WireInfo kWireTypes[] = {
    {kImage, Framing::kLongLength, false},
    {kText, Framing::kLongLength, true},
    {kGuid, Framing::kByteLength, false},
    {kIntN, Framing::kByteLength, false},
    {kNText, Framing::kLongLength, true},
    {kBitN, Framing::kByteLength, false},
    {kDecimalN, Framing::kDecimal, false},
    {kNumericN, Framing::kDecimal, false},
    {kFloatN, Framing::kByteLength, false},
    {kMoneyN, Framing::kByteLength, false},
    {kDateTimeN, Framing::kByteLength, false},
    {kBigVarBinary, Framing::kShortLength, false},
    {kBigVarChar, Framing::kShortLength, true},
    {kBigBinary, Framing::kShortLength, false},
    {kBigChar, Framing::kShortLength, true},
    {kNVarChar, Framing::kShortLength, true},
    {kNChar, Framing::kShortLength, true},
    {kVarBinary, Framing::kByteLength, false, kBigVarBinary},
    {kVarChar, Framing::kByteLength, false, kBigVarChar},
    {kBinary, Framing::kByteLength, false, kBigBinary},
    {kChar, Framing::kByteLength, false, kBigChar},
    {kDecimal, Framing::kDecimal, false, kDecimalN},
    {kNumeric, Framing::kDecimal, false, kNumericN},
    {kInt1, Framing::kFixed, false, kIntN, 1},
    {kBit, Framing::kFixed, false, kBitN, 1},
    {kInt2, Framing::kFixed, false, kIntN, 2},
    {kInt4, Framing::kFixed, false, kIntN, 4},
    {kInt8, Framing::kFixed, false, kIntN, 8},
    {kDateTime4, Framing::kFixed, false, kDateTimeN, 4},
    {kDateTime, Framing::kFixed, false, kDateTimeN, 8},
    {kFloat4, Framing::kFixed, false, kFloatN, 4},
    {kFloat8, Framing::kFixed, false, kFloatN, 8},
    {kMoney4, Framing::kFixed, false, kMoneyN, 4},
    {kMoney, Framing::kFixed, false, kMoneyN, 8},
};

// How each engine type goes on the wire. `length` is the fixed byte length;
// for sized types `per_char` multiplies the declared length instead.
struct SqlTypeRow {
  std::string_view name;
  uint8_t wire;
  uint32_t length;
  uint32_t per_char;
};

constexpr SqlTypeRow kSqlTypes[] = {
    {"bit", kBitN, 1, 0},
    {"tinyint", kIntN, 1, 0},
    {"smallint", kIntN, 2, 0},
    {"int", kIntN, 4, 0},
    {"bigint", kIntN, 8, 0},
    {"real", kFloatN, 4, 0},
    {"float", kFloatN, 8, 0},
    {"smallmoney", kMoneyN, 4, 0},
    {"money", kMoneyN, 8, 0},
    {"smalldatetime", kDateTimeN, 4, 0},
    {"datetime", kDateTimeN, 8, 0},
    {"uniqueidentifier", kGuid, 16, 0},
    {"decimal", kDecimalN, 0, 0},
    {"numeric", kNumericN, 0, 0},
    {"char", kBigChar, 0, 1},
    {"varchar", kBigVarChar, 0, 1},
    {"nchar", kNChar, 0, 2},
    {"nvarchar", kNVarChar, 0, 2},
    {"sysname", kNVarChar, 256, 0},
    {"binary", kBigBinary, 0, 1},
    {"varbinary", kBigVarBinary, 0, 1},
    {"timestamp", kBigBinary, 8, 0},
    {"text", kText, 0x7FFFFFFF, 0},
    {"ntext", kNText, 0x7FFFFFFE, 0},
    {"image", kImage, 0x7FFFFFFF, 0},
};

// The numbers inside "name(a)" or "name(a,b)".
std::vector<uint32_t> TypeArguments(std::string_view sql_type) {
  std::vector<uint32_t> args;
  size_t open = sql_type.find('(');
  if (open == std::string_view::npos) return args;
  std::string_view rest = sql_type.substr(open + 1);
  while (!rest.empty()) {
    uint32_t value = 0;
    auto [ptr, ec] = std::from_chars(rest.data(), rest.data() + rest.size(), value);
    if (ec != std::errc()) break;
    args.push_back(value);
    rest.remove_prefix(ptr - rest.data());
    if (rest.empty() || rest.front() != ',') break;
    rest.remove_prefix(1);
  }
  return args;
}

bool EqualNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if ((a[i] | 0x20) != (b[i] | 0x20)) return false;
  }
  return true;
}

// varchar data travels in the collation's code page; characters outside
// Latin-1 become '?', as SQL Server does when converting to a narrower code
}  // namespace

const WireInfo* FindWire(uint8_t type) {
  for (const WireInfo& info : kWireTypes) {
    if (info.type == type) return &info;
  }
  return nullptr;
}

uint8_t ValueType(uint8_t type) {
  const WireInfo* info = FindWire(type);
  return info && info->same_as ? info->same_as : type;
}

uint8_t DecimalLength(int precision) {
  if (precision <= 9) return 5;
  if (precision <= 19) return 9;
  if (precision <= 28) return 13;
  return 17;
}

Column ColumnFor(std::string_view name, std::string_view sql_type, const Collation& collation) {
  Column column;
  column.name = std::string(name);
  std::string_view base = sql_type.substr(0, sql_type.find('('));
  std::vector<uint32_t> args = TypeArguments(sql_type);
  const SqlTypeRow* row = nullptr;
  for (const SqlTypeRow& candidate : kSqlTypes) {
    if (EqualNoCase(candidate.name, base)) row = &candidate;
  }
  if (row == nullptr) {
    column.type = kNVarChar;
    column.max_length = 8000;
    column.collation = collation;
    return column;
  }
  column.type = row->wire;
  column.max_length = row->length;
  if (row->per_char != 0) {
    // Computed wide so that an absurd length stays absurd and is refused
    // by EncodeTypeInfo instead of wrapping round to a plausible one.
    uint64_t length = uint64_t{args.empty() ? 1 : args[0]} * row->per_char;
    column.max_length = static_cast<uint32_t>(std::min<uint64_t>(length, UINT32_MAX));
  }
  if (row->wire == kDecimalN || row->wire == kNumericN) {
    column.precision = static_cast<uint8_t>(args.empty() ? 18 : std::min<uint32_t>(args[0], 38));
    column.scale = static_cast<uint8_t>(args.size() < 2 ? 0 : std::min<uint32_t>(args[1], 38));
    column.max_length = DecimalLength(column.precision);
  }
  if (FindWire(column.type)->collation) column.collation = collation;
  return column;
}

void EncodeTypeInfo(Writer& w, const Column& column, Layout layout, bool table_name) {
  const WireInfo* info = FindWire(column.type);
  if (info == nullptr) throw EncodeError("column '" + column.name + "' has no wire type");
  // TDS 7.1 declares at most 8,000 bytes for the two-byte-length types;
  // anything longer travels as text, ntext or image.
  uint32_t most = info->framing == Framing::kShortLength  ? kMaxShortLength
                  : info->framing == Framing::kLongLength ? UINT32_MAX
                  : info->framing == Framing::kFixed      ? info->size
                                                          : 255;
  if (column.max_length > most) {
    throw EncodeError("column '" + column.name + "' declares " + std::to_string(column.max_length) +
                      " bytes, more than its type carries");
  }
  w.U8(column.type);
  switch (info->framing) {
    case Framing::kByteLength:
      w.U8(static_cast<uint8_t>(column.max_length));
      break;
    case Framing::kDecimal:
      w.U8(static_cast<uint8_t>(column.max_length));
      w.U8(column.precision);
      w.U8(column.scale);
      break;
    case Framing::kShortLength:
      w.U16(static_cast<uint16_t>(column.max_length));
      break;
    case Framing::kLongLength:
      w.U32(column.max_length);
      break;
    case Framing::kFixed:
      break;
  }
  if (info->collation) w.Bytes(column.collation);
  if (table_name && info->framing == Framing::kLongLength) {
    if (layout == Layout::kTds72) w.U8(1);  // one part
    w.UsVarChar(column.table_name);
  }
}

Column DecodeTypeInfo(Reader& r, Layout layout, bool table_name) {
  Column column;
  column.type = r.U8();
  const WireInfo* info = FindWire(column.type);
  if (info == nullptr) {
    throw DecodeError("column type " + std::to_string(column.type) + " is not known");
  }
  switch (info->framing) {
    case Framing::kByteLength:
      column.max_length = r.U8();
      break;
    case Framing::kDecimal:
      column.max_length = r.U8();
      column.precision = r.U8();
      column.scale = r.U8();
      if (column.scale > 38 || column.precision > 38) {
        throw DecodeError("decimal column with precision " + std::to_string(column.precision) +
                          " and scale " + std::to_string(column.scale));
      }
      break;
    case Framing::kShortLength:
      column.max_length = r.U16();
      break;
    case Framing::kLongLength:
      column.max_length = r.U32();
      break;
    case Framing::kFixed:
      column.max_length = info->size;
      break;
  }
  if (info->collation) {
    auto bytes = r.Bytes(5);
    std::copy(bytes.begin(), bytes.end(), column.collation.begin());
  }
  if (table_name && info->framing == Framing::kLongLength) {
    int parts = layout == Layout::kTds72 ? r.U8() : 1;
    for (int p = 0; p < parts; ++p) {
      std::string part = r.UsVarChar();
      column.table_name += (p == 0 ? "" : ".") + part;
    }
  }
  return column;
}

std::string SqlTypeOf(const Column& column) {
  const uint32_t n = column.max_length;
  auto bad = [&]() -> std::string {
    throw DecodeError("a parameter of type " + std::to_string(column.type) + " declared " +
                      std::to_string(n) + " bytes long");
  };
  auto sized = [&](const char* name, uint32_t per_char) {
    if (n == 0 || n > kMaxShortLength || n % per_char != 0) bad();
    return std::string(name) + "(" + std::to_string(n / per_char) + ")";
  };
  auto decimal = [&](const char* name) {
    if (column.precision < 1 || column.scale > column.precision) bad();
    return std::string(name) + "(" + std::to_string(column.precision) + "," +
           std::to_string(column.scale) + ")";
  };
  switch (ValueType(column.type)) {
    case kIntN:
      if (n == 1) return "tinyint";
      if (n == 2) return "smallint";
      if (n == 4) return "int";
      if (n == 8) return "bigint";
      return bad();
    case kBitN:
      return n == 1 ? "bit" : bad();
    case kFloatN:
      return n == 4 ? "real" : n == 8 ? "float" : bad();
    case kMoneyN:
      return n == 4 ? "smallmoney" : n == 8 ? "money" : bad();
    case kDateTimeN:
      return n == 4 ? "smalldatetime" : n == 8 ? "datetime" : bad();
    case kGuid:
      return n == 16 ? "uniqueidentifier" : bad();
    case kDecimalN:
      return decimal("decimal");
    case kNumericN:
      return decimal("numeric");
    case kBigChar:
      return sized("char", 1);
    case kBigVarChar:
      return sized("varchar", 1);
    case kNChar:
      return sized("nchar", 2);
    case kNVarChar:
      return sized("nvarchar", 2);
    case kBigBinary:
      return sized("binary", 1);
    case kBigVarBinary:
      return sized("varbinary", 1);
    case kText:
      return "text";
    case kNText:
      return "ntext";
    case kImage:
      return "image";
    default:
      return bad();
  }
}

void EncodeColMetadata(Writer& w, const std::vector<Column>& columns, Layout layout) {
  // The count has 16 bits and 0xFFFF means "no metadata".
  if (columns.size() >= 0xFFFF) {
    throw EncodeError(std::to_string(columns.size()) + " columns are more than a result carries");
  }
  w.U8(0x81);
  w.U16(static_cast<uint16_t>(columns.size()));
  for (const Column& column : columns) {
    // A name is a one-byte count of UTF-16 units.
    if (Utf8ToUcs2(column.name).size() > 2 * 255) {
      throw EncodeError("column name '" + column.name.substr(0, 32) + "...' is too long to send");
    }
    if (layout == Layout::kTds72) {
      w.U32(0);
    } else {
      w.U16(0);  // user type
    }
    w.U16(column.flags);
    EncodeTypeInfo(w, column, layout, true);
    w.BVarChar(column.name);
  }
}

std::vector<Column> DecodeColMetadata(Reader& r, Layout layout) {
  uint16_t count = r.U16();
  std::vector<Column> columns;
  // 0xFFFF means no metadata (7.2 and later); nothing to read then.
  if (count == 0xFFFF) return columns;
  for (uint16_t i = 0; i < count; ++i) {
    if (layout == Layout::kTds72) {
      r.U32();
    } else {
      r.U16();
    }
    uint16_t flags = r.U16();
    Column column = DecodeTypeInfo(r, layout, true);
    column.flags = flags;
    column.name = r.BVarChar();
    columns.push_back(std::move(column));
  }
  return columns;
}

}  // namespace server::tds
