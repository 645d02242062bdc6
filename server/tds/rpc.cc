#include "server/tds/rpc.h"

#include "server/tds/sql_batch.h"
#include "server/tds/wire.h"

namespace server::tds {

std::vector<uint8_t> EncodeRpc(const RpcRequest& request, bool all_headers) {
  Writer w;
  w.Bytes(EncodeSqlBatch("", all_headers));
  if (request.proc_id != 0) {
    w.U16(0xFFFF);
    w.U16(request.proc_id);
  } else {
    w.UsVarChar(request.proc_name);
  }
  w.U16(request.options);
  for (const RpcParameter& p : request.parameters) {
    w.BVarChar(p.name);
    w.U8(p.status);
    EncodeTypeInfo(w, p.type, Layout::kTds71, false);
    EncodeParameterValue(w, p.type, p.value);
  }
  return w.Take();
}

std::vector<RpcRequest> DecodeRpc(std::span<const uint8_t> payload) {
  Reader r(payload.subspan(AllHeadersLength(payload)));
  std::vector<RpcRequest> calls;
  do {
    RpcRequest& request = calls.emplace_back();
    uint16_t name_length = r.U16();
    if (name_length == 0xFFFF) {
      request.proc_id = r.U16();
    } else {
      request.proc_name = r.Ucs2(name_length);
    }
    request.options = r.U16();
    while (!r.empty()) {
      uint8_t next = r.U8();
      // The batch flag: another call follows.
      if (next == 0x80 || next == 0xFF) {
        if (r.empty()) throw DecodeError("a batch flag with no call after it");
        break;
      }
      RpcParameter p;
      p.name = r.Ucs2(next);
      p.status = r.U8();
      p.type = DecodeTypeInfo(r, Layout::kTds71, false);
      p.value = DecodeParameterValue(r, p.type);
      request.parameters.push_back(std::move(p));
    }
  } while (!r.empty());
  return calls;
}

}  // namespace server::tds
