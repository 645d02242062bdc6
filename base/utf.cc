#include "base/utf.h"

namespace base {

namespace {

bool IsSurrogate(char32_t c) { return c >= 0xD800 && c <= 0xDFFF; }
bool IsHighSurrogate(char32_t c) { return c >= 0xD800 && c <= 0xDBFF; }
bool IsLowSurrogate(char32_t c) { return c >= 0xDC00 && c <= 0xDFFF; }

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
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (c >> 18));
    out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

bool IsValidUtf8(std::string_view text) {
  for (size_t pos = 0; pos < text.size();) {
    if (!NextCodePoint(text, pos)) return false;
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
  std::u16string out;
  out.reserve(utf8.size());
  for (size_t pos = 0; pos < utf8.size();) {
    std::optional<char32_t> c = NextCodePoint(utf8, pos);
    if (!c) {
      if (refused_at) *refused_at = pos;
      return std::nullopt;
    }
    if (*c >= 0x10000) {
      out += static_cast<char16_t>(0xD800 + ((*c - 0x10000) >> 10));
      out += static_cast<char16_t>(0xDC00 + ((*c - 0x10000) & 0x3FF));
    } else {
      out += static_cast<char16_t>(*c);
    }
  }
  return out;
}

std::optional<std::string> Utf16ToUtf8(std::u16string_view utf16, size_t* refused_at) {
  std::string out;
  out.reserve(utf16.size());
  for (size_t i = 0; i < utf16.size(); ++i) {
    char32_t c = utf16[i];
    if (IsHighSurrogate(c) && i + 1 < utf16.size() && IsLowSurrogate(utf16[i + 1])) {
      c = 0x10000 + ((c - 0xD800) << 10) + (utf16[++i] - 0xDC00);
    } else if (IsSurrogate(c)) {
      if (refused_at) *refused_at = i;
      return std::nullopt;
    }
    AppendUtf8(out, c);
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
