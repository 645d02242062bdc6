#ifndef TAVORA_SERVER_TDS_SQL_BATCH_H_
#define TAVORA_SERVER_TDS_SQL_BATCH_H_

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace server::tds {

// A SQL batch message: UCS-2 text, preceded from 7.2 on by an ALL_HEADERS
// block (its total length, then headers of length, type and data).
// `all_headers` adds one transaction-descriptor header, as 7.2 clients send.
std::vector<uint8_t> EncodeSqlBatch(std::string_view sql, bool all_headers);

// The batch text as UTF-8, the ALL_HEADERS block skipped when one is there.
// The block is recognised by its shape (a total length within the message,
// then a first header that fits inside it and has a known type), which text
// of any sense does not have.
std::string DecodeSqlBatch(std::span<const uint8_t> payload);

// Bytes of the ALL_HEADERS block at the start of a batch or RPC message, 0
// when there is none.
size_t AllHeadersLength(std::span<const uint8_t> payload);

}  // namespace server::tds

#endif  // TAVORA_SERVER_TDS_SQL_BATCH_H_
