#include "server/tds/wire.h"

#include <exception>
#include <optional>

#include "base/utf.h"

namespace server::tds {

std::string Utf8ToUcs2(std::string_view utf8) {
  size_t refused_at = 0;
  std::optional<std::u16string> utf16 = base::Utf8ToUtf16(utf8, &refused_at);
  if (!utf16) {
    throw EncodeError("text to send is not UTF-8 (byte " + std::to_string(refused_at) + ")");
  }
  return base::ToLittleEndian(*utf16);
}

std::string Ucs2ToUtf8(std::span<const uint8_t> ucs2) {
  std::optional<std::u16string> utf16 = base::FromLittleEndian(ucs2);
  if (!utf16) {
    throw DecodeError("text of " + std::to_string(ucs2.size()) +
                      " bytes is not UTF-16: the count is odd");
  }
  size_t refused_at = 0;
  std::optional<std::string> utf8 = base::Utf16ToUtf8(*utf16, &refused_at);
  if (!utf8) {
    throw DecodeError("text is not UTF-16: an unpaired surrogate at unit " +
                      std::to_string(refused_at));
  }
  return *utf8;
}

std::string_view CutToUnits(std::string_view utf8, size_t units) {
  size_t used = 0;
  for (size_t pos = 0; pos < utf8.size();) {
    size_t start = pos;
    std::optional<char32_t> c = base::NextCodePoint(utf8, pos);
    if (!c) throw EncodeError("text to send is not UTF-8 (byte " + std::to_string(start) + ")");
    used += *c >= 0x10000 ? 2 : 1;
    if (used > units) return utf8.substr(0, start);
  }
  return utf8;
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
  std::string ucs2 = Utf8ToUcs2(CutToUnits(utf8, 255));
  U8(static_cast<uint8_t>(ucs2.size() / 2));
  Bytes(ucs2);
}

void Writer::UsVarChar(std::string_view utf8) {
  std::string ucs2 = Utf8ToUcs2(CutToUnits(utf8, 65535));
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
