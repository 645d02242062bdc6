// IF condition statement [ELSE statement]. Clients end transactions this
// way: the ODBC driver over TDS 7.1 sends "IF @@TRANCOUNT > 0 COMMIT".

#include "server/exec/eval.h"
#include "server/exec/executor.h"

namespace server {

Status ExecuteIf(const IfStmt& stmt, ExecContext& ctx) {
  if (Status s = BindColumns(*stmt.condition, nullptr, ctx.collation())) return s;
  bool holds = false;
  if (Status s = Test(*stmt.condition, EvalScope{ctx}, holds)) return s;
  ctx.session.last_error = 0;
  const Statement* branch = holds ? stmt.then_branch.get() : stmt.else_branch.get();
  return branch ? RunStatement(*branch, ctx) : std::nullopt;
}

}  // namespace server
