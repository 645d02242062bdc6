#include "server/tds/wire.h"

#include <exception>

namespace server::tds {

namespace {

constexpr char32_t kReplacement = 0xFFFD;

// Decodes one UTF-8 sequence at `i`, advancing it; invalid bytes give U+FFFD
// and advance by one, so nothing loops forever.
char32_t NextCodePoint(std::string_view s, size_t& i) {
  auto byte = [&](size_t k) { return static_cast<uint8_t>(s[k]); };
  uint8_t b0 = byte(i);
  if (b0 < 0x80) {
    ++i;
    return b0;
  }
  int extra = 0;
  char32_t cp = 0;
  char32_t min = 0;
  if ((b0 & 0xE0) == 0xC0) {
    extra = 1, cp = b0 & 0x1F, min = 0x80;
  } else if ((b0 & 0xF0) == 0xE0) {
    extra = 2, cp = b0 & 0x0F, min = 0x800;
  } else if ((b0 & 0xF8) == 0xF0) {
    extra = 3, cp = b0 & 0x07, min = 0x10000;
  } else {
    ++i;
    return kReplacement;
  }
  if (i + extra >= s.size()) {
    ++i;
    return kReplacement;
  }
  for (int k = 1; k <= extra; ++k) {
    if ((byte(i + k) & 0xC0) != 0x80) {
      ++i;
      return kReplacement;
    }
    cp = (cp << 6) | (byte(i + k) & 0x3F);
  }
  i += extra + 1;
  if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return kReplacement;
  return cp;
}

void AppendUtf8(std::string& out, char32_t cp) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (cp >> 18));
    out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

void AppendUnit(std::string& out, uint16_t unit) {
  out += static_cast<char>(unit & 0xFF);
  out += static_cast<char>(unit >> 8);
}

}  // namespace

std::string Utf8ToUcs2(std::string_view utf8) {
  std::string out;
  out.reserve(utf8.size() * 2);
  for (size_t i = 0; i < utf8.size();) {
    char32_t cp = NextCodePoint(utf8, i);
    if (cp >= 0x10000) {
      cp -= 0x10000;
      AppendUnit(out, static_cast<uint16_t>(0xD800 + (cp >> 10)));
      AppendUnit(out, static_cast<uint16_t>(0xDC00 + (cp & 0x3FF)));
    } else {
      AppendUnit(out, static_cast<uint16_t>(cp));
    }
  }
  return out;
}

size_t Ucs2Units(std::string_view utf8) { return Utf8ToUcs2(utf8).size() / 2; }

std::string Ucs2ToUtf8(std::span<const uint8_t> ucs2) {
  std::string out;
  out.reserve(ucs2.size() / 2);
  size_t units = ucs2.size() / 2;
  auto unit = [&](size_t k) { return static_cast<uint16_t>(ucs2[2 * k] | (ucs2[2 * k + 1] << 8)); };
  for (size_t k = 0; k < units; ++k) {
    char32_t u = unit(k);
    if (u >= 0xD800 && u <= 0xDBFF && k + 1 < units && unit(k + 1) >= 0xDC00 &&
        unit(k + 1) <= 0xDFFF) {
      u = 0x10000 + ((u - 0xD800) << 10) + (unit(k + 1) - 0xDC00);
      ++k;
    } else if (u >= 0xD800 && u <= 0xDFFF) {
      u = kReplacement;
    }
    AppendUtf8(out, u);
  }
  return out;
}

void Writer::U16(uint16_t v) {
  U8(v & 0xFF);
  U8(v >> 8);
}

void Writer::U16Be(uint16_t v) {
  U8(v >> 8);
  U8(v & 0xFF);
}

void Writer::U32(uint32_t v) {
  U16(v & 0xFFFF);
  U16(v >> 16);
}

void Writer::U32Be(uint32_t v) {
  U16Be(v >> 16);
  U16Be(v & 0xFFFF);
}

void Writer::U64(uint64_t v) {
  U32(v & 0xFFFFFFFFu);
  U32(v >> 32);
}

void Writer::BVarChar(std::string_view utf8) {
  std::string ucs2 = Utf8ToUcs2(utf8);
  if (ucs2.size() > 2 * 255) ucs2.resize(2 * 255);
  U8(static_cast<uint8_t>(ucs2.size() / 2));
  Bytes(ucs2);
}

void Writer::UsVarChar(std::string_view utf8) {
  std::string ucs2 = Utf8ToUcs2(utf8);
  if (ucs2.size() > 2 * 65535) ucs2.resize(2 * 65535);
  U16(static_cast<uint16_t>(ucs2.size() / 2));
  Bytes(ucs2);
}

void Writer::PatchU16(size_t at, uint16_t v) {
  bytes_.at(at) = v & 0xFF;
  bytes_.at(at + 1) = v >> 8;
}

void Writer::PatchU32(size_t at, uint32_t v) {
  PatchU16(at, v & 0xFFFF);
  PatchU16(at + 2, v >> 16);
}

LengthPrefix16::~LengthPrefix16() {
  size_t body = writer_.size() - at_ - 2;
  // Callers bound what they put in a token well below this; a longer body
  // would be a defect here, not bad input.
  if (body > 0xFFFF) std::terminate();
  writer_.PatchU16(at_, static_cast<uint16_t>(body));
}

uint8_t Reader::U8() { return Bytes(1)[0]; }

uint16_t Reader::U16() {
  auto b = Bytes(2);
  return static_cast<uint16_t>(b[0] | (b[1] << 8));
}

uint16_t Reader::U16Be() {
  auto b = Bytes(2);
  return static_cast<uint16_t>((b[0] << 8) | b[1]);
}

uint32_t Reader::U32() {
  uint32_t lo = U16();
  uint32_t hi = U16();
  return lo | (hi << 16);
}

uint32_t Reader::U32Be() {
  uint32_t hi = U16Be();
  uint32_t lo = U16Be();
  return (hi << 16) | lo;
}

uint64_t Reader::U64() {
  uint64_t lo = U32();
  uint64_t hi = U32();
  return lo | (hi << 32);
}

std::span<const uint8_t> Reader::Bytes(size_t n) {
  if (n > remaining()) {
    throw DecodeError("truncated data: " + std::to_string(n) + " bytes needed at offset " +
                      std::to_string(position_) + ", " + std::to_string(remaining()) + " left");
  }
  auto out = data_.subspan(position_, n);
  position_ += n;
  return out;
}

}  // namespace server::tds
