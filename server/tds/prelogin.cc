#include "server/tds/prelogin.h"

#include <string>

#include "server/tds/wire.h"

namespace server::tds {

namespace {

enum Option : uint8_t {
  kVersion = 0x00,
  kEncryption = 0x01,
  kInstance = 0x02,
  kThreadId = 0x03,
  kMars = 0x04,
  kTerminator = 0xFF,
};

struct OptionData {
  uint8_t token;
  std::vector<uint8_t> data;
};

}  // namespace

std::vector<uint8_t> EncodePreLogin(const PreLogin& options) {
  std::vector<OptionData> entries;
  if (options.version) {
    Writer w;
    w.U8(options.version->major);
    w.U8(options.version->minor);
    w.U16Be(options.version->build);
    w.U16(options.version->sub_build);
    entries.push_back({kVersion, w.Take()});
  }
  if (options.encryption) entries.push_back({kEncryption, {*options.encryption}});
  if (options.instance) {
    Writer w;
    w.Bytes(*options.instance);
    w.U8(0);
    entries.push_back({kInstance, w.Take()});
  }
  if (options.thread_id) {
    Writer w;
    w.U32Be(*options.thread_id);
    entries.push_back({kThreadId, w.Take()});
  }
  if (options.mars) entries.push_back({kMars, {*options.mars}});

  Writer out;
  size_t offset = entries.size() * 5 + 1;
  for (const OptionData& entry : entries) {
    out.U8(entry.token);
    out.U16Be(static_cast<uint16_t>(offset));
    out.U16Be(static_cast<uint16_t>(entry.data.size()));
    offset += entry.data.size();
  }
  out.U8(kTerminator);
  for (const OptionData& entry : entries) out.Bytes(entry.data);
  return out.Take();
}

PreLogin DecodePreLogin(std::span<const uint8_t> payload) {
  Reader table(payload);
  PreLogin options;
  struct Entry {
    uint8_t token;
    uint16_t offset;
    uint16_t length;
  };
  std::vector<Entry> entries;
  for (;;) {
    uint8_t token = table.U8();
    if (token == kTerminator) break;
    uint16_t offset = table.U16Be();
    uint16_t length = table.U16Be();
    entries.push_back({token, offset, length});
  }
  size_t table_end = table.position();
  for (const Entry& e : entries) {
    if (e.offset < table_end || size_t{e.offset} + e.length > payload.size()) {
      throw DecodeError("pre-login option " + std::to_string(e.token) +
                        " points outside the message");
    }
    Reader data(payload.subspan(e.offset, e.length));
    auto need = [&](size_t n, const char* name) {
      if (e.length < n) {
        throw DecodeError(std::string("pre-login option ") + name + " is " +
                          std::to_string(e.length) + " bytes, " + std::to_string(n) + " needed");
      }
    };
    switch (e.token) {
      case kVersion: {
        need(6, "VERSION");
        PreLogin::Version v;
        v.major = data.U8();
        v.minor = data.U8();
        v.build = data.U16Be();
        v.sub_build = data.U16();
        options.version = v;
        break;
      }
      case kEncryption:
        need(1, "ENCRYPTION");
        options.encryption = data.U8();
        break;
      case kInstance: {
        auto bytes = data.Bytes(e.length);
        std::string name(bytes.begin(), bytes.end());
        name.resize(name.find('\0') == std::string::npos ? name.size() : name.find('\0'));
        options.instance = name;
        break;
      }
      case kThreadId:
        options.thread_id = e.length >= 4 ? data.U32Be() : 0;
        break;
      case kMars:
        need(1, "MARS");
        options.mars = data.U8();
        break;
      default:
        break;
    }
  }
  return options;
}

PreLogin PreLoginReply(uint32_t thread_id) {
  PreLogin reply;
  reply.version = PreLogin::Version{8, 0, 2039, 0};
  reply.encryption = kEncryptNotSupported;
  reply.instance = "";
  reply.thread_id = thread_id;
  return reply;
}

}  // namespace server::tds
