// libFuzzer target for the decoders a client reaches before it logs in, and
// the requests after: the first byte picks PRELOGIN, LOGIN7, SQL batch, RPC
// or (the client side) a reply's token stream; the rest is the message.
// Besides the sanitizers' findings it fails when a decoded PRELOGIN, LOGIN7
// or batch does not survive encoding and decoding again, or a procedure name
// changes when quoted twice.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <span>

#include "server/tds/login7.h"
#include "server/tds/names.h"
#include "server/tds/prelogin.h"
#include "server/tds/rpc.h"
#include "server/tds/sql_batch.h"
#include "server/tds/tokens.h"
#include "server/tds/wire.h"

namespace {

void Check(bool condition) {
  if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  std::span<const uint8_t> message(data + 1, size - 1);
  using namespace server::tds;
  try {
    switch (data[0] % 5) {
      case 0: {
        PreLogin options = DecodePreLogin(message);
        Check(DecodePreLogin(EncodePreLogin(options)) == options);
        break;
      }
      case 1: {
        Login7 login = DecodeLogin7(message);
        Check(DecodeLogin7(EncodeLogin7(login)) == login);
        break;
      }
      case 2: {
        std::string sql = DecodeSqlBatch(message);
        Check(DecodeSqlBatch(EncodeSqlBatch(sql, true)) == sql);
        break;
      }
      case 3:
        // The client side of the codec: replies as the tests' client reads them.
        DecodeTokens(message, data[0] & 8 ? Layout::kTds72 : Layout::kTds71);
        break;
      case 4: {
        // A name the server accepts comes back the same when quoted again.
        for (const RpcRequest& rpc : DecodeRpc(message)) {
          if (std::optional<std::string> quoted = QuoteProcedureName(rpc.proc_name)) {
            Check(QuoteProcedureName(*quoted) == quoted);
          }
        }
        break;
      }
    }
  } catch (const DecodeError&) {
    // Refusing a malformed message is the expected outcome.
  }
  return 0;
}
