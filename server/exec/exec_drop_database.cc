// DROP DATABASE: refused while a connection uses the database, while it is
// published, or when it is a system or distribution database.

#include <algorithm>

#include "server/exec/executor.h"

namespace server {

namespace {

Status CheckDroppable(const Database& db, const ExecContext& ctx) {
  if (db.system) return Raise(Msg::kSystemObject, {"drop", "database", db.name, "database"});
  for (const auto& session : ctx.sessions) {
    if (ctx.collation().Equal(session->database, db.name))
      return Raise(Msg::kDatabaseInUse, {"database", db.name});
  }
  if (db.publish || db.merge_publish)
    return Raise(Msg::kDatabaseReplicated, {"drop", "database", db.name});
  if (db.distribution) return Raise(Msg::kDatabaseDistribution, {"database", db.name});
  return std::nullopt;
}

}  // namespace

Status ExecuteDropDatabase(const DropDatabaseStmt& stmt, ExecContext& ctx) {
  for (const std::string& name : stmt.names) {
    Database* db = ctx.server.FindDatabase(name);
    if (!db) return Raise(Msg::kCannotDrop, {"drop", "database", name});
    if (Status s = CheckDroppable(*db, ctx)) return s;
    std::erase_if(ctx.server.databases,
                  [db](const std::unique_ptr<Database>& d) { return d.get() == db; });
    ctx.MarkChanged();
  }
  ctx.outcome.row_counts.push_back(-1);
  return std::nullopt;
}

}  // namespace server
