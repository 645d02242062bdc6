#ifndef TAVORA_HOST_CONNECTION_STRING_H_
#define TAVORA_HOST_CONNECTION_STRING_H_

#include <map>
#include <optional>
#include <string>
#include <string_view>

namespace host {

// The attributes of an ODBC connection string "KEY=value;KEY={value}": keys
// compared without regard to case, blanks around keys and plain values
// dropped, a braced value taken as written with "}}" standing for "}". When
// a key repeats, the first value holds, as ODBC driver managers do.
class ConnectionString {
 public:
  // Error 5 naming the fault for an attribute without "=", an empty key or
  // an unclosed brace.
  static ConnectionString Parse(std::u16string_view text);

  // The value of `key` (any case), if present.
  std::optional<std::u16string> Get(std::u16string_view key) const;

 private:
  std::map<std::u16string, std::u16string> values_;  // keys in lower case
};

}  // namespace host

#endif  // TAVORA_HOST_CONNECTION_STRING_H_
