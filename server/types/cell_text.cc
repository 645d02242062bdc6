#include "server/types/cell_text.h"

#include <cstdio>

namespace server {

std::string CellText(const Value& value, int float_digits) {
  if (std::holds_alternative<std::monostate>(value)) return "NULL";
  if (const auto* number = std::get_if<int64_t>(&value)) return std::to_string(*number);
  if (const auto* real = std::get_if<double>(&value)) {
    char text[40];
    std::snprintf(text, sizeof text, "%.*g", float_digits, *real);
    return text;
  }
  if (const auto* text = std::get_if<std::string>(&value)) return *text;
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string hex = "0x";
  for (uint8_t byte : std::get<std::vector<uint8_t>>(value)) {
    hex += kHex[byte >> 4];
    hex += kHex[byte & 15];
  }
  return hex;
}

}  // namespace server
