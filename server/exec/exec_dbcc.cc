// DBCC USEROPTIONS and UPDATE STATISTICS, which database tools send as they
// look at a session or tidy a table.

#include "server/exec/executor.h"
#include "server/exec/help_procedures.h"
#include "server/exec/locking.h"
#include "server/exec/relation.h"
#include "server/exec/temp_tables.h"
#include "server/types/collation.h"

namespace server {

namespace {

// SQL Server 2000 sends both as text; the exact widths are unsure.
constexpr SystemColumn kUserOptionColumns[] = {{"Set Option", sys_type::NVarChar(128)},
                                               {"Value", sys_type::NVarChar(128)}};

const char* IsolationWords(Isolation isolation) {
  switch (isolation) {
    case Isolation::kReadUncommitted:
      return "read uncommitted";
    case Isolation::kReadCommitted:
      return "read committed";
    case Isolation::kRepeatableRead:
      return "repeatable read";
    case Isolation::kSerializable:
      return "serializable";
  }
  return "";
}

// The options that are on or have a value, in the order SQL Server 2000
// lists them (as far as is known; those it lists only once set come where
// they seem to). Language, date format and first day of the week are fixed
// here, as is ANSI_PADDING.
std::vector<Row> UserOptionRows(const SessionOptions& options) {
  std::vector<Row> rows;
  auto add = [&rows](const char* name, std::string value) {
    rows.push_back({std::string(name), std::move(value)});
  };
  auto flag = [&add](const char* name, bool on) {
    if (on) add(name, "SET");
  };
  add("textsize", std::to_string(options.textsize));
  add("language", "us_english");
  add("dateformat", "mdy");
  add("datefirst", "7");
  if (options.lock_timeout != -1) add("lock_timeout", std::to_string(options.lock_timeout));
  if (options.rowcount != 0) add("rowcount", std::to_string(options.rowcount));
  flag("nocount", options.nocount);
  flag("quoted_identifier", options.quoted_identifier);
  flag("arithabort", options.arithabort);
  flag("ansi_null_dflt_on", options.ansi_null_dflt_on);
  flag("ansi_null_dflt_off", options.ansi_null_dflt_off);
  flag("ansi_warnings", options.ansi_warnings);
  flag("ansi_padding", true);
  flag("ansi_nulls", options.ansi_nulls);
  flag("concat_null_yields_null", options.concat_null_yields_null);
  flag("implicit_transactions", options.implicit_transactions);
  flag("cursor_close_on_commit", options.cursor_close_on_commit);
  flag("xact_abort", options.xact_abort);
  // Read committed is listed only once another level was chosen; the
  // server cannot tell a level set back to the default from one never set.
  if (options.isolation != Isolation::kReadCommitted)
    add("isolation level", IsolationWords(options.isolation));
  return rows;
}

}  // namespace

Status ExecuteDbcc(const DbccStmt& stmt, ExecContext& ctx) {
  // The parser lets only USEROPTIONS through.
  if (stmt.command != "USEROPTIONS") return Raise(Msg::kNotSupported, {"DBCC " + stmt.command});
  SendHelpRows(kUserOptionColumns, UserOptionRows(ctx.session.options), ctx);
  if (!stmt.no_infomsgs) HelpInform(Raise(Msg::kDbccCompleted), ctx);
  return std::nullopt;
}

Status ExecuteUpdateStatistics(const UpdateStatisticsStmt& stmt, ExecContext& ctx) {
  const ObjectName target = ResolveTempName(stmt.table, ctx);
  Database* db = DatabaseOf(target, ctx);
  std::optional<ObjectRef> object;
  if (db) {
    if (Status s = LockCatalogForReading(*db, ctx)) return s;
    object = db->FindObject(target.owner, target.name, ctx.collation());
  }
  if (!object || (object->kind != ObjectKind::kTable && object->kind != ObjectKind::kView))
    return Raise(Msg::kInvalidObjectName, {stmt.table.Text()});
  return Raise(Msg::kNotSupported, {"UPDATE STATISTICS (the server keeps no statistics)"});
}

}  // namespace server
