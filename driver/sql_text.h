#ifndef TAVORA_DRIVER_SQL_TEXT_H_
#define TAVORA_DRIVER_SQL_TEXT_H_

#include <string>
#include <string_view>

#include "harness/variant.h"

namespace driver {

// N'text' with every quote doubled: a value that reaches the server as data,
// whatever it holds.
std::u16string Literal(std::u16string_view text);

// [name] with every closing bracket doubled: a name as an identifier, blanks
// and all.
std::u16string Bracket(std::u16string_view name);

// [owner].[name], or [name] when there is no owner.
std::u16string Qualified(std::u16string_view owner, std::u16string_view name);

// A model value as a T-SQL literal of its kind: N'...' for a String, digits
// for a Long, CAST(n AS smallint) for an Integer, CAST(1 AS bit) for a
// Boolean, NULL for Null. The cast keeps the kind when the value is stored
// as sql_variant (extended properties) and read back.
std::u16string ValueLiteral(const harness::Variant& value);

// `text` with each "{name}" replaced by the value `lookup(name)` gives; a
// brace that opens no known name stays as it is.
template <class Lookup>
std::u16string Fill(std::u16string_view text, Lookup&& lookup) {
  std::u16string out;
  out.reserve(text.size() + 64);
  size_t i = 0;
  while (i < text.size()) {
    if (text[i] == u'{') {
      size_t close = text.find(u'}', i);
      if (close != std::u16string_view::npos) {
        std::u16string_view name = text.substr(i + 1, close - i - 1);
        if (const std::u16string* value = lookup(name)) {
          out += *value;
          i = close + 1;
          continue;
        }
      }
    }
    out += text[i++];
  }
  return out;
}

}  // namespace driver

#endif  // TAVORA_DRIVER_SQL_TEXT_H_
