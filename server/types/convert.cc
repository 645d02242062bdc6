// Conversions between SQL Server's data types, as an assignment (INSERT,
// UPDATE, a procedure parameter) or CAST performs them.

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>

#include "base/utf.h"
#include "server/types/collation.h"
#include "server/types/date_style.h"
#include "server/types/datetime.h"
#include "server/types/decimal.h"
#include "server/types/scalar.h"

namespace server {

namespace {

// How a conversion was asked for.
struct Request {
  // CAST or CONVERT: allowed from character data to binary, and a character
  // or binary result that is too long is cut to the target's length instead
  // of failing with 8152.
  bool explicit_cast = false;
  // CONVERT's style argument, when given.
  std::optional<int> style;
};

// Conversion messages call both exact types "numeric", as SQL Server does.
const char* Name(const DataType& type) {
  return type.base == BaseType::kDecimal ? "numeric" : Info(type.base).name;
}

SqlError Clash(const DataType& from, const DataType& to) {
  return Raise(Msg::kOperandClash, {Name(from), Name(to)});
}

SqlError Implicit(const DataType& from, const DataType& to) {
  return Raise(Msg::kImplicitConversion, {Name(from), Name(to)});
}

SqlError Overflow(const DataType& from, const DataType& to) {
  return Raise(Msg::kArithmeticOverflowConvert, {Name(from), Name(to)});
}

bool HoldsExpected(const Scalar& s) {
  switch (Family(s.type)) {
    case TypeFamily::kInteger:
      return std::holds_alternative<int64_t>(s.value);
    case TypeFamily::kApprox:
      return std::holds_alternative<double>(s.value);
    case TypeFamily::kBinary:
    case TypeFamily::kImage:
      return std::holds_alternative<std::vector<uint8_t>>(s.value);
    case TypeFamily::kVariant:
      return false;
    default:
      return std::holds_alternative<std::string>(s.value);
  }
}

std::string Trim(std::string_view text) {
  size_t b = text.find_first_not_of(" \t\r\n");
  if (b == std::string_view::npos) return "";
  size_t e = text.find_last_not_of(" \t\r\n");
  return std::string(text.substr(b, e - b + 1));
}

int IntegerBytes(BaseType base) {
  switch (base) {
    case BaseType::kBit:
    case BaseType::kTinyInt:
      return 1;
    case BaseType::kSmallInt:
      return 2;
    case BaseType::kInt:
      return 4;
    default:
      return 8;
  }
}

bool IntegerFits(int64_t v, BaseType base) {
  // Any number converts to bit (nonzero is 1).
  return base == BaseType::kBit || IntegerInRange(v, base);
}

std::vector<uint8_t> BigEndian(uint64_t v, int bytes) {
  std::vector<uint8_t> out(bytes);
  for (int i = bytes - 1; i >= 0; --i) {
    out[i] = static_cast<uint8_t>(v & 0xff);
    v >>= 8;
  }
  return out;
}

// nchar and nvarchar data as bytes: UTF-16 little-endian, as the server
// stores it. Text in the engine is UTF-8 throughout; anything else is a
// defect, reported rather than guessed at.
Status Utf16Le(std::string_view text, std::vector<uint8_t>& out) {
  std::optional<std::u16string> utf16 = base::Utf8ToUtf16(text);
  if (!utf16) return Raise(Msg::kInternalError, {"a text value is not UTF-8"});
  std::string bytes = base::ToLittleEndian(*utf16);
  out.assign(bytes.begin(), bytes.end());
  return std::nullopt;
}

// The bytes of character data: UTF-16 for the Unicode types, the text's own
// bytes for the others.
Status CharacterBytes(const Scalar& in, std::vector<uint8_t>& out) {
  const std::string& text = std::get<std::string>(in.value);
  if (Info(in.type.base).unicode) return Utf16Le(text, out);
  out.assign(text.begin(), text.end());
  return std::nullopt;
}

std::vector<uint8_t> FitNumberBytes(std::vector<uint8_t> bytes, const DataType& target) {
  size_t n = static_cast<size_t>(target.length);
  if (bytes.size() > n) bytes.erase(bytes.begin(), bytes.end() - n);
  if (target.base != BaseType::kVarBinary && bytes.size() < n) {
    bytes.insert(bytes.begin(), n - bytes.size(), 0);
  }
  return bytes;
}

// float and real as text. Style 0 writes at most 6 digits, in scientific
// notation when needed; 1 always 8 digits and 2 always 16, both scientific;
// 126 is 2 for float and 1 for real. Other styles count as 0.
std::string FormatFloat(double v, int style = 0, bool real = false) {
  if (style == 126) style = real ? 1 : 2;
  char buffer[64];
  if (style == 1) {
    std::snprintf(buffer, sizeof buffer, "%.7e", v);
  } else if (style == 2) {
    std::snprintf(buffer, sizeof buffer, "%.15e", v);
  } else {
    std::snprintf(buffer, sizeof buffer, "%.6g", v);
  }
  std::string text = buffer;
  // SQL Server writes three exponent digits: 1.23457e+006.
  size_t e = text.find('e');
  if (e != std::string::npos && text.size() - e == 4) text.insert(e + 2, "0");
  return text;
}

// money and smallmoney as text. Style 0 writes two decimals, 1 two decimals
// and commas every three digits, 2 (and 126) four decimals. Other styles
// count as 0.
std::string FormatMoney(const std::string& exact, int style = 0) {
  std::optional<DecimalParts> parts = ParseDecimal(exact);
  if (!parts) return exact;
  int scale = style == 2 || style == 126 ? 4 : 2;
  std::string text = FormatDecimal(*parts, 38, scale).value_or(exact);
  if (style == 1) {
    size_t start = text[0] == '-' ? 1 : 0;
    size_t point = text.find('.');
    for (size_t i = point; i > start + 3; i -= 3) text.insert(i - 3, ",");
  }
  return text;
}

Status ReadDateTime(const Scalar& in, DateTime& out) {
  if (ParseDateTime(std::get<std::string>(in.value), out) != DateParse::kOk) {
    return Raise(Msg::kDatetimeSyntax);
  }
  return std::nullopt;
}

// Days (with a fraction) as a datetime.
Status DateFromNumber(double days, const DataType& from, const DataType& to, DateTime& out) {
  double whole = std::floor(days);
  if (!(whole > -1e7 && whole < 1e7)) return Overflow(from, to);
  // The fraction rounds to datetime's 1/300-second ticks.
  out = FromTicks(static_cast<int64_t>(whole),
                  std::llround((days - whole) * static_cast<double>(kTicksPerDay)));
  return std::nullopt;
}

Status ToInteger(const Scalar& in, const DataType& target, bool explicit_cast, Value& out) {
  auto fit = [&](int64_t v, bool from_integer) -> Status {
    if (!IntegerFits(v, target.base)) {
      if (from_integer) {
        return Raise(Msg::kArithmeticOverflowType, {Name(target), std::to_string(v)});
      }
      return Overflow(in.type, target);
    }
    out = target.base == BaseType::kBit ? int64_t{v != 0} : v;
    return std::nullopt;
  };
  switch (Family(in.type)) {
    case TypeFamily::kInteger:
      return fit(std::get<int64_t>(in.value), true);
    case TypeFamily::kExact:
    case TypeFamily::kMoney: {
      std::optional<DecimalParts> parts = ParseDecimal(std::get<std::string>(in.value));
      if (!parts) return Raise(Msg::kConvertError, {Name(in.type), Name(target)});
      std::optional<int64_t> v = TruncateToInt(*parts);
      if (!v) return Overflow(in.type, target);
      return fit(*v, false);
    }
    case TypeFamily::kApprox: {
      // A float that does not fit names its value, as "%f" writes it.
      double d = std::trunc(std::get<double>(in.value));
      if (!(d >= -9.2e18 && d <= 9.2e18) || !IntegerFits(static_cast<int64_t>(d), target.base)) {
        char value[400];
        std::snprintf(value, sizeof value, "%f", std::get<double>(in.value));
        return Raise(Msg::kArithmeticOverflowValue, {Name(target), value});
      }
      return fit(static_cast<int64_t>(d), false);
    }
    case TypeFamily::kCharacter: {
      const std::string& text = std::get<std::string>(in.value);
      std::optional<DecimalParts> parts = ParseDecimal(text);
      if (!parts || !parts->fraction.empty() || Trim(text).find('.') != std::string::npos) {
        return Raise(Msg::kConvertSyntax, {Name(in.type), text, Name(target)});
      }
      std::optional<int64_t> v = TruncateToInt(*parts);
      if (!v) return Overflow(in.type, target);
      return fit(*v, false);
    }
    case TypeFamily::kBinary: {
      const auto& bytes = std::get<std::vector<uint8_t>>(in.value);
      int size = IntegerBytes(target.base);
      uint64_t raw = 0;
      size_t start = bytes.size() > static_cast<size_t>(size) ? bytes.size() - size : 0;
      for (size_t i = start; i < bytes.size(); ++i) raw = (raw << 8) | bytes[i];
      int64_t v;
      if (size == 8) {
        v = static_cast<int64_t>(raw);
      } else if (target.base == BaseType::kTinyInt || target.base == BaseType::kBit) {
        v = static_cast<int64_t>(raw);
      } else {
        uint64_t sign = uint64_t{1} << (size * 8 - 1);
        v = static_cast<int64_t>(raw ^ sign) - static_cast<int64_t>(sign);
      }
      return fit(v, false);
    }
    case TypeFamily::kDateTime: {
      if (!explicit_cast) return Implicit(in.type, target);
      DateTime dt;
      if (Status s = ReadDateTime(in, dt)) return s;
      return fit(dt.days + (dt.ms >= 43200000 ? 1 : 0), false);
    }
    default:
      return Clash(in.type, target);
  }
}

// Whether an exact value, as FormatDecimal writes it at four places, is
// inside money's or smallmoney's range (in ten-thousandths).
bool MoneyFits(std::string_view text, const DataType& target) {
  bool negative = !text.empty() && text[0] == '-';
  uint64_t limit = target.base == BaseType::kSmallMoney
                       ? 2147483647
                       : static_cast<uint64_t>(std::numeric_limits<int64_t>::max());
  if (negative) ++limit;
  uint64_t scaled = 0;
  for (char c : text) {
    if (!IsDigit(c)) continue;
    uint64_t digit = static_cast<uint64_t>(c - '0');
    if (scaled > (limit - digit) / 10) return false;
    scaled = scaled * 10 + digit;
  }
  return true;
}

// To decimal and numeric, at the target's precision and scale, and to money
// and smallmoney, at four places in their own range. Money also differs in
// what it reads: text with a currency sign and thousands separators, floats
// below 1e18 only, and no datetime.
Status ToExact(const Scalar& in, const DataType& target, bool explicit_cast, Value& out) {
  const bool money = Family(target) == TypeFamily::kMoney;
  const int precision = money ? 38 : target.precision;
  const int scale = money ? 4 : target.scale;
  std::optional<DecimalParts> parts;
  switch (Family(in.type)) {
    case TypeFamily::kInteger:
      parts = DecimalFromInt(std::get<int64_t>(in.value));
      break;
    case TypeFamily::kExact:
    case TypeFamily::kMoney:
      parts = ParseDecimal(std::get<std::string>(in.value));
      break;
    case TypeFamily::kApprox: {
      double d = std::get<double>(in.value);
      if (!std::isfinite(d) || std::fabs(d) >= (money ? 1e18 : 1e38)) {
        return Overflow(in.type, target);
      }
      // Two digits beyond the scale, so that rounding to it is exact.
      char buffer[128];
      std::snprintf(buffer, sizeof buffer, "%.*f", std::min(scale + 2, 30), d);
      parts = ParseDecimal(buffer);
      break;
    }
    case TypeFamily::kCharacter: {
      std::string text = std::get<std::string>(in.value);
      if (!money) {
        parts = ParseDecimal(text);
        break;
      }
      std::erase_if(text, [](char c) { return c == '$' || c == ','; });
      parts = ParseDecimal(text);
      if (!parts) return Raise(Msg::kMoneySyntax);
      break;
    }
    case TypeFamily::kDateTime: {
      if (!explicit_cast) return Implicit(in.type, target);
      if (money) return Clash(in.type, target);
      DateTime dt;
      if (Status s = ReadDateTime(in, dt)) return s;
      char buffer[64];
      std::snprintf(buffer, sizeof buffer, "%.8f",
                    static_cast<double>(dt.days) + dt.ms / 86400000.0);
      parts = ParseDecimal(buffer);
      break;
    }
    default:
      return Clash(in.type, target);
  }
  if (!parts) return Raise(Msg::kConvertError, {Name(in.type), Name(target)});
  std::optional<std::string> text = FormatDecimal(*parts, precision, scale);
  if (!text || (money && !MoneyFits(*text, target))) return Overflow(in.type, target);
  out = std::move(*text);
  return std::nullopt;
}

Status ToApprox(const Scalar& in, const DataType& target, Value& out) {
  double d = 0;
  switch (Family(in.type)) {
    case TypeFamily::kInteger:
      d = static_cast<double>(std::get<int64_t>(in.value));
      break;
    case TypeFamily::kExact:
    case TypeFamily::kMoney:
      d = std::strtod(std::get<std::string>(in.value).c_str(), nullptr);
      break;
    case TypeFamily::kApprox:
      d = std::get<double>(in.value);
      break;
    case TypeFamily::kCharacter: {
      std::string text = Trim(std::get<std::string>(in.value));
      char* end = nullptr;
      d = text.empty() ? 0 : std::strtod(text.c_str(), &end);
      bool bad = text.empty() || end != text.c_str() + text.size() ||
                 text.find_first_of("xXnN") != std::string::npos;  // no hex floats, inf or nan
      if (bad) return Raise(Msg::kConvertError, {Name(in.type), Name(target)});
      break;
    }
    case TypeFamily::kDateTime: {
      DateTime dt;
      if (Status s = ReadDateTime(in, dt)) return s;
      d = static_cast<double>(dt.days) + dt.ms / 86400000.0;
      break;
    }
    default:
      return Clash(in.type, target);
  }
  if (!std::isfinite(d)) return Overflow(in.type, target);
  if (target.base == BaseType::kReal) {
    if (std::fabs(d) > std::numeric_limits<float>::max()) return Overflow(in.type, target);
    d = static_cast<double>(static_cast<float>(d));
  }
  out = d;
  return std::nullopt;
}

// A date style this server can write and read: an undefined one is
// `undefined` (a 281 message), the Hijri ones are refused.
Status CheckDateStyle(int style, Msg undefined) {
  switch (ClassifyDateStyle(style)) {
    case DateStyle::kUndefined:
      return Raise(undefined, {std::to_string(style)});
    case DateStyle::kHijri:
      return Raise(Msg::kNotSupported, {"The Hijri date style " + std::to_string(style)});
    case DateStyle::kGregorian:
      break;
  }
  return std::nullopt;
}

// Cuts `text` to its first `count` characters (code points).
void CutCharacters(std::string& text, size_t count) {
  size_t i = 0;
  for (size_t seen = 0; i < text.size(); ++i) {
    if ((static_cast<unsigned char>(text[i]) & 0xC0) != 0x80 && seen++ == count) break;
  }
  text.resize(i);
}

Status ToCharacter(const Scalar& in, const DataType& target, const Request& request, Value& out) {
  bool explicit_cast = request.explicit_cast;
  int style = request.style.value_or(0);
  std::string text;
  switch (Family(in.type)) {
    case TypeFamily::kCharacter:
    case TypeFamily::kText:
    case TypeFamily::kExact:
    case TypeFamily::kGuid:
      text = std::get<std::string>(in.value);
      break;
    case TypeFamily::kMoney:
      text = FormatMoney(std::get<std::string>(in.value), style);
      break;
    case TypeFamily::kInteger:
      text = std::to_string(std::get<int64_t>(in.value));
      break;
    case TypeFamily::kApprox:
      text = FormatFloat(std::get<double>(in.value), style, in.type.base == BaseType::kReal);
      break;
    case TypeFamily::kDateTime: {
      DateTime dt;
      if (Status s = ReadDateTime(in, dt)) return s;
      if (Status s = CheckDateStyle(style, Msg::kDateStyleToText)) return s;
      text = FormatDateStyle(dt, style);
      break;
    }
    case TypeFamily::kBinary:
    case TypeFamily::kImage: {
      if (!explicit_cast) return Implicit(in.type, target);
      const auto& bytes = std::get<std::vector<uint8_t>>(in.value);
      text.assign(bytes.begin(), bytes.end());
      if (!base::IsValidUtf8(text)) {
        // Bytes that are not UTF-8 read as Latin-1 characters, so that
        // character data always stays valid text.
        text.clear();
        for (uint8_t b : bytes) base::AppendUtf8(text, b);
      }
      break;
    }
    default:
      return Clash(in.type, target);
  }
  TypeFamily from = Family(in.type);
  bool numeric = from == TypeFamily::kInteger || from == TypeFamily::kExact ||
                 from == TypeFamily::kMoney || from == TypeFamily::kApprox;
  size_t count = CharacterCount(text);
  size_t limit = static_cast<size_t>(target.length);
  if (count > limit) {
    // An integer that does not fit char or varchar becomes "*"; other
    // numbers, and integers into nchar or nvarchar, are an overflow. CAST and
    // CONVERT cut other text, but never a uniqueidentifier's.
    if (from == TypeFamily::kInteger && !Info(target.base).unicode) {
      text = "*";
      count = 1;
    } else if (numeric) {
      return Overflow(in.type, target);
    } else if (explicit_cast && from != TypeFamily::kGuid) {
      CutCharacters(text, limit);
      count = limit;
    } else {
      return Raise(Msg::kStringTruncated);
    }
  }
  if (target.base == BaseType::kChar || target.base == BaseType::kNChar)
    text.append(limit - count, ' ');
  out = std::move(text);
  return std::nullopt;
}

Status ToBinary(const Scalar& in, const DataType& target, bool explicit_cast, Value& out) {
  DataType dest = target;
  if (dest.base == BaseType::kTimestamp) dest = DataType{BaseType::kBinary, 8, 0, 0};
  std::vector<uint8_t> bytes;
  bool from_number = true;
  switch (Family(in.type)) {
    case TypeFamily::kInteger:
      bytes =
          BigEndian(static_cast<uint64_t>(std::get<int64_t>(in.value)), IntegerBytes(in.type.base));
      break;
    case TypeFamily::kMoney: {
      std::optional<DecimalParts> parts = ParseDecimal(std::get<std::string>(in.value));
      std::optional<int64_t> scaled = parts ? ScaledBy10000(*parts) : std::nullopt;
      if (!scaled) return Clash(in.type, target);
      bytes =
          BigEndian(static_cast<uint64_t>(*scaled), in.type.base == BaseType::kSmallMoney ? 4 : 8);
      break;
    }
    case TypeFamily::kApprox: {
      double d = std::get<double>(in.value);
      uint64_t raw = 0;
      if (in.type.base == BaseType::kReal) {
        float f = static_cast<float>(d);
        uint32_t r32 = 0;
        static_assert(sizeof f == sizeof r32);
        std::memcpy(&r32, &f, sizeof f);
        bytes = BigEndian(r32, 4);
      } else {
        std::memcpy(&raw, &d, sizeof d);
        bytes = BigEndian(raw, 8);
      }
      break;
    }
    case TypeFamily::kDateTime: {
      DateTime dt;
      if (Status s = ReadDateTime(in, dt)) return s;
      bytes = BigEndian(static_cast<uint32_t>(dt.days), 4);
      std::vector<uint8_t> ticks = BigEndian(static_cast<uint32_t>(TicksOfDay(dt.ms)), 4);
      bytes.insert(bytes.end(), ticks.begin(), ticks.end());
      break;
    }
    case TypeFamily::kGuid: {
      std::string canonical;
      if (!ParseGuid(std::get<std::string>(in.value), canonical)) return Raise(Msg::kGuidSyntax);
      std::string hex;
      for (char c : canonical) {
        if (c != '-') hex += c;
      }
      std::vector<uint8_t> raw;
      for (size_t i = 0; i < 32; i += 2)
        raw.push_back(static_cast<uint8_t>(std::stoi(hex.substr(i, 2), nullptr, 16)));
      // The first three groups are stored little-endian.
      bytes = {raw[3], raw[2], raw[1], raw[0], raw[5], raw[4], raw[7], raw[6]};
      bytes.insert(bytes.end(), raw.begin() + 8, raw.end());
      from_number = false;
      break;
    }
    case TypeFamily::kCharacter: {
      if (!explicit_cast) return Implicit(in.type, target);
      if (Status s = CharacterBytes(in, bytes)) return s;
      from_number = false;
      break;
    }
    case TypeFamily::kBinary:
    case TypeFamily::kImage:
      bytes = std::get<std::vector<uint8_t>>(in.value);
      from_number = false;
      break;
    default:
      return Clash(in.type, target);
  }
  if (from_number) {
    out = FitNumberBytes(std::move(bytes), dest);
    return std::nullopt;
  }
  size_t n = static_cast<size_t>(dest.length);
  if (bytes.size() > n) {
    if (!explicit_cast) return Raise(Msg::kStringTruncated);
    bytes.resize(n);
  }
  if (dest.base == BaseType::kBinary && bytes.size() < n) bytes.resize(n, 0);
  out = std::move(bytes);
  return std::nullopt;
}

Status ToImage(const Scalar& in, const DataType& target, Value& out) {
  switch (Family(in.type)) {
    case TypeFamily::kBinary:
    case TypeFamily::kImage:
      out = std::get<std::vector<uint8_t>>(in.value);
      return std::nullopt;
    case TypeFamily::kCharacter:
    case TypeFamily::kText: {
      std::vector<uint8_t> bytes;
      if (Status s = CharacterBytes(in, bytes)) return s;
      out = std::move(bytes);
      return std::nullopt;
    }
    default:
      return Clash(in.type, target);
  }
}

Status ToDateTime(const Scalar& in, const DataType& target, const Request& request, Value& out) {
  DateTime dt;
  bool from_text = false;
  switch (Family(in.type)) {
    case TypeFamily::kCharacter: {
      from_text = true;
      // A style names the order of the text's day, month and year.
      DateOrder order = DateOrder::kMdy;
      if (request.style) {
        if (Status s = CheckDateStyle(*request.style, Msg::kDateStyleToDatetime)) return s;
        order = DateStyleOrder(*request.style);
      }
      DateParse parsed = ParseDateTime(std::get<std::string>(in.value), dt, order);
      if (parsed == DateParse::kSyntax) return Raise(Msg::kDatetimeSyntax);
      if (parsed == DateParse::kRange) return Raise(Msg::kDatetimeRange);
      break;
    }
    case TypeFamily::kDateTime:
      if (Status s = ReadDateTime(in, dt)) return s;
      break;
    case TypeFamily::kInteger:
      if (Status s =
              DateFromNumber(static_cast<double>(std::get<int64_t>(in.value)), in.type, target, dt))
        return s;
      break;
    case TypeFamily::kExact:
    case TypeFamily::kMoney:
      if (Status s = DateFromNumber(std::strtod(std::get<std::string>(in.value).c_str(), nullptr),
                                    in.type, target, dt))
        return s;
      break;
    case TypeFamily::kApprox:
      if (Status s = DateFromNumber(std::get<double>(in.value), in.type, target, dt)) return s;
      break;
    default:
      return Clash(in.type, target);
  }
  // Rounding may carry into the next day, and so out of range.
  if (target.base == BaseType::kSmallDateTime) {
    dt = RoundToMinute(dt);
    if (!InSmallDateTimeRange(dt)) {
      return from_text ? Raise(Msg::kSmallDatetimeRange) : Overflow(in.type, target);
    }
  } else {
    dt = RoundToTicks(dt);
    if (!InDateTimeRange(dt)) {
      return from_text ? Raise(Msg::kDatetimeRange) : Overflow(in.type, target);
    }
  }
  out = FormatDateTime(dt);
  return std::nullopt;
}

Status ToGuid(const Scalar& in, const DataType& target, Value& out) {
  switch (Family(in.type)) {
    case TypeFamily::kCharacter:
    case TypeFamily::kGuid: {
      std::string canonical;
      if (!ParseGuid(std::get<std::string>(in.value), canonical)) return Raise(Msg::kGuidSyntax);
      out = std::move(canonical);
      return std::nullopt;
    }
    case TypeFamily::kBinary: {
      std::vector<uint8_t> b = std::get<std::vector<uint8_t>>(in.value);
      b.resize(16, 0);
      static constexpr int kOrder[] = {3,  2, 1, 0,  -1, 5,  4,  -1, 7,  6,
                                       -1, 8, 9, -1, 10, 11, 12, 13, 14, 15};
      static constexpr char kHex[] = "0123456789ABCDEF";
      std::string text;
      for (int i : kOrder) {
        if (i < 0) {
          text += '-';
        } else {
          text += kHex[b[i] >> 4];
          text += kHex[b[i] & 15];
        }
      }
      out = std::move(text);
      return std::nullopt;
    }
    default:
      return Clash(in.type, target);
  }
}

}  // namespace

Scalar Coherent(const Scalar& in) {
  if (in.is_null() || HoldsExpected(in)) return in;
  return Scalar{NaturalType(in.value), in.value};
}

Scalar NullScalar() { return Scalar{DefaultType(BaseType::kInt), std::monostate{}, true}; }

Scalar IntScalar(int64_t value, BaseType base) { return Scalar{DefaultType(base), value}; }

Scalar StringScalar(std::string text, bool unicode) {
  DataType type{unicode ? BaseType::kNVarChar : BaseType::kVarChar, 0, 0, 0};
  type.length = static_cast<int>(CharacterCount(text));
  if (type.length == 0) type.length = 1;
  return Scalar{type, std::move(text)};
}

Scalar FloatScalar(double value) { return Scalar{DefaultType(BaseType::kFloat), value}; }

Scalar BinaryScalar(std::vector<uint8_t> bytes) {
  DataType type{BaseType::kVarBinary, static_cast<int>(bytes.size() ? bytes.size() : 1), 0, 0};
  return Scalar{type, std::move(bytes)};
}

DataType NaturalType(const Value& value) {
  if (std::holds_alternative<int64_t>(value)) return DefaultType(BaseType::kBigInt);
  if (std::holds_alternative<double>(value)) return DefaultType(BaseType::kFloat);
  if (const auto* bytes = std::get_if<std::vector<uint8_t>>(&value)) {
    return DataType{BaseType::kVarBinary, static_cast<int>(bytes->size() ? bytes->size() : 1), 0,
                    0};
  }
  if (const auto* text = std::get_if<std::string>(&value)) {
    return DataType{BaseType::kVarChar, static_cast<int>(text->size() ? text->size() : 1), 0, 0};
  }
  return DefaultType(BaseType::kInt);
}

namespace {

Status ConvertAs(const Scalar& raw, const DataType& target, const Request& request, Value& out) {
  bool explicit_cast = request.explicit_cast;
  if (raw.is_null()) {
    out = std::monostate{};
    return std::nullopt;
  }
  // Most values already hold what their type expects: they are converted
  // as they are, without a copy.
  std::optional<Scalar> coherent;
  if (!HoldsExpected(raw)) coherent = Coherent(raw);
  const Scalar& in = coherent ? *coherent : raw;
  switch (Family(target)) {
    case TypeFamily::kInteger:
      return ToInteger(in, target, explicit_cast, out);
    case TypeFamily::kExact:
    case TypeFamily::kMoney:
      return ToExact(in, target, explicit_cast, out);
    case TypeFamily::kApprox:
      return ToApprox(in, target, out);
    case TypeFamily::kCharacter:
      return ToCharacter(in, target, request, out);
    case TypeFamily::kText: {
      TypeFamily from = Family(in.type);
      if (from != TypeFamily::kCharacter && from != TypeFamily::kText)
        return Clash(in.type, target);
      out = std::get<std::string>(in.value);
      return std::nullopt;
    }
    case TypeFamily::kBinary:
      return ToBinary(in, target, explicit_cast, out);
    case TypeFamily::kImage:
      return ToImage(in, target, out);
    case TypeFamily::kDateTime:
      return ToDateTime(in, target, request, out);
    case TypeFamily::kGuid:
      return ToGuid(in, target, out);
    case TypeFamily::kVariant: {
      TypeFamily from = Family(in.type);
      if (from == TypeFamily::kText || from == TypeFamily::kImage ||
          in.type.base == BaseType::kTimestamp) {
        return Clash(in.type, target);
      }
      out = in.value;
      return std::nullopt;
    }
  }
  return Clash(in.type, target);
}

}  // namespace

Status Convert(const Scalar& in, const DataType& target, bool explicit_cast, Value& out) {
  return ConvertAs(in, target, Request{explicit_cast, std::nullopt}, out);
}

Status ConvertForStore(const Scalar& in, const DataType& target, bool ansi_warnings, Value& out) {
  Status s = Convert(in, target, false, out);
  if (s && !ansi_warnings && s->number == MessageNumber(Msg::kStringTruncated)) {
    // The pair converts implicitly; only the length failed, which CAST cuts.
    return Convert(in, target, true, out);
  }
  return s;
}

Status CheckConvertible(const DataType& from, const DataType& to, bool explicit_cast) {
  // A sample value of `from` goes through the conversion itself, so that
  // the rules live in one place; only the errors about the pair count.
  Scalar sample{from, int64_t{0}};
  switch (Family(from)) {
    case TypeFamily::kInteger:
      break;
    case TypeFamily::kApprox:
      sample.value = 0.0;
      break;
    case TypeFamily::kBinary:
    case TypeFamily::kImage:
      sample.value = std::vector<uint8_t>{0};
      break;
    case TypeFamily::kDateTime:
      sample.value = std::string("1900-01-01 00:00:00.000");
      break;
    case TypeFamily::kGuid:
      sample.value = std::string("00000000-0000-0000-0000-000000000000");
      break;
    case TypeFamily::kVariant:
      return std::nullopt;
    default:
      sample.value = std::string("0");
      break;
  }
  Value ignored;
  Status s = Convert(sample, to, explicit_cast, ignored);
  if (s && (s->number == MessageNumber(Msg::kOperandClash) ||
            s->number == MessageNumber(Msg::kImplicitConversion))) {
    return s;
  }
  return std::nullopt;
}

Status ConvertStyled(const Scalar& in, const DataType& target, int style, Value& out) {
  return ConvertAs(in, target, Request{true, style}, out);
}

std::string ScalarText(const Scalar& raw) {
  if (raw.is_null()) return "NULL";
  Scalar s = Coherent(raw);
  switch (Family(s.type)) {
    case TypeFamily::kInteger:
      return std::to_string(std::get<int64_t>(s.value));
    case TypeFamily::kApprox:
      return FormatFloat(std::get<double>(s.value));
    case TypeFamily::kMoney:
      return FormatMoney(std::get<std::string>(s.value));
    case TypeFamily::kDateTime: {
      DateTime dt;
      if (ParseDateTime(std::get<std::string>(s.value), dt) != DateParse::kOk) {
        return std::get<std::string>(s.value);
      }
      return FormatDateStyle(dt, 0);
    }
    case TypeFamily::kBinary:
    case TypeFamily::kImage: {
      static constexpr char kHex[] = "0123456789ABCDEF";
      std::string text = "0x";
      for (uint8_t b : std::get<std::vector<uint8_t>>(s.value)) {
        text += kHex[b >> 4];
        text += kHex[b & 15];
      }
      return text;
    }
    default:
      return std::get<std::string>(s.value);
  }
}

size_t CharacterCount(std::string_view text) {
  size_t count = 0;
  for (char c : text) {
    if ((static_cast<unsigned char>(c) & 0xC0) != 0x80) ++count;
  }
  return count;
}

bool ParseGuid(std::string_view text, std::string& out) {
  std::string t = Trim(text);
  std::string_view v = t;
  if (v.size() == 38 && v.front() == '{' && v.back() == '}') v = v.substr(1, 36);
  if (v.size() != 36) return false;
  std::string result;
  for (size_t i = 0; i < v.size(); ++i) {
    char c = v[i];
    bool dash_place = i == 8 || i == 13 || i == 18 || i == 23;
    if (dash_place) {
      if (c != '-') return false;
      result += '-';
      continue;
    }
    if (c >= 'a' && c <= 'f') c = static_cast<char>(c - 'a' + 'A');
    if (!((c >= '0' && c <= '9') || (c >= 'A' && c <= 'F'))) return false;
    result += c;
  }
  out = std::move(result);
  return true;
}

std::string GuidFromNumbers(uint64_t seed, uint64_t counter) {
  // splitmix64 spreads the counter over all the bits.
  auto mix = [](uint64_t x) {
    x += 0x9E3779B97F4A7C15ull;
    x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
    x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
    return x ^ (x >> 31);
  };
  uint64_t hi = mix(seed ^ mix(counter));
  uint64_t lo = mix(hi ^ counter);
  char buffer[40];
  std::snprintf(buffer, sizeof buffer, "%08llX-%04llX-%04llX-%04llX-%012llX",
                static_cast<unsigned long long>(hi >> 32),
                static_cast<unsigned long long>((hi >> 16) & 0xFFFF),
                static_cast<unsigned long long>((hi & 0x0FFF) | 0x4000),
                static_cast<unsigned long long>(((lo >> 48) & 0x3FFF) | 0x8000),
                static_cast<unsigned long long>(lo & 0xFFFFFFFFFFFFull));
  return buffer;
}

}  // namespace server
