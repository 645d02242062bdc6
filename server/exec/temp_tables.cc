#include "server/exec/temp_tables.h"

#include <cstdio>

#include "server/exec/locking.h"
#include "server/exec/relation.h"

namespace server {

namespace {

constexpr std::string_view kTempDb = "tempdb";

// The name tempdb's sysobjects shows for a local temporary table: the name,
// underscores to 116 characters and a 12-digit hexadecimal suffix, 128 in
// all, as in SQL Server. SQL Server's suffix counts the temporary tables
// made since it started; here it is the table's object id, which is as
// unique and survives the catalog being read back after a rollback.
std::string PaddedTempName(const std::string& name, int id) {
  char suffix[16];
  std::snprintf(suffix, sizeof suffix, "%012X", static_cast<unsigned>(id));
  std::string padded = name;
  if (padded.size() < kMaxLocalTempName) padded.resize(kMaxLocalTempName, '_');
  return padded + suffix;
}

// The scope a local temporary table made now ends with: the procedure (or
// trigger, or EXEC of a string) running, or 0 for the session's batches.
int CurrentTempScope(const ExecContext& ctx) { return ctx.depth > 0 ? ctx.cursor_scope : 0; }

// The session's own local temporary table written as `name`, the
// innermost scope's first; null when it has none.
const Table* OwnLocalTable(Database& tempdb, std::string_view name, const ExecContext& ctx) {
  const Table* found = nullptr;
  for (const auto& table : tempdb.tables) {
    if (table->temp_session == ctx.session.id && !table->temp_name.empty() &&
        ctx.collation().Equal(table->temp_name, name) &&
        (!found || table->temp_scope >= found->temp_scope)) {
      found = table.get();
    }
  }
  return found;
}

}  // namespace

ObjectName ResolveTempName(const ObjectName& name, ExecContext& ctx) {
  if (!IsTempName(name.name)) return name;
  ObjectName resolved = name;
  resolved.database = std::string(kTempDb);
  if (resolved.parts < 3) resolved.parts = 3;
  if (IsGlobalTempName(name.name)) return resolved;
  Database* tempdb = ctx.server.FindDatabase(kTempDb);
  if (const Table* own = tempdb ? OwnLocalTable(*tempdb, name.name, ctx) : nullptr) {
    resolved.name = own->name;
  }
  return resolved;
}

Status NameNewTable(const ObjectName& name, ExecContext& ctx, Database*& db, Table& table) {
  if (!IsTempName(name.name)) {
    db = DatabaseOf(name, ctx);
    if (!db) return Raise(Msg::kDatabaseNotFound, {name.database});
    table.name = name.name;
    return std::nullopt;
  }
  if (!name.database.empty() && !ctx.collation().Equal(name.database, kTempDb)) {
    SqlError warning = Raise(Msg::kTempDatabaseIgnored, {name.database});
    warning.line = ctx.statement_line;
    ctx.Inform(std::move(warning));
  }
  db = ctx.server.FindDatabase(kTempDb);
  if (!db) return Raise(Msg::kDatabaseNotFound, {kTempDb});
  if (Status s = LockCatalogForChanging(*db, ctx)) return s;
  table.temp_session = ctx.session.id;
  if (IsGlobalTempName(name.name)) {
    table.name = name.name;
    return std::nullopt;
  }
  if (name.name.size() > kMaxLocalTempName) {
    return Raise(Msg::kTempNameTooLong, {name.name, std::to_string(kMaxLocalTempName)});
  }
  table.temp_scope = CurrentTempScope(ctx);
  const Table* own = OwnLocalTable(*db, name.name, ctx);
  if (own && own->temp_scope == table.temp_scope) return Raise(Msg::kObjectExists, {name.name});
  table.temp_name = name.name;
  table.id = db->NewObjectId();
  table.name = PaddedTempName(name.name, table.id);
  return std::nullopt;
}

Status DropScopeTempTables(ExecContext& ctx) {
  int scope = CurrentTempScope(ctx);
  if (scope == 0) return std::nullopt;
  Database* tempdb = ctx.server.FindDatabase(kTempDb);
  if (!tempdb) return std::nullopt;
  auto ending = [&](const std::unique_ptr<Table>& table) {
    return table->temp_session == ctx.session.id && !table->temp_name.empty() &&
           table->temp_scope == scope;
  };
  if (std::none_of(tempdb->tables.begin(), tempdb->tables.end(), ending)) return std::nullopt;
  // Dropping is a change like DROP TABLE's, which a COMMIT in the
  // procedure may have left the session no longer making.
  if (Status s = ctx.transactions.StartChanging(ctx.session)) return s;
  if (Status s = LockCatalogForChanging(*tempdb, ctx)) return s;
  for (const auto& table : tempdb->tables) {
    if (ending(table)) tempdb->ForgetObject(table->id);
  }
  std::erase_if(tempdb->tables, ending);
  ctx.MarkChanged();
  return std::nullopt;
}

}  // namespace server
