#ifndef TAVORA_SERVER_TDS_TOKENS_H_
#define TAVORA_SERVER_TDS_TOKENS_H_

#include <cstdint>
#include <span>
#include <string>
#include <variant>
#include <vector>

#include "server/engine.h"
#include "server/tds/columns.h"
#include "server/tds/wire.h"

namespace server::tds {

enum TokenType : uint8_t {
  kTokenReturnStatus = 0x79,
  kTokenColMetadata = 0x81,
  kTokenReturnValue = 0xAC,
  kTokenError = 0xAA,
  kTokenInfo = 0xAB,
  kTokenLoginAck = 0xAD,
  kTokenRow = 0xD1,
  kTokenEnvChange = 0xE3,
  kTokenDone = 0xFD,
  kTokenDoneProc = 0xFE,
  kTokenDoneInProc = 0xFF,
};

// ENVCHANGE types this server sends.
enum EnvType : uint8_t {
  kEnvDatabase = 1,
  kEnvLanguage = 2,
  kEnvPacketSize = 4,
  kEnvCollation = 7,
};

// ENVCHANGE (0xE3). Text types carry new and old value as B_VARCHAR; the
// collation type carries 5 bytes as its new value and none as the old.
struct EnvChange {
  uint8_t type = kEnvDatabase;
  std::string new_value;
  std::string old_value;
  std::vector<uint8_t> new_bytes;  // the collation type only

  friend bool operator==(const EnvChange&, const EnvChange&) = default;
};

// ERROR (0xAA) or INFO (0xAB).
struct ServerMessage {
  bool error = true;
  int32_t number = 0;
  uint8_t state = 1;
  uint8_t severity = 0;  // the protocol's "class"
  std::string text;      // cut to 4000 characters when sent
  std::string server;
  std::string procedure;
  int32_t line = 1;

  friend bool operator==(const ServerMessage&, const ServerMessage&) = default;
};

// LOGINACK (0xAD).
struct LoginAck {
  uint8_t interface = 1;  // T-SQL
  uint32_t tds_version = 0x71000001;
  std::string program;
  uint8_t major = 8;
  uint8_t minor = 0;
  uint16_t build = 2039;

  friend bool operator==(const LoginAck&, const LoginAck&) = default;
};

// DONE status bits.
constexpr uint16_t kDoneFinal = 0x0000;
constexpr uint16_t kDoneMore = 0x0001;
constexpr uint16_t kDoneError = 0x0002;
constexpr uint16_t kDoneCount = 0x0010;
constexpr uint16_t kDoneAttention = 0x0020;

// DONE (0xFD) and its procedure forms.
struct Done {
  uint8_t token = kTokenDone;
  uint16_t status = kDoneFinal;
  uint16_t command = 0;  // the current command's token; 0xC1 after a SELECT
  uint64_t row_count = 0;

  friend bool operator==(const Done&, const Done&) = default;
};

// RETURNSTATUS (0x79): a procedure's return code.
struct ReturnStatus {
  int32_t value = 0;
  friend bool operator==(const ReturnStatus&, const ReturnStatus&) = default;
};

// RETURNVALUE (0xAC): an output parameter's value after a procedure.
struct ReturnValue {
  uint16_t ordinal = 0;
  std::string name;
  uint8_t status = 0x01;  // output parameter
  Column type;
  Value value;
  friend bool operator==(const ReturnValue&, const ReturnValue&) = default;
};

struct ColMetadata {
  std::vector<Column> columns;
  friend bool operator==(const ColMetadata&, const ColMetadata&) = default;
};

struct Row {
  std::vector<Value> values;
  friend bool operator==(const Row&, const Row&) = default;
};

// Each encoder appends its token, token byte first; each decoder is its
// mirror and is given the reader just after the token byte.
void Encode(Writer& w, const EnvChange& token);
EnvChange DecodeEnvChange(Reader& r);
void Encode(Writer& w, const ServerMessage& token, Layout layout);
ServerMessage DecodeServerMessage(Reader& r, bool error, Layout layout);
void Encode(Writer& w, const LoginAck& token);
LoginAck DecodeLoginAck(Reader& r);
void Encode(Writer& w, const Done& token, Layout layout);
Done DecodeDone(Reader& r, uint8_t token, Layout layout);
void Encode(Writer& w, const ReturnStatus& token);
ReturnStatus DecodeReturnStatus(Reader& r);
void Encode(Writer& w, const ReturnValue& token, Layout layout);
ReturnValue DecodeReturnValue(Reader& r, Layout layout);

// A whole reply, decoded: what a client sees. ROW tokens are read with the
// columns of the last COLMETADATA.
using Token = std::variant<EnvChange, ServerMessage, LoginAck, Done, ColMetadata, Row, ReturnStatus,
                           ReturnValue>;

// Decodes a token stream. Throws DecodeError on an unknown token, a ROW
// without COLMETADATA before it, or truncated data.
std::vector<Token> DecodeTokens(std::span<const uint8_t> stream, Layout layout);

}  // namespace server::tds

#endif  // TAVORA_SERVER_TDS_TOKENS_H_
