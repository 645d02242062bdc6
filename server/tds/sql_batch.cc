#include "server/tds/sql_batch.h"

#include "server/tds/wire.h"

namespace server::tds {

namespace {

constexpr uint16_t kHeaderQueryNotification = 1;
constexpr uint16_t kHeaderTransactionDescriptor = 2;
constexpr uint16_t kHeaderTraceActivity = 3;

}  // namespace

size_t AllHeadersLength(std::span<const uint8_t> payload) {
  if (payload.size() < 10) return 0;
  Reader r(payload);
  uint32_t total = r.U32();
  uint32_t first = r.U32();
  uint16_t type = r.U16();
  bool known = type == kHeaderQueryNotification || type == kHeaderTransactionDescriptor ||
               type == kHeaderTraceActivity;
  if (!known || total > payload.size() || first < 6 || first > total - 4) return 0;
  return total;
}

std::vector<uint8_t> EncodeSqlBatch(std::string_view sql, bool all_headers) {
  Writer w;
  if (all_headers) {
    w.U32(22);  // the block: 4 + one header of 18
    w.U32(18);
    w.U16(kHeaderTransactionDescriptor);
    w.U64(0);  // no transaction
    w.U32(1);  // one outstanding request
  }
  w.Ucs2(sql);
  return w.Take();
}

std::string DecodeSqlBatch(std::span<const uint8_t> payload) {
  return Ucs2ToUtf8(payload.subspan(AllHeadersLength(payload)));
}

}  // namespace server::tds
