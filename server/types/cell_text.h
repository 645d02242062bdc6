#ifndef TAVORA_SERVER_TYPES_CELL_TEXT_H_
#define TAVORA_SERVER_TYPES_CELL_TEXT_H_

#include <string>

#include "server/engine.h"

namespace server {

// Significant digits of float and real values shown as text: 15, as the
// platform's data access turns a double into text, so that 31.99 shows as
// "31.99" and not as its binary neighbour.
inline constexpr int kShownFloatDigits = 15;
// What round-trips a double exactly.
inline constexpr int kExactFloatDigits = 17;

// A cell as text: "NULL", the integer, a float with `float_digits`
// significant digits, the characters, or binary data as "0x" and upper-case
// hex digits.
std::string CellText(const Value& value, int float_digits = kShownFloatDigits);

}  // namespace server

#endif  // TAVORA_SERVER_TYPES_CELL_TEXT_H_
