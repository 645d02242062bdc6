#include "server/tds/reply.h"

#include <algorithm>

#include "server/errors.h"

namespace server::tds {

namespace {

// DONE's current-command value after a SELECT.
constexpr uint16_t kCommandSelect = 0xC1;

Collation CollationBytes(const ReplyContext& context) { return context.collation; }

void AppendError(Writer& w, const ReplyContext& context, const SqlError& error) {
  Encode(w, MessageFrom(error, context.server_name), context.layout);
  Encode(w, Done{kTokenDone, kDoneError, 0, 0}, context.layout);
}

// The result set of each statement, -1 for a statement without one.
std::vector<int> StatementResults(const BatchOutcome& outcome) {
  std::vector<int> owner(outcome.row_counts.size(), -1);
  for (size_t r = 0; r < outcome.results.size(); ++r) {
    if (outcome.results[r].statement < owner.size()) {
      owner[outcome.results[r].statement] = static_cast<int>(r);
    }
  }
  return owner;
}

// COLMETADATA and ROWs of one result; EncodeError when a value does not fit.
std::vector<uint8_t> EncodeResult(const ReplyContext& context, const ResultSet& result) {
  std::vector<Column> columns;
  for (size_t c = 0; c < result.columns.size(); ++c) {
    std::string type = c < result.types.size() ? result.types[c] : "";
    columns.push_back(ColumnFor(result.columns[c], type, CollationBytes(context)));
  }
  Writer w;
  EncodeColMetadata(w, columns, context.layout);
  for (const std::vector<Value>& row : result.rows) EncodeRow(w, columns, row);
  return w.Take();
}

}  // namespace

ServerMessage MessageFrom(const SqlError& error, const std::string& server_name) {
  ServerMessage message;
  message.error = error.severity > 10;
  message.number = error.number;
  message.state = static_cast<uint8_t>(std::clamp(error.state, 0, 255));
  // SQL Server sends informational severity 10 as class 0; clients such as
  // pymssql take any message above a low class, 10 included, as an error.
  int severity = error.severity == 10 ? 0 : error.severity;
  message.severity = static_cast<uint8_t>(std::clamp(severity, 0, 255));
  message.text = error.message;
  message.server = server_name;
  message.line = std::max(error.line, 0);
  return message;
}

std::vector<uint8_t> LoginReply(const ReplyContext& context, const std::string& database,
                                uint32_t packet_size) {
  Writer w;
  Encode(w, EnvChange{kEnvDatabase, database, "master", {}});
  SqlError changed = Raise(Msg::kChangedDatabase, {database});
  changed.line = 0;
  Encode(w, MessageFrom(changed, context.server_name), context.layout);
  Collation collation = CollationBytes(context);
  Encode(w, EnvChange{kEnvCollation, "", "", {collation.begin(), collation.end()}});
  Encode(w, EnvChange{kEnvLanguage, "us_english", "", {}});
  SqlError language = Raise(Msg::kChangedLanguage, {"us_english"});
  language.line = 0;
  Encode(w, MessageFrom(language, context.server_name), context.layout);
  Encode(w, LoginAck{1, 0x71000001, kProgramName, 8, 0, 2039});
  Encode(w, EnvChange{kEnvPacketSize, std::to_string(packet_size), "4096", {}});
  Encode(w, Done{}, Layout::kTds71);
  return w.Take();
}

std::vector<uint8_t> LoginFailedReply(const ReplyContext& context, const SqlError& error) {
  Writer w;
  AppendError(w, context, error);
  return w.Take();
}

std::vector<uint8_t> ErrorReply(const ReplyContext& context, const SqlError& error) {
  return LoginFailedReply(context, error);
}

std::vector<uint8_t> AttentionReply(const ReplyContext& context) {
  Writer w;
  Encode(w, Done{kTokenDone, kDoneAttention, 0, 0}, context.layout);
  return w.Take();
}

namespace {

// The tokens of the batch's statements: ENVCHANGE and messages first, then
// per statement its result and its DONE (DONEINPROC inside a procedure,
// where the procedure's own DONE ends the reply). An error comes where it
// happened, as ERROR and a DONE with the error bit: between the statements
// when the batch went on after it, last when it ended the batch. False when
// a value could not be sent: the reply then already ends with error 50000.
bool AppendStatements(Writer& w, const ReplyContext& context, const BatchOutcome& outcome,
                      const std::string& old_database, const std::string& new_database,
                      bool in_procedure) {
  if (new_database != old_database) {
    Encode(w, EnvChange{kEnvDatabase, new_database, old_database, {}});
  }
  for (const SqlError& message : outcome.messages) {
    Encode(w, MessageFrom(message, context.server_name), context.layout);
  }
  std::vector<int> owner = StatementResults(outcome);
  const size_t statements = outcome.row_counts.size();
  const size_t items = statements + outcome.errors.size();
  const uint8_t token = in_procedure ? kTokenDoneInProc : kTokenDone;
  size_t sent = 0;  // DONE tokens so far; the last one of a batch is final
  auto more = [&] { return ++sent < items || in_procedure ? kDoneMore : kDoneFinal; };
  size_t next_error = 0;
  auto append_errors_before = [&](size_t statement) {
    for (; next_error < outcome.errors.size() &&
           std::min(outcome.errors[next_error].statement, statements) <= statement;
         ++next_error) {
      Encode(w, MessageFrom(outcome.errors[next_error].error, context.server_name), context.layout);
      Encode(w, Done{token, static_cast<uint16_t>(more() | kDoneError), 0, 0}, context.layout);
    }
  };
  for (size_t i = 0; i < statements; ++i) {
    append_errors_before(i);
    uint16_t command = 0;
    if (owner[i] >= 0) {
      try {
        w.Bytes(EncodeResult(context, outcome.results[owner[i]]));
      } catch (const EncodeError& e) {
        AppendError(w, context, Raise(Msg::kInternalError, {e.what()}));
        return false;
      }
      command = kCommandSelect;
    }
    int64_t count = outcome.row_counts[i];
    // Inside a procedure a statement with neither rows nor a count (SET,
    // or any under NOCOUNT) sends nothing: drivers take each DONEINPROC for
    // a result of its own, and the caller's first result would be empty.
    if (in_procedure && count < 0 && owner[i] < 0) continue;
    uint16_t status = more() | (count >= 0 ? kDoneCount : 0);
    Encode(w, Done{token, status, command, static_cast<uint64_t>(std::max<int64_t>(count, 0))},
           context.layout);
  }
  append_errors_before(statements);
  return true;
}

}  // namespace

std::vector<uint8_t> BatchReply(const ReplyContext& context, const BatchOutcome& outcome,
                                const std::string& old_database, const std::string& new_database) {
  Writer w;
  if (!AppendStatements(w, context, outcome, old_database, new_database, false)) return w.Take();
  // An empty batch still gets its DONE, or the client waits for one.
  if (outcome.row_counts.empty() && outcome.errors.empty()) Encode(w, Done{}, context.layout);
  return w.Take();
}

std::vector<uint8_t> ProcedureReply(const ReplyContext& context, const BatchOutcome& outcome,
                                    const std::string& old_database,
                                    const std::string& new_database, std::optional<int32_t> status,
                                    const std::vector<ReturnValue>& outputs, bool more) {
  Writer w;
  if (!AppendStatements(w, context, outcome, old_database, new_database, true)) return w.Take();
  if (status) {
    Encode(w, ReturnStatus{*status});
    try {
      Writer values;
      for (const ReturnValue& output : outputs) Encode(values, output, context.layout);
      w.Bytes(values.bytes());
    } catch (const EncodeError& e) {
      AppendError(w, context, Raise(Msg::kInternalError, {e.what()}));
      return w.Take();
    }
  }
  uint16_t done = (outcome.error ? kDoneError : kDoneFinal) | (more ? kDoneMore : 0);
  Encode(w, Done{kTokenDoneProc, done, 0, 0}, context.layout);
  return w.Take();
}

}  // namespace server::tds
