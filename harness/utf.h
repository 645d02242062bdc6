#ifndef TAVORA_HARNESS_UTF_H_
#define TAVORA_HARNESS_UTF_H_

#include <string>
#include <string_view>

#include "harness/export.h"

namespace harness {

// Conversions at the edges (console, files, environment). Each byte or unit
// the strict conversion refuses becomes U+FFFD rather than being dropped or
// guessed at, so nothing is lost silently.
HARNESS_API std::string ToUtf8(std::u16string_view text);
HARNESS_API std::u16string FromUtf8(std::string_view text);

}  // namespace harness

#endif  // TAVORA_HARNESS_UTF_H_
