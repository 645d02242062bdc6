#ifndef TAVORA_SERVER_TDS_WIRE_H_
#define TAVORA_SERVER_TDS_WIRE_H_

#include <cstddef>
#include <cstdint>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace server::tds {

// Input that does not follow the protocol: truncated, inconsistent or too
// large. The message says what was wrong; the connection that sent it is
// closed, the listener keeps serving.
class DecodeError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// A value that cannot be sent as its column's type, or text that is not
// UTF-8 (a defect of the engine or of this mapping, not of the client): the
// reply becomes an error.
class EncodeError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The server's UTF-8 text as UTF-16 little-endian bytes, characters beyond
// the BMP as surrogate pairs; EncodeError when it is not UTF-8.
std::string Utf8ToUcs2(std::string_view utf8);
// UTF-16 little-endian bytes as UTF-8; DecodeError when the client sent an
// odd number of bytes or an unpaired surrogate, which no text holds.
std::string Ucs2ToUtf8(std::span<const uint8_t> ucs2);
// The longest start of `utf8` that fits in `units` UTF-16 units; a surrogate
// pair is never cut in half. EncodeError when it is not UTF-8.
std::string_view CutToUnits(std::string_view utf8, size_t units);

// Appends protocol fields to a byte buffer. Integers are little-endian
// unless the name ends in Be, as the protocol has it.
class Writer {
 public:
  void U8(uint8_t v) { bytes_.push_back(v); }
  void U16(uint16_t v);
  void U16Be(uint16_t v);
  void U32(uint32_t v);
  void U32Be(uint32_t v);
  void U64(uint64_t v);
  void Bytes(std::span<const uint8_t> data) {
    bytes_.insert(bytes_.end(), data.begin(), data.end());
  }
  void Bytes(std::string_view data) { bytes_.insert(bytes_.end(), data.begin(), data.end()); }
  // UCS-2 text without a length.
  void Ucs2(std::string_view utf8) { Bytes(Utf8ToUcs2(utf8)); }
  // B_VARCHAR: a one-byte count of characters, then UCS-2; longer texts are
  // cut to 255 characters.
  void BVarChar(std::string_view utf8);
  // US_VARCHAR: a two-byte count of characters, then UCS-2; cut to 65535.
  void UsVarChar(std::string_view utf8);

  void PatchU16(size_t at, uint16_t v);
  void PatchU32(size_t at, uint32_t v);

  size_t size() const { return bytes_.size(); }
  const std::vector<uint8_t>& bytes() const { return bytes_; }
  std::vector<uint8_t> Take() { return std::move(bytes_); }

 private:
  std::vector<uint8_t> bytes_;
};

// Writes a two-byte length placeholder and, when it goes out of scope,
// fills it with the number of bytes written after it. Tokens are built body
// first, so the length never has to be computed in advance.
class LengthPrefix16 {
 public:
  explicit LengthPrefix16(Writer& writer) : writer_(writer), at_(writer.size()) { writer.U16(0); }
  ~LengthPrefix16();
  LengthPrefix16(const LengthPrefix16&) = delete;
  LengthPrefix16& operator=(const LengthPrefix16&) = delete;

 private:
  Writer& writer_;
  size_t at_;
};

// Reads protocol fields from a byte range; every read checks the bounds and
// throws DecodeError naming `what` when the data ends early.
class Reader {
 public:
  explicit Reader(std::span<const uint8_t> data) : data_(data) {}

  uint8_t U8();
  uint16_t U16();
  uint16_t U16Be();
  uint32_t U32();
  uint32_t U32Be();
  uint64_t U64();
  std::span<const uint8_t> Bytes(size_t n);
  std::string Ucs2(size_t units) { return Ucs2ToUtf8(Bytes(2 * units)); }
  std::string BVarChar() { return Ucs2(U8()); }
  std::string UsVarChar() { return Ucs2(U16()); }

  size_t position() const { return position_; }
  size_t remaining() const { return data_.size() - position_; }
  bool empty() const { return position_ == data_.size(); }

 private:
  std::span<const uint8_t> data_;
  size_t position_ = 0;
};

}  // namespace server::tds

#endif  // TAVORA_SERVER_TDS_WIRE_H_
