#include "harness/utf.h"

#include <optional>

#include "base/utf.h"

namespace harness {

namespace {

// Converts with `convert`, putting U+FFFD (in the output's encoding) for
// each unit or byte it refuses and going on after it.
template <typename In, typename Out, typename Convert>
Out Replacing(In text, const Out& replacement, Convert convert) {
  Out out;
  size_t refused_at = 0;
  for (;;) {
    if (std::optional<Out> rest = convert(text, &refused_at)) {
      if (out.empty()) return std::move(*rest);
      return out + *rest;
    }
    out += *convert(text.substr(0, refused_at), nullptr) + replacement;
    text.remove_prefix(refused_at + 1);
  }
}

}  // namespace

std::string ToUtf8(std::u16string_view text) {
  return Replacing(text, std::string("\xEF\xBF\xBD"), base::Utf16ToUtf8);
}

std::u16string FromUtf8(std::string_view text) {
  return Replacing(text, std::u16string(u"\uFFFD"), base::Utf8ToUtf16);
}

}  // namespace harness
