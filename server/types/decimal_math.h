#ifndef TAVORA_SERVER_TYPES_DECIMAL_MATH_H_
#define TAVORA_SERVER_TYPES_DECIMAL_MATH_H_

#include <optional>

#include "server/types/decimal.h"

namespace server {

enum class DecimalOp { kAdd, kSubtract, kMultiply, kDivide, kModulo };

// a op b computed exactly on the digits, so that decimal(38) values keep
// every digit. A quotient is cut (not rounded) after `scale` fraction
// digits, as the server divides; the other results are exact and round
// only when FormatDecimal gives them their scale. Empty for a zero divisor.
std::optional<DecimalParts> DecimalArithmetic(DecimalOp op, const DecimalParts& a,
                                              const DecimalParts& b, int scale);

// The value cut (not rounded) after `scale` fraction digits.
DecimalParts TruncateDecimal(const DecimalParts& value, int scale);

}  // namespace server

#endif  // TAVORA_SERVER_TYPES_DECIMAL_MATH_H_
