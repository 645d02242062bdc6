#ifndef TAVORA_SERVER_TDS_REPLY_H_
#define TAVORA_SERVER_TDS_REPLY_H_

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "server/engine.h"
#include "server/tds/columns.h"
#include "server/tds/tokens.h"

namespace server::tds {

// The program name LOGINACK gives. Clients test it for the vendor's name to
// choose that dialect's behaviour, so it is the name of the server this one
// stands in for.
inline constexpr char kProgramName[] = "Microsoft SQL Server";

// What the replies say about the server and the session.
struct ReplyContext {
  std::string server_name;
  Collation collation = kCollationCaseInsensitive;
  // Widths of the tokens; 7.1 after LOGINACK.
  Layout layout = Layout::kTds71;
};

// An engine message as an ERROR (severity 11 and above) or INFO token; an
// informational message of severity 10 goes out as class 0, as SQL Server
// sends it.
ServerMessage MessageFrom(const SqlError& error, const std::string& server_name);

// The reply to a successful login: ENVCHANGE database, INFO 5701, ENVCHANGE
// collation and language, INFO 5703, LOGINACK (TDS 7.1), ENVCHANGE packet
// size, DONE.
// Tokens before LOGINACK use `context.layout` (the client's widths), the rest
// 7.1's.
std::vector<uint8_t> LoginReply(const ReplyContext& context, const std::string& database,
                                uint32_t packet_size);

// The reply to a refused login: ERROR, then DONE with the error bit.
std::vector<uint8_t> LoginFailedReply(const ReplyContext& context, const SqlError& error);

// The reply to one SQL batch: ENVCHANGE database when the batch changed it,
// the batch's informational messages, then per statement its COLMETADATA and
// ROWs (for a SELECT) and a DONE with its row count, "more" on all but the
// last; a failed batch ends with ERROR and a DONE with the error bit. A value
// that cannot be sent as its column's type ends the reply with error 50000.
std::vector<uint8_t> BatchReply(const ReplyContext& context, const BatchOutcome& outcome,
                                const std::string& old_database, const std::string& new_database);

// The reply to a procedure call (RPC) that ran `outcome`'s statements: as a
// batch's, but each statement ends with DONEINPROC, and the call with
// RETURNSTATUS (when it returned one), a RETURNVALUE per OUTPUT parameter,
// and DONEPROC; a failed call ends with ERROR and DONEPROC with the error
// bit. `more` marks DONEPROC when another call of the same message follows.
std::vector<uint8_t> ProcedureReply(const ReplyContext& context, const BatchOutcome& outcome,
                                    const std::string& old_database,
                                    const std::string& new_database, std::optional<int32_t> status,
                                    const std::vector<ReturnValue>& outputs, bool more = false);

// A request this server does not take (an RPC, a bulk load): ERROR and DONE.
std::vector<uint8_t> ErrorReply(const ReplyContext& context, const SqlError& error);

// The acknowledgement of an attention: DONE with the attention bit.
std::vector<uint8_t> AttentionReply(const ReplyContext& context);

}  // namespace server::tds

#endif  // TAVORA_SERVER_TDS_REPLY_H_
