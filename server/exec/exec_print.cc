// PRINT: an informational message of severity 0.

#include "server/exec/eval.h"
#include "server/exec/executor.h"

namespace server {

Status ExecutePrint(const PrintStmt& stmt, ExecContext& ctx) {
  if (Status s = BindColumns(*stmt.expr, nullptr, ctx.collation())) return s;
  EvalScope scope{ctx};
  Scalar value;
  if (Status s = Evaluate(*stmt.expr, scope, value)) return s;
  ctx.Inform(SqlError{0, 0, 1, value.is_null() ? "" : ScalarText(value), stmt.expr->line});
  ctx.outcome.row_counts.push_back(-1);
  return std::nullopt;
}

}  // namespace server
