#include "server/tds/bulk_load.h"

#include "server/tds/wire.h"

namespace server::tds {

namespace {

constexpr uint8_t kColMetadata = 0x81;
constexpr uint8_t kRow = 0xD1;
constexpr uint8_t kDone = 0xFD;
constexpr size_t kDoneLength = 8;  // status, command, 4-byte count in 7.1

}  // namespace

std::vector<uint8_t> EncodeBulkLoad(const BulkLoadMessage& message) {
  Writer w;
  EncodeColMetadata(w, message.columns, Layout::kTds71);
  for (const std::vector<Value>& row : message.rows) EncodeRow(w, message.columns, row);
  w.U8(kDone);
  for (size_t i = 0; i < kDoneLength; ++i) w.U8(0);
  return w.Take();
}

BulkLoadMessage DecodeBulkLoad(std::span<const uint8_t> payload) {
  Reader r(payload);
  BulkLoadMessage message;
  if (r.empty() || r.U8() != kColMetadata)
    throw DecodeError("a bulk load that does not begin with its column description");
  message.columns = DecodeColMetadata(r, Layout::kTds71);
  while (!r.empty()) {
    uint8_t token = r.U8();
    if (token == kRow) {
      message.rows.push_back(DecodeRow(r, message.columns));
    } else if (token == kDone) {
      r.Bytes(kDoneLength);
      if (!r.empty()) throw DecodeError("bytes after the end of a bulk load");
    } else {
      throw DecodeError("token " + std::to_string(token) + " in a bulk load");
    }
  }
  return message;
}

BulkRows ToBulkRows(BulkLoadMessage message) {
  BulkRows rows;
  for (const Column& column : message.columns) rows.types.push_back(SqlTypeOf(column));
  rows.rows = std::move(message.rows);
  return rows;
}

}  // namespace server::tds
