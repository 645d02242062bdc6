#ifndef TAVORA_SERVER_TDS_LOGIN7_H_
#define TAVORA_SERVER_TDS_LOGIN7_H_

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace server::tds {

// TDS versions as LOGIN7 and LOGINACK carry them.
constexpr uint32_t kTds70 = 0x70000000;
constexpr uint32_t kTds71 = 0x71000001;
constexpr uint32_t kTds72 = 0x72090002;
// OptionFlags2: the client asks for integrated (operating system) security.
constexpr uint8_t kIntegratedSecurity = 0x80;

// A LOGIN7 message. Texts are UTF-8 here and UCS-2 on the wire.
struct Login7 {
  uint32_t tds_version = kTds71;
  uint32_t packet_size = 4096;
  uint32_t client_version = 0;
  uint32_t client_pid = 0;
  uint32_t connection_id = 0;
  uint8_t option_flags1 = 0;
  uint8_t option_flags2 = 0;
  uint8_t type_flags = 0;
  uint8_t option_flags3 = 0;
  int32_t time_zone = 0;
  uint32_t lcid = 0;
  std::string host_name;
  std::string user_name;
  std::string password;  // in clear; obfuscated on the wire
  std::string app_name;
  std::string server_name;
  std::string library_name;
  std::string language;
  std::string database;
  std::array<uint8_t, 6> client_id{};
  std::vector<uint8_t> sspi;
  std::string attach_db_file;
  std::string change_password;  // 7.2 and later only

  bool integrated_security() const { return (option_flags2 & kIntegratedSecurity) != 0; }
  friend bool operator==(const Login7&, const Login7&) = default;
};

// The fixed part is 86 bytes up to 7.1 and 94 from 7.2 (the change-password
// pair and the long SSPI length).
std::vector<uint8_t> EncodeLogin7(const Login7& login);

// Reads a LOGIN7 message. Throws DecodeError when the declared length does
// not match the message, the fixed part is short, or any offset/length pair
// points outside the message.
Login7 DecodeLogin7(std::span<const uint8_t> payload);

// The password scramble of the protocol, on UCS-2 bytes: the client swaps
// the nibbles of each byte, then XORs it with 0xA5; the server undoes the
// XOR first, then swaps back.
std::string ScramblePassword(std::string_view ucs2);
std::string UnscramblePassword(std::span<const uint8_t> scrambled);

}  // namespace server::tds

#endif  // TAVORA_SERVER_TDS_LOGIN7_H_
