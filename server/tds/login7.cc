#include "server/tds/login7.h"

#include <algorithm>
#include <string>

#include "server/tds/wire.h"

namespace server::tds {

namespace {

constexpr size_t kFixedPart71 = 86;
constexpr size_t kFixedPart72 = 94;

uint8_t SwapNibbles(uint8_t b) { return static_cast<uint8_t>((b << 4) | (b >> 4)); }

// One variable field: where its data lies (offset from the message start,
// length in characters, or bytes for SSPI).
struct Slot {
  uint16_t offset = 0;
  uint16_t length = 0;
};

}  // namespace

std::string ScramblePassword(std::string_view ucs2) {
  std::string out(ucs2);
  for (char& c : out) c = static_cast<char>(SwapNibbles(static_cast<uint8_t>(c)) ^ 0xA5);
  return out;
}

std::string UnscramblePassword(std::span<const uint8_t> scrambled) {
  std::string out;
  out.reserve(scrambled.size());
  for (uint8_t b : scrambled) out += static_cast<char>(SwapNibbles(b ^ 0xA5));
  return out;
}

std::vector<uint8_t> EncodeLogin7(const Login7& login) {
  bool tds72 = login.tds_version >= kTds72;
  size_t fixed = tds72 ? kFixedPart72 : kFixedPart71;
  // The variable data in the order of the offset table; each entry is the
  // bytes and the length the table gives (characters for texts).
  struct Field {
    std::string bytes;
    size_t length;
  };
  auto text = [](std::string_view utf8) {
    std::string ucs2 = Utf8ToUcs2(utf8);
    return Field{ucs2, ucs2.size() / 2};
  };
  Field password = text(login.password);
  password.bytes = ScramblePassword(password.bytes);
  Field fields[] = {text(login.host_name),
                    text(login.user_name),
                    password,
                    text(login.app_name),
                    text(login.server_name),
                    Field{"", 0},  // the unused (extension) slot
                    text(login.library_name),
                    text(login.language),
                    text(login.database)};
  Field sspi{std::string(login.sspi.begin(), login.sspi.end()), login.sspi.size()};
  Field attach = text(login.attach_db_file);
  Field change = text(login.change_password);

  Writer w;
  w.U32(0);  // length, filled at the end
  w.U32(login.tds_version);
  w.U32(login.packet_size);
  w.U32(login.client_version);
  w.U32(login.client_pid);
  w.U32(login.connection_id);
  w.U8(login.option_flags1);
  w.U8(login.option_flags2);
  w.U8(login.type_flags);
  w.U8(login.option_flags3);
  w.U32(static_cast<uint32_t>(login.time_zone));
  w.U32(login.lcid);
  std::string data;
  auto slot = [&](const Field& f) {
    w.U16(static_cast<uint16_t>(fixed + data.size()));
    w.U16(static_cast<uint16_t>(f.length));
    data += f.bytes;
  };
  for (const Field& f : fields) slot(f);
  w.Bytes(std::span<const uint8_t>(login.client_id));
  slot(sspi);
  slot(attach);
  if (tds72) {
    slot(change);
    w.U32(0);  // the long SSPI length, unused while SSPI fits in 16 bits
  }
  w.Bytes(data);
  w.PatchU32(0, static_cast<uint32_t>(w.size()));
  return w.Take();
}

Login7 DecodeLogin7(std::span<const uint8_t> payload) {
  Reader r(payload);
  Login7 login;
  uint32_t length = r.U32();
  if (length != payload.size()) {
    throw DecodeError("LOGIN7 declares " + std::to_string(length) + " bytes, the message has " +
                      std::to_string(payload.size()));
  }
  if (length < kFixedPart71) {
    throw DecodeError("LOGIN7 of " + std::to_string(length) + " bytes is shorter than its " +
                      std::to_string(kFixedPart71) + "-byte fixed part");
  }
  login.tds_version = r.U32();
  login.packet_size = r.U32();
  login.client_version = r.U32();
  login.client_pid = r.U32();
  login.connection_id = r.U32();
  login.option_flags1 = r.U8();
  login.option_flags2 = r.U8();
  login.type_flags = r.U8();
  login.option_flags3 = r.U8();
  login.time_zone = static_cast<int32_t>(r.U32());
  login.lcid = r.U32();
  Slot slots[9];
  for (Slot& s : slots) s = {r.U16(), r.U16()};
  auto id = r.Bytes(6);
  std::copy(id.begin(), id.end(), login.client_id.begin());
  Slot sspi{r.U16(), r.U16()};
  Slot attach{r.U16(), r.U16()};
  Slot change;
  uint32_t sspi_long = 0;
  // The 94-byte fixed part only when the client speaks 7.2 and its data
  // starts after it; a 7.2 client may still send the short form.
  bool long_form = login.tds_version >= kTds72 && length >= kFixedPart72 &&
                   (slots[0].offset >= kFixedPart72 || slots[0].length == 0);
  if (long_form) {
    change = {r.U16(), r.U16()};
    sspi_long = r.U32();
  }

  auto bytes_of = [&](Slot s, size_t unit, const char* name) {
    size_t size = size_t{s.length} * unit;
    if (size == 0) return std::span<const uint8_t>();
    if (s.offset < kFixedPart71 || s.offset + size > payload.size()) {
      throw DecodeError(std::string("LOGIN7 field ") + name + " (offset " +
                        std::to_string(s.offset) + ", " + std::to_string(size) +
                        " bytes) lies outside the message of " + std::to_string(payload.size()) +
                        " bytes");
    }
    return payload.subspan(s.offset, size);
  };
  auto text = [&](Slot s, const char* name) { return Ucs2ToUtf8(bytes_of(s, 2, name)); };
  login.host_name = text(slots[0], "HostName");
  login.user_name = text(slots[1], "UserName");
  {
    std::string clear = UnscramblePassword(bytes_of(slots[2], 2, "Password"));
    login.password = Ucs2ToUtf8(
        std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(clear.data()), clear.size()));
  }
  login.app_name = text(slots[3], "AppName");
  login.server_name = text(slots[4], "ServerName");
  // slots[5] is the unused or extension slot: nothing this server reads.
  login.library_name = text(slots[6], "CltIntName");
  login.language = text(slots[7], "Language");
  login.database = text(slots[8], "Database");
  if (sspi.length == 0xFFFF && sspi_long != 0) {
    throw DecodeError("LOGIN7 SSPI data of " + std::to_string(sspi_long) +
                      " bytes is more than this server takes");
  }
  auto sspi_bytes = bytes_of(sspi, 1, "SSPI");
  login.sspi.assign(sspi_bytes.begin(), sspi_bytes.end());
  login.attach_db_file = text(attach, "AtchDBFile");
  login.change_password = text(change, "ChangePassword");
  return login;
}

}  // namespace server::tds
