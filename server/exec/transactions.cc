#include "server/exec/transactions.h"

#include <initializer_list>

#include "server/exec/cursors.h"

namespace server {

namespace {

bool IsOneOf(int number, std::initializer_list<Msg> messages) {
  for (Msg msg : messages) {
    if (MessageNumber(msg) == number) return true;
  }
  return false;
}

bool EndsTransaction(const SqlError& error, const SessionOptions& options) {
  // 266 only tells the client; SQL Server goes on as if it were not there.
  if (error.number == MessageNumber(Msg::kTransactionCountChanged)) return false;
  // Every run-time error; severity 15 marks what SQL Server finds while
  // compiling, which XACT_ABORT leaves alone.
  if (options.xact_abort) return error.severity > 10 && error.severity != 15;
  if (error.number == MessageNumber(Msg::kDeadlockVictim)) return true;
  if (IsOneOf(error.number,
              {Msg::kConvertSyntax, Msg::kConvertError, Msg::kMoneySyntax, Msg::kDatetimeSyntax,
               Msg::kDatetimeRange, Msg::kSmallDatetimeRange, Msg::kGuidSyntax})) {
    return true;
  }
  return options.arithabort &&
         IsOneOf(error.number, {Msg::kArithmeticOverflowType, Msg::kArithmeticOverflowConvert,
                                Msg::kDivideByZero});
}

bool ChangesData(const Statement& statement) {
  return std::visit(
      [](const auto& node) {
        using T = std::decay_t<decltype(node)>;
        if constexpr (std::is_same_v<T, SelectStmt>) return !node.from.empty();
        // OPEN and FETCH read rows: they begin an implicit transaction too.
        if constexpr (std::is_same_v<T, CursorStmt>) return node.action == CursorAction::kOpen;
        return std::is_same_v<T, CreateDatabaseStmt> || std::is_same_v<T, DropDatabaseStmt> ||
               std::is_same_v<T, CreateTableStmt> || std::is_same_v<T, CreateIndexStmt> ||
               std::is_same_v<T, AlterTableStmt> || std::is_same_v<T, CreateModuleStmt> ||
               std::is_same_v<T, DropObjectStmt> || std::is_same_v<T, InsertStmt> ||
               std::is_same_v<T, UpdateStmt> || std::is_same_v<T, DeleteStmt> ||
               std::is_same_v<T, GrantStmt> || std::is_same_v<T, FetchStmt>;
      },
      statement.node);
}

void ClearTransaction(TransactionState& state) {
  state.count = 0;
  state.name.clear();
  state.savepoints.clear();
}

}  // namespace

bool EndsBatch(const SqlError& error, const SessionOptions& options) {
  if (EndsTransaction(error, options)) return true;
  if (error.severity >= 17 || error.number == 50000) return true;
  return IsOneOf(error.number, {Msg::kInvalidObjectName, Msg::kInvalidColumnName,
                                Msg::kNestingLimit, Msg::kTriggerEndedTransaction});
}

Status OpenTransaction(const std::string& name, ExecContext& ctx) {
  TransactionState& state = ctx.session.transaction;
  if (state.count == 0) {
    // Beginning commits what the batch did before.
    if (Status s = ctx.transactions.Begin(ctx.session)) return s;
    ++ctx.transactions_ended;
    state.name = name;
    state.savepoints.clear();
  }
  ++state.count;
  return std::nullopt;
}

Status RollbackTransaction(ExecContext& ctx) {
  if (ctx.implied_transaction) {
    // Only the statement that fired the trigger is undone, when the trigger
    // ends (its savepoint holds it); the batch's earlier work stays.
    ctx.implied_transaction = false;
    ClearTransaction(ctx.session.transaction);
    return std::nullopt;
  }
  if (Status s = ctx.transactions.Rollback(ctx.session)) return s;
  ++ctx.transactions_ended;
  ClearTransaction(ctx.session.transaction);
  if (ctx.session.options.cursor_close_on_commit) CloseAllCursors(ctx.session);
  return std::nullopt;
}

Status PrepareTransaction(const Statement& statement, ExecContext& ctx) {
  if (!ChangesData(statement)) return std::nullopt;
  if (ctx.session.options.implicit_transactions && ctx.session.transaction.count == 0) {
    if (Status s = OpenTransaction("", ctx)) return s;
  }
  if (ctx.session.transaction.count == 0) return std::nullopt;
  if (std::holds_alternative<CreateDatabaseStmt>(statement.node))
    return Raise(Msg::kNotInTransaction, {"CREATE DATABASE"});
  if (std::holds_alternative<DropDatabaseStmt>(statement.node))
    return Raise(Msg::kNotInTransaction, {"DROP DATABASE"});
  return std::nullopt;
}

void EndTransactionAfterError(const SqlError& error, ExecContext& ctx) {
  if (ctx.session.transaction.count == 0) return;
  if (!EndsTransaction(error, ctx.session.options)) return;
  // The batch reports its own error; a rollback that fails leaves the store
  // failing, and the engine then undoes the whole batch.
  RollbackTransaction(ctx);
}

Status CommitTransaction(ExecContext& ctx) {
  TransactionState& state = ctx.session.transaction;
  if (state.count == 0) return Raise(Msg::kCommitWithoutBegin);
  if (state.count == 1 && ctx.implied_transaction) {
    ctx.implied_transaction = false;
  } else if (state.count == 1) {
    if (Status s = ctx.transactions.Commit(ctx.session)) return s;
    ++ctx.transactions_ended;
  }
  if (--state.count == 0) {
    ClearTransaction(state);
    if (ctx.session.options.cursor_close_on_commit) CloseAllCursors(ctx.session);
  }
  return std::nullopt;
}

}  // namespace server
