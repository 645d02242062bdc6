#ifndef TAVORA_BASE_UTF_H_
#define TAVORA_BASE_UTF_H_

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace base {

// Strict UTF-8 and UTF-16. Overlong forms, surrogates written in UTF-8,
// values past U+10FFFF, truncated sequences and stray continuation bytes
// are refused, as are unpaired surrogates in UTF-16: every caller decides
// what a refusal means for it (an error, or U+FFFD at an edge for display).

// The code point of the sequence at `pos`, advancing `pos` past it; nullopt
// (and `pos` unchanged) when the bytes there are not UTF-8.
std::optional<char32_t> NextCodePoint(std::string_view utf8, size_t& pos);
// Appends the UTF-8 form of `code_point`, which must be a scalar value.
void AppendUtf8(std::string& out, char32_t code_point);
bool IsValidUtf8(std::string_view text);
// The first `count` code points of the text (all of it when it has fewer),
// ending early at bytes that are not UTF-8.
std::string_view Utf8Prefix(std::string_view utf8, size_t count);

// The whole text converted, or nullopt with `*refused_at` (when given) set
// to the offset of the first refused sequence: bytes for UTF-8, units for
// UTF-16.
std::optional<std::u16string> Utf8ToUtf16(std::string_view utf8, size_t* refused_at = nullptr);
std::optional<std::string> Utf16ToUtf8(std::u16string_view utf16, size_t* refused_at = nullptr);

// UTF-16 units as little-endian bytes and back; an odd byte count is not
// UTF-16 and gives nullopt.
std::string ToLittleEndian(std::u16string_view utf16);
std::optional<std::u16string> FromLittleEndian(std::span<const uint8_t> bytes);

}  // namespace base

#endif  // TAVORA_BASE_UTF_H_
