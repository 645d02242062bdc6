#include "server/types/decimal.h"

#include <algorithm>
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
  // Each run of digits is taken whole: every stored decimal and money
  // value passes through here.
  size_t whole_begin = i;
  while (i < end && IsDigit(text[i])) ++i;
  std::string_view whole = text.substr(whole_begin, i - whole_begin);
  std::string_view fraction;
  if (i < end && text[i] == '.') {
    size_t fraction_begin = ++i;
    while (i < end && IsDigit(text[i])) ++i;
    fraction = text.substr(fraction_begin, i - fraction_begin);
  }
  if (i != end || (whole.empty() && fraction.empty())) return std::nullopt;
  size_t first = whole.find_first_not_of('0');
  if (first != std::string_view::npos) parts.whole.assign(whole.substr(first));
  parts.fraction.assign(fraction);
  return parts;
}

std::optional<std::string> FormatDecimal(const DecimalParts& parts, int precision, int scale) {
  // The digits at the target scale, rounded half away from zero, then
  // split into whole and fraction again; one buffer, no temporaries.
  const size_t places = static_cast<size_t>(scale);
  const std::string& fraction = parts.fraction;
  bool round_up = fraction.size() > places && fraction[places] >= '5';
  size_t kept = std::min(fraction.size(), places);
  std::string all;
  all.reserve(parts.whole.size() + places + 1);
  all.append(parts.whole);
  all.append(fraction, 0, kept);
  all.append(places - kept, '0');
  if (round_up && !IncrementDigits(all)) all.insert(all.begin(), '1');
  size_t whole_size = all.size() - places;
  size_t lead = 0;
  while (lead < whole_size && all[lead] == '0') ++lead;
  size_t whole_digits = whole_size - lead;
  if (static_cast<int>(whole_digits) > precision - scale) return std::nullopt;
  bool zero = whole_digits == 0 && all.find_first_not_of('0', whole_size) == std::string::npos;
  std::string out;
  out.reserve(whole_digits + places + 3);
  if (parts.negative && !zero) out += '-';
  if (whole_digits == 0) {
    out += '0';
  } else {
    out.append(all, lead, whole_digits);
  }
  if (scale > 0) {
    out += '.';
    out.append(all, whole_size, places);
  }
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
