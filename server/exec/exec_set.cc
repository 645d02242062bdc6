// SET: the session options this server honours. The parser has already
// refused every option and value it does not; the rest are either stored
// here or are what the server always does.

#include <cstdlib>

#include "server/exec/executor.h"

namespace server {

namespace {

// TEXTSIZE 0 puts back SQL Server's own default.
constexpr int64_t kDefaultTextSize = 4096;

}  // namespace

Status ExecuteSet(const SetStmt& stmt, ExecContext& ctx) {
  SessionOptions& options = ctx.session.options;
  const std::string& name = stmt.option;
  bool on = stmt.value == "ON";
  if (name == "NOCOUNT") {
    options.nocount = on;
  } else if (name == "NOEXEC") {
    options.noexec = on;
  } else if (name == "FMTONLY") {
    options.fmtonly = on;
  } else if (name == "ANSI_NULL_DFLT_ON") {
    // Turning one of the pair on turns the other off.
    options.ansi_null_dflt_on = on;
    if (on) options.ansi_null_dflt_off = false;
  } else if (name == "ANSI_NULL_DFLT_OFF") {
    options.ansi_null_dflt_off = on;
    if (on) options.ansi_null_dflt_on = false;
  } else if (name == "ARITHABORT") {
    options.arithabort = on;
  } else if (name == "QUOTED_IDENTIFIER") {
    // Already in effect from where the batch was parsed.
    options.quoted_identifier = on;
  } else if (name == "ANSI_NULLS") {
    options.ansi_nulls = on;
  } else if (name == "ANSI_WARNINGS") {
    options.ansi_warnings = on;
  } else if (name == "CONCAT_NULL_YIELDS_NULL") {
    options.concat_null_yields_null = on;
  } else if (name == "XACT_ABORT") {
    options.xact_abort = on;
  } else if (name == "IMPLICIT_TRANSACTIONS") {
    options.implicit_transactions = on;
  } else if (name == "CURSOR_CLOSE_ON_COMMIT") {
    options.cursor_close_on_commit = on;
  } else if (name == "ROWCOUNT") {
    options.rowcount = std::strtoll(stmt.value.c_str(), nullptr, 10);
  } else if (name == "TEXTSIZE") {
    int64_t size = std::strtoll(stmt.value.c_str(), nullptr, 10);
    options.textsize = size == 0 ? kDefaultTextSize : size;
  } else if (name == "LOCK_TIMEOUT") {
    options.lock_timeout = std::strtoll(stmt.value.c_str(), nullptr, 10);
  } else if (name == "TRANSACTION ISOLATION LEVEL") {
    const std::string& level = stmt.value;
    options.isolation = level == "READ UNCOMMITTED"  ? Isolation::kReadUncommitted
                        : level == "REPEATABLE READ" ? Isolation::kRepeatableRead
                        : level == "SERIALIZABLE"    ? Isolation::kSerializable
                                                     : Isolation::kReadCommitted;
  } else if (name == "DEADLOCK_PRIORITY") {
    options.deadlock_priority_low = stmt.value == "LOW";
  }
  // PARSEONLY took effect while the batch was parsed (RunStatements).
  ctx.outcome.row_counts.push_back(-1);
  return std::nullopt;
}

}  // namespace server
