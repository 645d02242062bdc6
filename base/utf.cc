#include "base/utf.h"

#include <cstring>

namespace base {

namespace {

bool IsSurrogate(char32_t c) { return c >= 0xD800 && c <= 0xDFFF; }
bool IsHighSurrogate(char32_t c) { return c >= 0xD800 && c <= 0xDBFF; }
bool IsLowSurrogate(char32_t c) { return c >= 0xDC00 && c <= 0xDFFF; }

constexpr uint64_t kHighBits = 0x8080808080808080;

uint64_t Load8(const char* bytes) {
  uint64_t word;
  std::memcpy(&word, bytes, sizeof word);
  return word;
}

// How many units at the start of `utf16` are ASCII, read four at a time:
// most of what is converted is.
size_t AsciiPrefix(std::u16string_view utf16) {
  constexpr uint64_t kNonAscii = 0xFF80FF80FF80FF80;
  size_t i = 0;
  for (; utf16.size() - i >= 4; i += 4) {
    uint64_t units;
    std::memcpy(&units, utf16.data() + i, sizeof units);
    if (units & kNonAscii) break;
  }
  while (i < utf16.size() && utf16[i] < 0x80) ++i;
  return i;
}

// Writes the UTF-8 form of `c` at `out`, returning the end.
char* WriteUtf8(char* out, char32_t c) {
  if (c < 0x80) {
    *out++ = static_cast<char>(c);
  } else if (c < 0x800) {
    *out++ = static_cast<char>(0xC0 | (c >> 6));
    *out++ = static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    *out++ = static_cast<char>(0xE0 | (c >> 12));
    *out++ = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    *out++ = static_cast<char>(0x80 | (c & 0x3F));
  } else {
    *out++ = static_cast<char>(0xF0 | (c >> 18));
    *out++ = static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    *out++ = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    *out++ = static_cast<char>(0x80 | (c & 0x3F));
  }
  return out;
}

}  // namespace

std::optional<char32_t> NextCodePoint(std::string_view utf8, size_t& pos) {
  auto byte = [&](size_t k) { return static_cast<uint8_t>(utf8[k]); };
  uint8_t lead = byte(pos);
  if (lead < 0x80) {
    ++pos;
    return lead;
  }
  size_t extra;
  char32_t code_point;
  char32_t smallest;  // below it the form is overlong
  if ((lead & 0xE0) == 0xC0) {
    extra = 1, code_point = lead & 0x1F, smallest = 0x80;
  } else if ((lead & 0xF0) == 0xE0) {
    extra = 2, code_point = lead & 0x0F, smallest = 0x800;
  } else if ((lead & 0xF8) == 0xF0) {
    extra = 3, code_point = lead & 0x07, smallest = 0x10000;
  } else {
    return std::nullopt;
  }
  if (utf8.size() - pos <= extra) return std::nullopt;
  for (size_t k = 1; k <= extra; ++k) {
    if ((byte(pos + k) & 0xC0) != 0x80) return std::nullopt;
    code_point = (code_point << 6) | (byte(pos + k) & 0x3F);
  }
  if (code_point < smallest || code_point > 0x10FFFF || IsSurrogate(code_point)) {
    return std::nullopt;
  }
  pos += extra + 1;
  return code_point;
}

void AppendUtf8(std::string& out, char32_t c) {
  char bytes[4];
  out.append(bytes, WriteUtf8(bytes, c));
}

bool IsValidUtf8(std::string_view text) {
  for (size_t pos = 0; pos < text.size();) {
    // Every batch is checked whole, and most of it is ASCII: eight bytes at
    // a time while no byte has its high bit set.
    while (text.size() - pos >= 8 && (Load8(text.data() + pos) & kHighBits) == 0) pos += 8;
    if (pos < text.size() && !NextCodePoint(text, pos)) return false;
  }
  return true;
}

std::string_view Utf8Prefix(std::string_view utf8, size_t count) {
  size_t pos = 0;
  for (size_t taken = 0; taken < count && pos < utf8.size(); ++taken) {
    if (!NextCodePoint(utf8, pos)) break;
  }
  return utf8.substr(0, pos);
}

std::optional<std::u16string> Utf8ToUtf16(std::string_view utf8, size_t* refused_at) {
  // A byte never makes more than one unit: the text is written in place
  // and the rest cut off.
  std::u16string out(utf8.size(), u'\0');
  char16_t* end = out.data();
  for (size_t pos = 0; pos < utf8.size();) {
    auto lead = static_cast<unsigned char>(utf8[pos]);
    if (lead < 0x80) {
      *end++ = lead;
      ++pos;
      continue;
    }
    std::optional<char32_t> c = NextCodePoint(utf8, pos);
    if (!c) {
      if (refused_at) *refused_at = pos;
      return std::nullopt;
    }
    if (*c >= 0x10000) {
      *end++ = static_cast<char16_t>(0xD800 + ((*c - 0x10000) >> 10));
      *end++ = static_cast<char16_t>(0xDC00 + ((*c - 0x10000) & 0x3FF));
    } else {
      *end++ = static_cast<char16_t>(*c);
    }
  }
  out.resize(static_cast<size_t>(end - out.data()));
  return out;
}

std::optional<std::string> Utf16ToUtf8(std::u16string_view utf16, size_t* refused_at) {
  // Measured first, then written in place: no growing, no spare capacity.
  size_t bytes = 0;
  size_t ascii = AsciiPrefix(utf16);
  bytes += ascii;
  for (size_t i = ascii; i < utf16.size(); ++i) {
    char32_t c = utf16[i];
    if (c < 0x80) {
      bytes += 1;
    } else if (c < 0x800) {
      bytes += 2;
    } else if (IsHighSurrogate(c) && i + 1 < utf16.size() && IsLowSurrogate(utf16[i + 1])) {
      bytes += 4;
      ++i;
    } else if (IsSurrogate(c)) {
      if (refused_at) *refused_at = i;
      return std::nullopt;
    } else {
      bytes += 3;
    }
  }
  std::string out(bytes, '\0');
  char* end = out.data();
  for (size_t i = 0; i < ascii; ++i) *end++ = static_cast<char>(utf16[i]);
  for (size_t i = ascii; i < utf16.size(); ++i) {
    char32_t c = utf16[i];
    if (c < 0x80) {
      *end++ = static_cast<char>(c);
      continue;
    }
    if (IsHighSurrogate(c)) c = 0x10000 + ((c - 0xD800) << 10) + (utf16[++i] - 0xDC00);
    end = WriteUtf8(end, c);
  }
  return out;
}

std::string ToLittleEndian(std::u16string_view utf16) {
  std::string out;
  out.reserve(2 * utf16.size());
  for (char16_t unit : utf16) {
    out += static_cast<char>(unit & 0xFF);
    out += static_cast<char>(unit >> 8);
  }
  return out;
}

std::optional<std::u16string> FromLittleEndian(std::span<const uint8_t> bytes) {
  if (bytes.size() % 2 != 0) return std::nullopt;
  std::u16string out(bytes.size() / 2, u'\0');
  for (size_t k = 0; k < out.size(); ++k) {
    out[k] = static_cast<char16_t>(bytes[2 * k] | (bytes[2 * k + 1] << 8));
  }
  return out;
}

}  // namespace base
