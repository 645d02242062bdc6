// CREATE DATABASE: a new database with the server's defaults.

#include "server/exec/executor.h"

namespace server {

Status ExecuteCreateDatabase(const CreateDatabaseStmt& stmt, ExecContext& ctx) {
  if (ctx.server.FindDatabase(stmt.name)) return Raise(Msg::kDatabaseExists, {stmt.name});
  // Names compare under the one server collation, so a database cannot
  // have another.
  if (!stmt.collation.empty() && !EqualNoCase(stmt.collation, ctx.collation().name())) {
    return Raise(Msg::kNotSupported, {"A database collation other than the server's"});
  }
  ctx.server.AddDatabase(stmt.name, false);
  ctx.MarkChanged();
  ctx.outcome.row_counts.push_back(-1);
  return std::nullopt;
}

}  // namespace server
