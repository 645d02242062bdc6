#ifndef TAVORA_SERVER_TDS_RPC_H_
#define TAVORA_SERVER_TDS_RPC_H_

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "server/engine.h"
#include "server/tds/columns.h"

namespace server::tds {

// Ids by which clients name the system procedures of prepared and
// parameterised statements instead of spelling them out.
enum ProcId : uint16_t {
  kSpExecuteSql = 10,
  kSpPrepare = 11,
  kSpExecute = 12,
  kSpPrepExec = 13,
  kSpUnprepare = 15,
};

constexpr uint8_t kParamOutput = 0x01;

struct RpcParameter {
  std::string name;
  uint8_t status = 0;
  Column type;
  Value value;

  friend bool operator==(const RpcParameter&, const RpcParameter&) = default;
};

// One procedure call of an RPC message: by id (`proc_id` non-zero) or by
// name.
struct RpcRequest {
  uint16_t proc_id = 0;
  std::string proc_name;
  uint16_t options = 0;
  std::vector<RpcParameter> parameters;

  friend bool operator==(const RpcRequest&, const RpcRequest&) = default;
};

// `all_headers` puts the 7.2 ALL_HEADERS block in front, as SQL batches do.
std::vector<uint8_t> EncodeRpc(const RpcRequest& request, bool all_headers);

// Reads the calls of an RPC message, one or more, each after a batch flag
// (0x80 in TDS 7.1, 0xFF later) but the first; the ALL_HEADERS block is
// skipped when there. Throws DecodeError when it is malformed.
std::vector<RpcRequest> DecodeRpc(std::span<const uint8_t> payload);

}  // namespace server::tds

#endif  // TAVORA_SERVER_TDS_RPC_H_
