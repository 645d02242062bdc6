// Values of result columns and procedure parameters in their wire forms.

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>
#include <variant>

#include "base/utf.h"
#include "server/tds/columns.h"
#include "server/tds/wire_types.h"
#include "server/types/cell_text.h"
#include "server/types/datetime.h"
#include "server/types/decimal.h"

namespace server::tds {

namespace {

// Character data travels in the collation's single-byte code page; a
// character it cannot hold becomes '?'.
std::string Utf8ToLatin1(std::string_view utf8) {
  std::string out;
  out.reserve(utf8.size());
  for (size_t pos = 0; pos < utf8.size();) {
    size_t start = pos;
    std::optional<char32_t> c = base::NextCodePoint(utf8, pos);
    if (!c) throw EncodeError("text to send is not UTF-8 (byte " + std::to_string(start) + ")");
    out += *c <= 0xFF ? static_cast<char>(*c) : '?';
  }
  return out;
}

std::string Latin1ToUtf8(std::span<const uint8_t> bytes) {
  std::string out;
  out.reserve(bytes.size());
  for (uint8_t b : bytes) base::AppendUtf8(out, b);
  return out;
}

[[noreturn]] void Mismatch(const Column& column, const char* why) {
  throw EncodeError("column '" + column.name + "' (type 0x" + [&] {
    char hex[3];
    std::snprintf(hex, sizeof hex, "%02X", column.type);
    return std::string(hex);
  }() + "): " + why);
}

// Values sent as text keep every digit of a float, so the client can read
// back the same number.
std::string TextOf(const Value& value) { return CellText(value, kExactFloatDigits); }

int64_t IntegerOf(const Column& column, const Value& value) {
  if (auto* i = std::get_if<int64_t>(&value)) return *i;
  if (auto* d = std::get_if<double>(&value)) return static_cast<int64_t>(*d);
  Mismatch(column, "an integer column holds a value that is not a number");
}

double DoubleOf(const Column& column, const Value& value) {
  if (auto* d = std::get_if<double>(&value)) return *d;
  if (auto* i = std::get_if<int64_t>(&value)) return static_cast<double>(*i);
  Mismatch(column, "a float column holds a value that is not a number");
}

// The value times 10^scale as a signed 128-bit integer, from its exact text.
__int128 ScaledOf(const Column& column, const Value& value, int scale) {
  std::string text = TextOf(value);
  std::optional<DecimalParts> parts = ParseDecimal(text);
  if (!parts) Mismatch(column, ("'" + text + "' is not an exact number").c_str());
  std::string digits = parts->whole + parts->fraction.substr(0, scale);
  digits.append(scale - std::min<size_t>(scale, parts->fraction.size()), '0');
  unsigned __int128 magnitude = 0;
  for (char c : digits) {
    if (magnitude > (~static_cast<unsigned __int128>(0) >> 1) / 10) {
      Mismatch(column, ("'" + text + "' is too large").c_str());
    }
    magnitude = magnitude * 10 + (c - '0');
  }
  __int128 signed_value = static_cast<__int128>(magnitude);
  return parts->negative ? -signed_value : signed_value;
}

std::string ScaledText(__int128 value, int scale) {
  bool negative = value < 0;
  unsigned __int128 magnitude = negative ? static_cast<unsigned __int128>(-(value + 1)) + 1 : value;
  std::string digits;
  do {
    digits.insert(digits.begin(), static_cast<char>('0' + static_cast<int>(magnitude % 10)));
    magnitude /= 10;
  } while (magnitude != 0);
  if (scale > 0) {
    if (digits.size() <= static_cast<size_t>(scale)) {
      digits.insert(0, scale + 1 - digits.size(), '0');
    }
    digits.insert(digits.size() - scale, ".");
  }
  return (negative ? "-" : "") + digits;
}

void EncodeGuid(Writer& w, const Column& column, const std::string& text) {
  // 8-4-4-4-12 hex digits; the first three groups go little-endian.
  std::vector<uint8_t> bytes;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '-') continue;
    if (i + 1 >= text.size() || !std::isxdigit(static_cast<unsigned char>(text[i])) ||
        !std::isxdigit(static_cast<unsigned char>(text[i + 1]))) {
      Mismatch(column, ("'" + text + "' is not a uniqueidentifier").c_str());
    }
    bytes.push_back(static_cast<uint8_t>(std::stoi(text.substr(i, 2), nullptr, 16)));
    ++i;
  }
  if (bytes.size() != 16 || text.size() != 36) {
    Mismatch(column, ("'" + text + "' is not a uniqueidentifier").c_str());
  }
  const int order[16] = {3, 2, 1, 0, 5, 4, 7, 6, 8, 9, 10, 11, 12, 13, 14, 15};
  w.U8(16);
  for (int k : order) w.U8(bytes[k]);
}

std::string DecodeGuid(std::span<const uint8_t> b) {
  const int order[16] = {3, 2, 1, 0, 5, 4, 7, 6, 8, 9, 10, 11, 12, 13, 14, 15};
  static const char kHex[] = "0123456789ABCDEF";
  std::string text;
  for (int i = 0; i < 16; ++i) {
    if (i == 4 || i == 6 || i == 8 || i == 10) text += '-';
    text += kHex[b[order[i]] >> 4];
    text += kHex[b[order[i]] & 0xF];
  }
  return text;
}

void EncodeDateTime(Writer& w, const Column& column, const std::string& text) {
  DateTime value;
  if (ParseDateTime(text, value) != DateParse::kOk) {
    Mismatch(column, ("'" + text + "' is not a datetime").c_str());
  }
  // Values made by this server are already rounded; one stored by an older
  // version may not be, and must still never go out as 24:00.
  if (column.max_length == 4) {
    value = RoundToMinute(value);
    w.U8(4);
    w.U16(static_cast<uint16_t>(value.days));
    w.U16(static_cast<uint16_t>(value.ms / 60000));
  } else {
    value = RoundToTicks(value);
    w.U8(8);
    w.U32(static_cast<uint32_t>(static_cast<int32_t>(value.days)));
    w.U32(static_cast<uint32_t>(TicksOfDay(value.ms)));
  }
}

void EncodeCharacter(Writer& w, const Column& column, const Value& value) {
  std::string bytes;
  if (auto* b = std::get_if<std::vector<uint8_t>>(&value)) {
    bytes.assign(b->begin(), b->end());
  } else {
    std::string text = TextOf(value);
    bool unicode = column.type == kNVarChar || column.type == kNChar || column.type == kNText;
    bytes = unicode ? Utf8ToUcs2(text) : Utf8ToLatin1(text);
  }
  if (FindWire(column.type)->framing == Framing::kLongLength) {
    w.U8(16);
    for (int i = 0; i < 16; ++i) w.U8(0);  // text pointer: clients only test its length
    for (int i = 0; i < 8; ++i) w.U8(0);   // timestamp
    w.U32(static_cast<uint32_t>(bytes.size()));
  } else {
    if (bytes.size() > column.max_length || bytes.size() >= 0xFFFF) {
      Mismatch(column, "a value is longer than its column");
    }
    w.U16(static_cast<uint16_t>(bytes.size()));
  }
  w.Bytes(bytes);
}

// A value in one of the forms only clients send: made in the form of the
// type it stands for, then framed as the older form frames it.
void EncodeOlderForm(Writer& w, const Column& column, const WireInfo& info, const Value& value) {
  Column modern = column;
  modern.type = info.same_as;
  Writer body;
  EncodeValue(body, modern, value);
  std::span<const uint8_t> bytes(body.bytes());
  if (info.framing == Framing::kFixed) {
    if (std::holds_alternative<std::monostate>(value))
      Mismatch(column, "a fixed-length type is NULL");
    w.Bytes(bytes.subspan(1));
  } else if (FindWire(info.same_as)->framing == Framing::kShortLength) {
    size_t length = std::holds_alternative<std::monostate>(value) ? 0 : bytes.size() - 2;
    if (length > 255) Mismatch(column, "a value is longer than its column");
    w.U8(static_cast<uint8_t>(length));
    w.Bytes(bytes.subspan(2));
  } else {
    w.Bytes(bytes);
  }
}

}  // namespace

void EncodeValue(Writer& w, const Column& column, const Value& value) {
  const WireInfo* info = FindWire(column.type);
  if (info->same_as != 0) return EncodeOlderForm(w, column, *info, value);
  if (std::holds_alternative<std::monostate>(value)) {
    if (info->framing == Framing::kShortLength) {
      w.U16(0xFFFF);
    } else {
      w.U8(0);  // a zero length, or a zero-length text pointer
    }
    return;
  }
  switch (column.type) {
    case kIntN: {
      int64_t v = IntegerOf(column, value);
      w.U8(static_cast<uint8_t>(column.max_length));
      if (column.max_length == 1) w.U8(static_cast<uint8_t>(v));
      if (column.max_length == 2) w.U16(static_cast<uint16_t>(v));
      if (column.max_length == 4) w.U32(static_cast<uint32_t>(v));
      if (column.max_length == 8) w.U64(static_cast<uint64_t>(v));
      return;
    }
    case kBitN:
      w.U8(1);
      w.U8(IntegerOf(column, value) != 0 ? 1 : 0);
      return;
    case kFloatN: {
      double v = DoubleOf(column, value);
      if (column.max_length == 4) {
        float f = static_cast<float>(v);
        uint32_t bits;
        std::memcpy(&bits, &f, 4);
        w.U8(4);
        w.U32(bits);
      } else {
        uint64_t bits;
        std::memcpy(&bits, &v, 8);
        w.U8(8);
        w.U64(bits);
      }
      return;
    }
    case kMoneyN: {
      int64_t v = static_cast<int64_t>(ScaledOf(column, value, 4));
      if (column.max_length == 4) {
        w.U8(4);
        w.U32(static_cast<uint32_t>(static_cast<int32_t>(v)));
      } else {
        // Money is two 32-bit halves, the high one first.
        w.U8(8);
        w.U32(static_cast<uint32_t>(static_cast<uint64_t>(v) >> 32));
        w.U32(static_cast<uint32_t>(static_cast<uint64_t>(v) & 0xFFFFFFFFu));
      }
      return;
    }
    case kDateTimeN:
      EncodeDateTime(w, column, TextOf(value));
      return;
    case kGuid:
      EncodeGuid(w, column, TextOf(value));
      return;
    case kDecimalN:
    case kNumericN: {
      __int128 v = ScaledOf(column, value, column.scale);
      unsigned __int128 magnitude =
          v < 0 ? static_cast<unsigned __int128>(-(v + 1)) + 1 : static_cast<unsigned __int128>(v);
      uint8_t length = DecimalLength(column.precision);
      if (length < 17 && (magnitude >> (8 * (length - 1))) != 0) {
        Mismatch(column, "a value exceeds its column's precision");
      }
      w.U8(length);
      w.U8(v < 0 ? 0 : 1);
      for (int i = 0; i < length - 1; ++i) w.U8(static_cast<uint8_t>(magnitude >> (8 * i)));
      return;
    }
    case kBigBinary:
    case kBigVarBinary:
    case kImage: {
      std::vector<uint8_t> bytes;
      if (auto* b = std::get_if<std::vector<uint8_t>>(&value)) {
        bytes = *b;
      } else if (auto* s = std::get_if<std::string>(&value)) {
        bytes.assign(s->begin(), s->end());
      } else {
        Mismatch(column, "a binary column holds a number");
      }
      if (column.type == kImage) {
        w.U8(16);
        for (int i = 0; i < 24; ++i) w.U8(0);
        w.U32(static_cast<uint32_t>(bytes.size()));
      } else {
        if (bytes.size() > column.max_length) Mismatch(column, "a value is longer than its column");
        w.U16(static_cast<uint16_t>(bytes.size()));
      }
      w.Bytes(bytes);
      return;
    }
    default:
      EncodeCharacter(w, column, value);
      return;
  }
}

namespace {

Value DecodeValue(Reader& r, const Column& column) {
  const WireInfo* info = FindWire(column.type);
  size_t length = 0;
  switch (info->framing) {
    case Framing::kByteLength:
    case Framing::kDecimal:
      length = r.U8();
      if (length == 0) return std::monostate();
      break;
    case Framing::kShortLength:
      length = r.U16();
      if (length == 0xFFFF) return std::monostate();
      break;
    case Framing::kLongLength: {
      uint8_t pointer = r.U8();
      if (pointer == 0) return std::monostate();
      r.Bytes(pointer);
      r.Bytes(8);
      length = r.U32();
      break;
    }
    case Framing::kFixed:
      length = info->size;
      break;
  }
  auto bytes = r.Bytes(length);
  Reader v(bytes);
  auto expect = [&](std::initializer_list<size_t> sizes) {
    for (size_t s : sizes) {
      if (s == length) return;
    }
    throw DecodeError("column '" + column.name + "' has a value of " + std::to_string(length) +
                      " bytes");
  };
  switch (ValueType(column.type)) {
    case kIntN:
      expect({1, 2, 4, 8});
      if (length == 1) return int64_t{v.U8()};
      if (length == 2) return int64_t{static_cast<int16_t>(v.U16())};
      if (length == 4) return int64_t{static_cast<int32_t>(v.U32())};
      return static_cast<int64_t>(v.U64());
    case kBitN:
      expect({1});
      return int64_t{v.U8() != 0};
    case kFloatN: {
      expect({4, 8});
      if (length == 4) {
        uint32_t bits = v.U32();
        float f;
        std::memcpy(&f, &bits, 4);
        return double{f};
      }
      uint64_t bits = v.U64();
      double d;
      std::memcpy(&d, &bits, 8);
      return d;
    }
    case kMoneyN: {
      expect({4, 8});
      if (length == 4) return ScaledText(static_cast<int32_t>(v.U32()), 4);
      uint64_t high = v.U32();
      uint64_t low = v.U32();
      return ScaledText(static_cast<int64_t>((high << 32) | low), 4);
    }
    case kDateTimeN: {
      expect({4, 8});
      DateTime value;
      if (length == 4) {
        value.days = v.U16();
        value.ms = int64_t{v.U16()} * 60000;
      } else {
        value.days = static_cast<int32_t>(v.U32());
        value.ms = (int64_t{v.U32()} * 1000 + 150) / 300;
      }
      return FormatDateTime(value);
    }
    case kGuid:
      expect({16});
      return DecodeGuid(bytes);
    case kDecimalN:
    case kNumericN: {
      // A sign and the magnitude, which clients may cut to the bytes their
      // precision needs; the server itself sends 5, 9, 13 or 17.
      if (length < 2 || length > 17) expect({5, 9, 13, 17});
      bool positive = v.U8() != 0;
      unsigned __int128 magnitude = 0;
      for (size_t i = 0; i + 1 < length; ++i) {
        magnitude |= static_cast<unsigned __int128>(v.U8()) << (8 * i);
      }
      __int128 value = static_cast<__int128>(magnitude);
      return ScaledText(positive ? value : -value, column.scale);
    }
    case kBigBinary:
    case kBigVarBinary:
    case kImage:
      return std::vector<uint8_t>(bytes.begin(), bytes.end());
    case kNVarChar:
    case kNChar:
    case kNText:
      return Ucs2ToUtf8(bytes);
    default:
      return Latin1ToUtf8(bytes);
  }
}

}  // namespace

Value DecodeParameterValue(Reader& r, const Column& column) {
  if (FindWire(column.type)->framing != Framing::kLongLength) return DecodeValue(r, column);
  // Parameters send text, ntext and image without a text pointer.
  uint32_t length = r.U32();
  if (length == 0xFFFFFFFFu) return std::monostate();
  auto bytes = r.Bytes(length);
  if (column.type == kImage) return std::vector<uint8_t>(bytes.begin(), bytes.end());
  return column.type == kNText ? Ucs2ToUtf8(bytes) : Latin1ToUtf8(bytes);
}

void EncodeParameterValue(Writer& w, const Column& column, const Value& value) {
  if (FindWire(column.type)->framing != Framing::kLongLength) return EncodeValue(w, column, value);
  if (std::holds_alternative<std::monostate>(value)) return w.U32(0xFFFFFFFFu);
  Writer body;
  EncodeValue(body, column, value);
  // Drop the text pointer and timestamp the row form puts in front.
  w.Bytes(std::span<const uint8_t>(body.bytes()).subspan(1 + 16 + 8));
}

void EncodeRow(Writer& w, const std::vector<Column>& columns, const std::vector<Value>& row) {
  if (row.size() != columns.size()) {
    throw EncodeError("a row of " + std::to_string(row.size()) + " values for " +
                      std::to_string(columns.size()) + " columns");
  }
  w.U8(0xD1);
  for (size_t i = 0; i < columns.size(); ++i) EncodeValue(w, columns[i], row[i]);
}

std::vector<Value> DecodeRow(Reader& r, const std::vector<Column>& columns) {
  std::vector<Value> row;
  row.reserve(columns.size());
  for (const Column& column : columns) row.push_back(DecodeValue(r, column));
  return row;
}

}  // namespace server::tds
