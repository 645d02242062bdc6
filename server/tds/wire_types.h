#ifndef TAVORA_SERVER_TDS_WIRE_TYPES_H_
#define TAVORA_SERVER_TDS_WIRE_TYPES_H_

#include <cstdint>

namespace server::tds {

// Internal to the column codec (columns.cc and values.cc).

// How a wire type frames its type information and its values.
enum class Framing {
  kByteLength,   // 1-byte length, 0 for NULL (INTN, FLTN, ...)
  kDecimal,      // 1-byte length, precision, scale; values as kByteLength
  kShortLength,  // 2-byte maximum, 0xFFFF for NULL (BIG* and N* types)
  kLongLength,   // 4-byte maximum, table name; values behind a text pointer
  kFixed,        // no length anywhere, never NULL (INT4, FLT8, ...)
};

struct WireInfo {
  uint8_t type;
  Framing framing;
  bool collation;  // character types carry the 5-byte collation
  // The type whose values it holds, when it is an older or fixed-length
  // form of one (INT4 of INTN, VARCHAR of BIGVARCHAR); 0 for itself.
  uint8_t same_as = 0;
  uint8_t size = 0;  // kFixed: bytes of every value
};

// The framing of a wire type code; null for a code this server does not know.
const WireInfo* FindWire(uint8_t type);

// The type code whose values `type` holds (itself for the types this
// server sends).
uint8_t ValueType(uint8_t type);

// Bytes of a decimal value, sign byte included, by precision.
uint8_t DecimalLength(int precision);

}  // namespace server::tds

#endif  // TAVORA_SERVER_TDS_WIRE_TYPES_H_
