#include "server/exec/executor.h"

namespace server {

Status RunStatement(const Statement& statement, ExecContext& ctx) {
  Status status = std::visit(
      [&ctx](const auto& node) -> Status {
        using T = std::decay_t<decltype(node)>;
        if constexpr (std::is_same_v<T, UseStmt>) return ExecuteUse(node, ctx);
        if constexpr (std::is_same_v<T, CreateDatabaseStmt>)
          return ExecuteCreateDatabase(node, ctx);
        if constexpr (std::is_same_v<T, DropDatabaseStmt>) return ExecuteDropDatabase(node, ctx);
        if constexpr (std::is_same_v<T, CreateTableStmt>) return ExecuteCreateTable(node, ctx);
        if constexpr (std::is_same_v<T, CreateIndexStmt>) return ExecuteCreateIndex(node, ctx);
        if constexpr (std::is_same_v<T, SelectStmt>) return ExecuteSelect(node, ctx);
        if constexpr (std::is_same_v<T, InsertStmt>) return ExecuteInsert(node, ctx);
        if constexpr (std::is_same_v<T, UpdateStmt>) return ExecuteUpdate(node, ctx);
        if constexpr (std::is_same_v<T, DeleteStmt>) return ExecuteDelete(node, ctx);
        if constexpr (std::is_same_v<T, ExecStmt>) return ExecuteExec(node, ctx);
        if constexpr (std::is_same_v<T, GrantStmt>) return ExecuteGrant(node, ctx);
        if constexpr (std::is_same_v<T, CreateModuleStmt>) return ExecuteCreateModule(node, ctx);
        if constexpr (std::is_same_v<T, DropObjectStmt>) return ExecuteDropObject(node, ctx);
        if constexpr (std::is_same_v<T, SetStmt>) return ExecuteSet(node, ctx);
        if constexpr (std::is_same_v<T, PrintStmt>) return ExecutePrint(node, ctx);
      },
      statement.node);
  if (status && status->line <= 0) status->line = statement.line;
  return status;
}

}  // namespace server
