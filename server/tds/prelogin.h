#ifndef TAVORA_SERVER_TDS_PRELOGIN_H_
#define TAVORA_SERVER_TDS_PRELOGIN_H_

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace server::tds {

// ENCRYPTION option values.
constexpr uint8_t kEncryptOff = 0x00;
constexpr uint8_t kEncryptOn = 0x01;
constexpr uint8_t kEncryptNotSupported = 0x02;
constexpr uint8_t kEncryptRequired = 0x03;

// The options of a PRELOGIN message, either side's. An option the message
// does not carry is empty.
struct PreLogin {
  struct Version {
    uint8_t major = 0;
    uint8_t minor = 0;
    uint16_t build = 0;      // big-endian on the wire
    uint16_t sub_build = 0;  // little-endian on the wire
    friend bool operator==(const Version&, const Version&) = default;
  };
  std::optional<Version> version;
  std::optional<uint8_t> encryption;
  // INSTOPT: the instance name, sent NUL-terminated.
  std::optional<std::string> instance;
  // THREADID: empty data is allowed and kept as 0.
  std::optional<uint32_t> thread_id;
  std::optional<uint8_t> mars;

  friend bool operator==(const PreLogin&, const PreLogin&) = default;
};

// The option table (token, big-endian offset and length), the terminator
// 0xFF, then each option's data in the same order.
std::vector<uint8_t> EncodePreLogin(const PreLogin& options);

// Reads an option table. Throws DecodeError when the terminator is missing,
// an option's data lies outside the message or overlaps the table, or a known
// option has the wrong size. Unknown options are skipped, as the protocol
// asks.
PreLogin DecodePreLogin(std::span<const uint8_t> payload);

// This server's answer: version 8.0.2039 (the 2000 release this system
// stands in for), no encryption, the default instance, `thread_id`; no MARS,
// which the 2000 release did not have.
PreLogin PreLoginReply(uint32_t thread_id);

}  // namespace server::tds

#endif  // TAVORA_SERVER_TDS_PRELOGIN_H_
