#ifndef TAVORA_SERVER_TDS_BULK_LOAD_H_
#define TAVORA_SERVER_TDS_BULK_LOAD_H_

#include <cstdint>
#include <span>
#include <vector>

#include "server/engine.h"
#include "server/tds/columns.h"

namespace server::tds {

// A bulk load message as TDS 7.1 sends it after INSERT BULK: COLMETADATA
// describing the columns, a ROW per row, and optionally a DONE.
struct BulkLoadMessage {
  std::vector<Column> columns;
  std::vector<std::vector<Value>> rows;
};

std::vector<uint8_t> EncodeBulkLoad(const BulkLoadMessage& message);

// Throws DecodeError when the stream is malformed: no column description
// first, an unknown token, a row cut short, or bytes after the DONE.
BulkLoadMessage DecodeBulkLoad(std::span<const uint8_t> payload);

// The rows as the engine takes them, each column typed as described.
// Throws DecodeError for a description no SQL Server 2000 type matches.
BulkRows ToBulkRows(BulkLoadMessage message);

}  // namespace server::tds

#endif  // TAVORA_SERVER_TDS_BULK_LOAD_H_
