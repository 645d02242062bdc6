#ifndef TAVORA_SERVER_TYPES_DECIMAL_H_
#define TAVORA_SERVER_TYPES_DECIMAL_H_

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace server {

// An exact number as digits, so that decimal(38) values and literals such as
// 31.99 convert without binary rounding.
struct DecimalParts {
  bool negative = false;
  std::string whole;     // digits, no leading zeros ("" for zero)
  std::string fraction;  // digits after the point, as given
};

// Reads "[blanks][+|-]digits[.digits][blanks]" (at least one digit, either
// side of the point). Nothing else is accepted.
std::optional<DecimalParts> ParseDecimal(std::string_view text);

// The number rounded half away from zero to `scale` fraction digits, as text
// ("-31.99", "32", "0.5000"); empty when its whole part needs more than
// precision - scale digits.
std::optional<std::string> FormatDecimal(const DecimalParts& parts, int precision, int scale);

// The exact text of an integer.
DecimalParts DecimalFromInt(int64_t value);

// The value truncated towards zero, if it fits in int64_t.
std::optional<int64_t> TruncateToInt(const DecimalParts& parts);

// The value times 10^4, rounded half away from zero, if it fits in int64_t
// (money's internal form).
std::optional<int64_t> ScaledBy10000(const DecimalParts& parts);

}  // namespace server

#endif  // TAVORA_SERVER_TYPES_DECIMAL_H_
