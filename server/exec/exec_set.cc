// SET options a client sends when it connects. The parser accepts only the
// options and values whose effect this server already has.

#include "server/exec/executor.h"

namespace server {

Status ExecuteSet(const SetStmt&, ExecContext& ctx) {
  ctx.outcome.row_counts.push_back(-1);
  return std::nullopt;
}

}  // namespace server
