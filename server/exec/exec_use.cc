// USE database.

#include "server/exec/executor.h"

namespace server {

Status ExecuteUse(const UseStmt& stmt, ExecContext& ctx) {
  Database* db = ctx.server.FindDatabase(stmt.database);
  if (!db) return Raise(Msg::kDatabaseNotFoundOnUse, {stmt.database});
  ctx.session.database = db->name;
  ctx.Inform(Raise(Msg::kChangedDatabase, {db->name}));
  ctx.outcome.row_counts.push_back(-1);
  return std::nullopt;
}

}  // namespace server
