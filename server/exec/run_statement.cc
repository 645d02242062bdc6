#include "server/exec/cursors.h"
#include "server/exec/executor.h"
#include "server/exec/locking.h"
#include "server/exec/table_variables.h"
#include "server/exec/temp_tables.h"
#include "server/exec/transactions.h"

namespace server {

// Runs `body` in a savepoint of the session's store, when it changes data.
static Status RunInSavepoint(ExecContext& ctx, Access access, const std::function<Status()>& body);

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
          // A table variable is the session's alone: changing it needs no
          // place as the store's writer.
          return node.table.variable ? Access::kRead : Access::kRows;
        }
        if constexpr (std::is_same_v<T, CreateDatabaseStmt> ||
                      std::is_same_v<T, DropDatabaseStmt> || std::is_same_v<T, CreateTableStmt> ||
                      std::is_same_v<T, CreateIndexStmt> || std::is_same_v<T, AlterTableStmt> ||
                      std::is_same_v<T, GrantStmt> || std::is_same_v<T, CreateModuleStmt> ||
                      std::is_same_v<T, DropObjectStmt>) {
          return Access::kCatalog;
        }
        // SELECT ... INTO defines a table.
        if constexpr (std::is_same_v<T, SelectStmt>) {
          if (node.into) return Access::kCatalog;
        }
        return Access::kRead;
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
  // LOCAL cursors end with the batch or procedure that declared them.
  LocalCursorScope cursors(ctx);
  Status s = RunStatementList(batch.statements, ctx, &parse_only);
  // So do the local temporary tables a procedure made.
  if (Status dropped = DropScopeTempTables(ctx); dropped && !s) s = std::move(dropped);
  // A transaction ended in a trigger ends the batch; SQL Server 2000 says
  // nothing of it (later versions send 3609).
  if (s && ctx.depth == 0 && s->number == MessageNumber(Msg::kTriggerEndedTransaction)) {
    s.reset();
  }
  // Once per batch, whether the error came from the batch or from a
  // procedure it ran.
  if (s && ctx.depth == 0) EndTransactionAfterError(*s, ctx);
  // RETURN ends the batch or procedure and nothing more.
  if (ctx.flow == Flow::kReturn) ctx.flow = Flow::kNext;
  return s;
}

Status RunListedStatement(const Statement& statement, ExecContext& ctx) {
  Status s = RunStatement(statement, ctx);
  if (!s) {
    // @@ERROR: 0 after a statement that succeeded. Control of flow leaves
    // it to the statements it runs (IF and WHILE clear it once they have
    // tested their condition), and RAISERROR sets it itself.
    bool keeps = std::holds_alternative<IfStmt>(statement.node) ||
                 std::holds_alternative<WhileStmt>(statement.node) ||
                 std::holds_alternative<BlockStmt>(statement.node) ||
                 std::holds_alternative<JumpStmt>(statement.node) ||
                 std::holds_alternative<DeclareStmt>(statement.node) ||
                 std::holds_alternative<RaiserrorStmt>(statement.node);
    if (!keeps) ctx.session.last_error = 0;
    return std::nullopt;
  }
  ctx.session.last_error = s->number;
  if (EndsBatch(*s, ctx.session.options)) return s;
  // The statement failed alone (its changes undone); the rest runs.
  ctx.outcome.AddError(std::move(*s), false);
  return std::nullopt;
}

Status RunStatementList(const std::vector<Statement>& statements, ExecContext& ctx,
                        const std::vector<bool>* skip) {
  for (size_t i = 0; i < statements.size(); ++i) {
    if (skip && (*skip)[i]) continue;
    if (Status s = RunListedStatement(statements[i], ctx)) return s;
    if (ctx.flow == Flow::kGoto) {
      // A label of this list takes it; otherwise an enclosing one does.
      for (size_t j = 0; j < statements.size(); ++j) {
        const auto* label = std::get_if<JumpStmt>(&statements[j].node);
        if (label && label->kind == JumpKind::kLabel &&
            ctx.collation().Equal(label->label, ctx.jump_label)) {
          ctx.flow = Flow::kNext;
          i = j;
          break;
        }
      }
    }
    if (ctx.flow != Flow::kNext) return std::nullopt;
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
          if constexpr (std::is_same_v<T, AlterTableStmt>) return ExecuteAlterTable(node, ctx);
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
          if constexpr (std::is_same_v<T, DeclareStmt>) return ExecuteDeclare(node, ctx);
          if constexpr (std::is_same_v<T, SetVariableStmt>) return ExecuteSetVariable(node, ctx);
          if constexpr (std::is_same_v<T, BlockStmt>) return ExecuteBlock(node, ctx);
          if constexpr (std::is_same_v<T, WhileStmt>) return ExecuteWhile(node, ctx);
          if constexpr (std::is_same_v<T, JumpStmt>) return ExecuteJump(node, ctx);
          if constexpr (std::is_same_v<T, WaitforStmt>) return ExecuteWaitfor(node, ctx);
          if constexpr (std::is_same_v<T, RaiserrorStmt>) return ExecuteRaiserror(node, ctx);
          if constexpr (std::is_same_v<T, DeclareCursorStmt>)
            return ExecuteDeclareCursor(node, ctx);
          if constexpr (std::is_same_v<T, SetCursorStmt>) return ExecuteSetCursor(node, ctx);
          if constexpr (std::is_same_v<T, CursorStmt>) return ExecuteCursor(node, ctx);
          if constexpr (std::is_same_v<T, FetchStmt>) return ExecuteFetch(node, ctx);
          if constexpr (std::is_same_v<T, DbccStmt>) return ExecuteDbcc(node, ctx);
          if constexpr (std::is_same_v<T, UpdateStatisticsStmt>)
            return ExecuteUpdateStatistics(node, ctx);
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
                !std::holds_alternative<ExecStmt>(statement.node) &&
                !std::holds_alternative<BlockStmt>(statement.node) &&
                !std::holds_alternative<WhileStmt>(statement.node) &&
                !std::holds_alternative<JumpStmt>(statement.node) &&
                !std::holds_alternative<WaitforStmt>(statement.node);
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
  ctx.statement_line = statement.line;
  ctx.subquery_results.clear();
  ctx.warned_null_eliminated = false;
  // The locks the statement takes to its own end go when it ends.
  int level = ctx.transactions.EnterStatement(ctx.session);
  Status status = RunInScope(statement, ctx);
  ctx.transactions.LeaveStatement(ctx.session, level);
  return status;
}

Status RunAtomically(ExecContext& ctx, Access access, const std::function<Status()>& body) {
  return WithVariableSavepoint(ctx, [&] { return RunInSavepoint(ctx, access, body); });
}

static Status RunInSavepoint(ExecContext& ctx, Access access, const std::function<Status()>& body) {
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
  int64_t transactions_ended = ctx.transactions_ended;
  Status status = body();
  // A trigger's COMMIT or ROLLBACK took the savepoint with the transaction.
  if (ctx.transactions_ended != transactions_ended) return status;
  if (status) {
    ctx.store.RollbackTo(kSavepoint);
  } else {
    ctx.store.Release(kSavepoint);
  }
  return status;
}

}  // namespace server
