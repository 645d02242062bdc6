#include "server/types/decimal.h"

#include <limits>

#include "server/types/collation.h"

namespace server {

namespace {

// Adds one unit in the last place of a digit string; returns false when a
// carry falls off the front.
bool IncrementDigits(std::string& digits) {
  for (size_t i = digits.size(); i-- > 0;) {
    if (digits[i] == '9') {
      digits[i] = '0';
    } else {
      ++digits[i];
      return true;
    }
  }
  return false;
}

std::string StripLeadingZeros(std::string digits) {
  size_t first = digits.find_first_not_of('0');
  return first == std::string::npos ? std::string() : digits.substr(first);
}

// Digits (no sign) to int64_t, if they fit.
std::optional<int64_t> DigitsToInt(const std::string& digits, bool negative) {
  uint64_t limit =
      negative ? uint64_t{1} << 63 : static_cast<uint64_t>(std::numeric_limits<int64_t>::max());
  uint64_t value = 0;
  for (char c : digits) {
    uint64_t d = static_cast<uint64_t>(c - '0');
    if (value > (limit - d) / 10) return std::nullopt;
    value = value * 10 + d;
  }
  if (negative)
    return value == (uint64_t{1} << 63) ? std::numeric_limits<int64_t>::min()
                                        : -static_cast<int64_t>(value);
  return static_cast<int64_t>(value);
}

}  // namespace

std::optional<DecimalParts> ParseDecimal(std::string_view text) {
  size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
  size_t end = text.size();
  while (end > i && (text[end - 1] == ' ' || text[end - 1] == '\t')) --end;
  DecimalParts parts;
  if (i < end && (text[i] == '+' || text[i] == '-')) {
    parts.negative = text[i] == '-';
    ++i;
  }
  std::string whole;
  while (i < end && IsDigit(text[i])) whole += text[i++];
  if (i < end && text[i] == '.') {
    ++i;
    while (i < end && IsDigit(text[i])) parts.fraction += text[i++];
  }
  if (i != end || (whole.empty() && parts.fraction.empty())) return std::nullopt;
  parts.whole = StripLeadingZeros(std::move(whole));
  return parts;
}

std::optional<std::string> FormatDecimal(const DecimalParts& parts, int precision, int scale) {
  std::string digits = parts.whole;
  std::string fraction = parts.fraction;
  bool round_up = static_cast<int>(fraction.size()) > scale && fraction[scale] >= '5';
  fraction.resize(scale, '0');
  std::string all = digits + fraction;
  if (round_up && !IncrementDigits(all)) all.insert(all.begin(), '1');
  std::string whole = StripLeadingZeros(all.substr(0, all.size() - scale));
  fraction = all.substr(all.size() - scale);
  if (static_cast<int>(whole.size()) > precision - scale) return std::nullopt;
  bool zero = whole.empty() && fraction.find_first_not_of('0') == std::string::npos;
  std::string out = (parts.negative && !zero) ? "-" : "";
  out += whole.empty() ? "0" : whole;
  if (scale > 0) out += "." + fraction;
  return out;
}

DecimalParts DecimalFromInt(int64_t value) {
  DecimalParts parts;
  parts.negative = value < 0;
  uint64_t magnitude =
      parts.negative ? 0 - static_cast<uint64_t>(value) : static_cast<uint64_t>(value);
  parts.whole = magnitude == 0 ? std::string() : std::to_string(magnitude);
  return parts;
}

std::optional<int64_t> TruncateToInt(const DecimalParts& parts) {
  return DigitsToInt(parts.whole, parts.negative);
}

std::optional<int64_t> ScaledBy10000(const DecimalParts& parts) {
  std::optional<std::string> text = FormatDecimal(parts, 38, 4);
  if (!text) return std::nullopt;
  std::string digits;
  for (char c : *text) {
    if (IsDigit(c)) digits += c;
  }
  return DigitsToInt(StripLeadingZeros(digits), parts.negative);
}

}  // namespace server
