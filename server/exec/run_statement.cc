#include "server/exec/executor.h"
#include "server/exec/locking.h"
#include "server/exec/transactions.h"

namespace server {

namespace {

bool SetsOption(const Statement& statement, std::string_view option) {
  const auto* set = std::get_if<SetStmt>(&statement.node);
  return set && set->option == option;
}

// Whether NOEXEC or FMTONLY keeps a statement from running: under NOEXEC
// only SET NOEXEC runs; under FMTONLY SET runs, SELECT runs for its columns
// (RunSelect reads no rows) and EXEC runs a procedure's body under the same
// rule, and nothing else has an effect.
bool HeldBack(const Statement& statement, const SessionOptions& options) {
  if (options.noexec) return !SetsOption(statement, "NOEXEC");
  if (options.fmtonly) {
    return !std::holds_alternative<SetStmt>(statement.node) &&
           !std::holds_alternative<SelectStmt>(statement.node) &&
           !std::holds_alternative<ExecStmt>(statement.node);
  }
  return false;
}

Access AccessOf(const Statement& statement) {
  return std::visit(
      [](const auto& node) {
        using T = std::decay_t<decltype(node)>;
        if constexpr (std::is_same_v<T, InsertStmt> || std::is_same_v<T, UpdateStmt> ||
                      std::is_same_v<T, DeleteStmt>) {
          return Access::kRows;
        }
        if constexpr (std::is_same_v<T, SelectStmt> || std::is_same_v<T, UseStmt> ||
                      std::is_same_v<T, SetStmt> || std::is_same_v<T, PrintStmt> ||
                      std::is_same_v<T, TransactionStmt> || std::is_same_v<T, IfStmt> ||
                      std::is_same_v<T, ExecStmt>) {
          return Access::kRead;
        }
        return Access::kCatalog;
      },
      statement.node);
}

}  // namespace

Status RunStatements(const Batch& batch, ExecContext& ctx) {
  // PARSEONLY takes effect as the batch is parsed, before any of it runs:
  // what follows SET PARSEONLY ON is only checked, here and in later batches.
  std::vector<bool> parse_only(batch.statements.size(), false);
  bool& parsing_only = ctx.session.options.parseonly;
  for (size_t i = 0; i < batch.statements.size(); ++i) {
    const Statement& statement = batch.statements[i];
    if (SetsOption(statement, "PARSEONLY")) {
      parsing_only = std::get<SetStmt>(statement.node).value == "ON";
    } else {
      parse_only[i] = parsing_only;
    }
  }
  for (size_t i = 0; i < batch.statements.size(); ++i) {
    if (parse_only[i]) continue;
    Status s = RunStatement(batch.statements[i], ctx);
    if (!s) continue;
    if (EndsBatch(*s, ctx.session.options)) {
      // Once per batch, whether the error came from the batch or from a
      // procedure it ran.
      if (ctx.depth == 0) EndTransactionAfterError(*s, ctx);
      return s;
    }
    // The statement failed alone (its changes undone); the rest runs.
    ctx.outcome.AddError(std::move(*s), false);
  }
  return std::nullopt;
}

namespace {

Status RunInScope(const Statement& statement, ExecContext& ctx) {
  // FMTONLY reads no rows, so it begins nothing.
  if (!ctx.session.options.fmtonly) {
    if (Status s = PrepareTransaction(statement, ctx)) {
      if (s->line <= 0) s->line = statement.line;
      return s;
    }
  }
  auto run = [&ctx](const Statement& statement) {
    return std::visit(
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
          if constexpr (std::is_same_v<T, TransactionStmt>) return ExecuteTransaction(node, ctx);
          if constexpr (std::is_same_v<T, IfStmt>) return ExecuteIf(node, ctx);
        },
        statement.node);
  };
  // A statement that fails leaves nothing changed: it runs inside a savepoint
  // of the store's transaction. Only statements that change data directly
  // take one. Transaction statements move the store's own transaction, and
  // IF and a procedure call run statements that take their own (a failing
  // procedure keeps what its earlier statements did, as in SQL Server), so
  // no savepoint is ever open around a BEGIN, COMMIT or ROLLBACK.
  bool atomic = !std::holds_alternative<TransactionStmt>(statement.node) &&
                !std::holds_alternative<IfStmt>(statement.node) &&
                !std::holds_alternative<ExecStmt>(statement.node);
  Status status;
  if (atomic) {
    status = RunAtomically(ctx, AccessOf(statement), [&] { return run(statement); });
  } else {
    status = run(statement);
  }
  if (status && status->line <= 0) status->line = statement.line;
  return status;
}

}  // namespace

Status RunStatement(const Statement& statement, ExecContext& ctx) {
  if (HeldBack(statement, ctx.session.options)) return std::nullopt;
  // The locks the statement takes to its own end go when it ends.
  int level = ctx.transactions.EnterStatement(ctx.session);
  Status status = RunInScope(statement, ctx);
  ctx.transactions.LeaveStatement(ctx.session, level);
  return status;
}

Status RunAtomically(ExecContext& ctx, Access access, const std::function<Status()>& body) {
  if (access != Access::kRead) {
    if (Status s = ctx.transactions.StartChanging(ctx.session)) return s;
    Database* db = ctx.CurrentDatabase();
    if (access == Access::kCatalog && db) {
      if (Status s = LockCatalogForChanging(*db, ctx)) return s;
    }
  }
  // A session that changes nothing takes no savepoint: the store's
  // transaction, and its savepoints, belong to the writer.
  if (!ctx.transactions.Changing(ctx.session)) return body();
  constexpr std::string_view kSavepoint = "statement";
  if (Status s = ctx.store.Savepoint(kSavepoint)) return s;
  Status status = body();
  if (status) {
    ctx.store.RollbackTo(kSavepoint);
  } else {
    ctx.store.Release(kSavepoint);
  }
  return status;
}

}  // namespace server
