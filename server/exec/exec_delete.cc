// DELETE [FROM] table [WHERE condition]; refused while another row refers to
// a deleted key.

#include "server/exec/constraints.h"
#include "server/exec/dml_common.h"
#include "server/exec/executor.h"
#include "server/exec/relation.h"

namespace server {

Status ExecuteDelete(const DeleteStmt& stmt, ExecContext& ctx) {
  Database* db = nullptr;
  Table* table = nullptr;
  if (Status s = ResolveTargetTable(stmt.table, ctx, db, table)) return s;
  RowSchema schema = TableSchema(*table);
  if (stmt.where) {
    if (Status s = BindColumns(*stmt.where, &schema, ctx.collation())) return s;
    if (HasAggregate(*stmt.where)) return Raise(Msg::kAggregateInWhere);
  }
  std::vector<Row> remaining;
  std::vector<const Row*> removed;
  for (const Row& stored : table->rows) {
    bool match = removed.size() < ctx.RowLimit();
    if (match && stmt.where) {
      Row current = stored;
      if (Status s = ComputeRow(*table, schema, ctx, current)) return s;
      EvalScope scope{ctx, &schema, &current, nullptr};
      if (Status s = Test(*stmt.where, scope, match)) return s;
    }
    if (match) {
      removed.push_back(&stored);
    } else {
      remaining.push_back(stored);
    }
  }
  ConstraintChecker checker(*table, *db, ctx, "DELETE");
  if (Status s = checker.CheckReferencedKeys(removed, remaining)) return s;
  int64_t count = static_cast<int64_t>(removed.size());
  table->rows = std::move(remaining);
  ctx.CountRows(count);
  if (count > 0) ctx.MarkChanged();
  return std::nullopt;
}

}  // namespace server
