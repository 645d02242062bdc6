// BEGIN TRAN, COMMIT, ROLLBACK and SAVE TRAN with SQL Server 2000's rules:
// only the outermost BEGIN and COMMIT reach the storage, inner names are
// ignored, and ROLLBACK undoes everything or goes back to a savepoint.

#include <algorithm>

#include "base/utf.h"
#include "server/exec/eval.h"
#include "server/exec/executor.h"
#include "server/exec/transactions.h"
#include "server/types/scalar.h"

namespace server {

namespace {

// The name as written, or a variable's value cut to the longest name (SQL
// Server cuts a variable's value where it refuses a written name).
Status StatementName(const TransactionStmt& stmt, ExecContext& ctx, std::string& name) {
  name = stmt.name;
  if (!stmt.variable) return std::nullopt;
  Scalar value;
  if (Status s = Evaluate(*stmt.variable, EvalScope{ctx}, value)) return s;
  name =
      value.is_null() ? "" : std::string(base::Utf8Prefix(ScalarText(value), kMaxTransactionName));
  return std::nullopt;
}

Status RollbackStatement(const std::string& name, ExecContext& ctx) {
  TransactionState& state = ctx.session.transaction;
  if (state.count == 0) return Raise(Msg::kRollbackWithoutBegin);
  // Names compare exactly, whatever the server's collation.
  if (name.empty() || name == state.name) return RollbackTransaction(ctx);
  auto latest = std::find(state.savepoints.rbegin(), state.savepoints.rend(), name);
  if (latest == state.savepoints.rend()) return Raise(Msg::kNoSuchSavepoint, {name});
  size_t savepoint = static_cast<size_t>(state.savepoints.rend() - latest) - 1;
  if (Status s = ctx.transactions.RollbackTo(ctx.session, savepoint)) return s;
  state.savepoints.resize(savepoint + 1);
  return std::nullopt;
}

Status SaveTransaction(const std::string& name, ExecContext& ctx) {
  TransactionState& state = ctx.session.transaction;
  if (state.count == 0) return Raise(Msg::kSaveWithoutTransaction);
  if (Status s = ctx.transactions.Save(ctx.session)) return s;
  state.savepoints.push_back(name);
  return std::nullopt;
}

}  // namespace

Status ExecuteTransaction(const TransactionStmt& stmt, ExecContext& ctx) {
  // The INSERT's rows are in the balance until the procedure ends.
  if (ctx.in_insert_exec && stmt.action != TransactionAction::kSave)
    return Raise(Msg::kNotSupported, {"A transaction statement inside INSERT ... EXECUTE"});
  std::string name;
  if (Status s = StatementName(stmt, ctx, name)) return s;
  Status status;
  switch (stmt.action) {
    case TransactionAction::kBegin:
      status = OpenTransaction(name, ctx);
      break;
    case TransactionAction::kCommit:
      status = CommitTransaction(ctx);
      break;
    case TransactionAction::kRollback:
      status = RollbackStatement(name, ctx);
      break;
    case TransactionAction::kSave:
      status = SaveTransaction(name, ctx);
      break;
  }
  if (status) return status;
  ctx.outcome.row_counts.push_back(-1);
  return std::nullopt;
}

}  // namespace server
