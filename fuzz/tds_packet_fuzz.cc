// libFuzzer target for TDS packet reassembly: the input is a byte stream as
// a client might send it, fed to the assembler in pieces whose sizes the
// first byte picks. Besides the sanitizers' findings it fails when the
// assembler hands out a message larger than its bound, or one that does not
// come back the same after being split into packets again.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>

#include "server/tds/packet.h"
#include "server/tds/wire.h"

namespace {

constexpr size_t kBound = 64 * 1024;

void Check(bool condition) {
  if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  size_t chunk = data[0] % 16 + 1;
  std::span<const uint8_t> stream(data + 1, size - 1);
  server::tds::MessageAssembler assembler(kBound);
  try {
    for (size_t at = 0; at < stream.size(); at += chunk) {
      assembler.Feed(stream.subspan(at, std::min(chunk, stream.size() - at)));
      while (auto message = assembler.Next()) {
        Check(message->payload.size() <= kBound);
        std::vector<uint8_t> again =
            server::tds::Packetize(message->type, message->payload, 0, 512);
        server::tds::MessageAssembler check(kBound);
        check.Feed(again);
        auto same = check.Next();
        Check(same && same->type == message->type && same->payload == message->payload);
        Check(check.idle() && !check.Next());
      }
    }
  } catch (const server::tds::DecodeError&) {
    // Refusing a broken stream is the expected outcome.
  }
  return 0;
}
