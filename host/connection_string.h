#ifndef TAVORA_HOST_CONNECTION_STRING_H_
#define TAVORA_HOST_CONNECTION_STRING_H_

#include <cstddef>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace host {

// One attribute of a connection string as written.
struct ConnectionAttribute {
  std::u16string key;    // in lower case
  std::u16string value;  // as read: braces removed, "}}" taken as "}"
  bool braced = false;
  // Where the value stands in the text: its braces included, the blanks
  // around a plain value left out.
  size_t value_begin = 0;
  size_t value_end = 0;
};

// The attributes of an ODBC connection string "KEY=value;KEY={value}": keys
// compared without regard to case, blanks around keys and plain values
// dropped, a braced value taken as written with "}}" standing for "}". When
// a key repeats, the first value holds, as ODBC driver managers do.
class ConnectionString {
 public:
  // Error 5 naming the fault for an attribute without "=", an empty key or
  // an unclosed brace.
  static ConnectionString Parse(std::u16string_view text);

  // Every attribute in the order written, repeated keys included; error 5 as
  // Parse.
  static std::vector<ConnectionAttribute> Attributes(std::u16string_view text);

  // The value of `key` (any case), if present.
  std::optional<std::u16string> Get(std::u16string_view key) const;

 private:
  std::map<std::u16string, std::u16string> values_;  // keys in lower case
};

// `text` with every non-empty password (the value of PWD or PASSWORD, every
// time it is given) written as "********", and all else as it stands: the
// form a connection string may be kept in. A text that cannot be parsed
// keeps what comes before its first password key, followed by "********".
std::u16string MaskPasswords(std::u16string_view text);

}  // namespace host

#endif  // TAVORA_HOST_CONNECTION_STRING_H_
