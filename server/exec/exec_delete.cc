// DELETE [FROM] table [WHERE condition]; refused while another row refers to
// a deleted key.

#include "server/exec/constraints.h"
#include "server/exec/cursors.h"
#include "server/exec/dml_common.h"
#include "server/exec/executor.h"
#include "server/exec/relation.h"
#include "server/exec/table_rows.h"

namespace server {

Status ExecuteDelete(const DeleteStmt& stmt, ExecContext& ctx) {
  Database* db = nullptr;
  Table* table = nullptr;
  if (Status s = ResolveTargetTable(stmt.table, ctx, db, table)) return s;
  RowSchema schema = TableSchema(*table);
  // WHERE CURRENT OF: the cursor's row, found by its key.
  ExprPtr current_row;
  if (stmt.current_of) {
    if (Status s = CurrentOfCondition(*stmt.current_of, db->name, *table, {}, ctx, current_row))
      return s;
  }
  const Expr* where = stmt.current_of ? current_row.get() : stmt.where.get();
  if (where) {
    if (Status s = BindColumns(*where, &schema, ctx.collation())) return s;
    if (HasAggregate(*where)) return Raise(Msg::kAggregateInWhere);
  }
  std::vector<StoredRow> candidates;
  if (Status s = ReadTableRows(*table, where, "", ctx, candidates)) return s;
  std::vector<Row> removed;
  for (StoredRow& stored : candidates) {
    if (removed.size() >= ctx.RowLimit()) break;
    bool match = true;
    if (where) {
      Row current = stored.row;
      if (Status s = ComputeRow(*table, schema, ctx, current)) return s;
      EvalScope scope{ctx, &schema, &current, nullptr};
      if (Status s = Test(*where, scope, match)) return s;
    }
    if (!match) continue;
    if (Status s = ctx.store.Delete(*table, stored.id)) return s;
    removed.push_back(std::move(stored.row));
  }
  ConstraintChecker checker(*table, *db, ctx, "DELETE");
  if (Status s = checker.CheckReferencedKeys(removed)) return s;
  int64_t count = static_cast<int64_t>(removed.size());
  if (stmt.current_of && count > 0) MarkCurrentRowDeleted(*stmt.current_of, ctx);
  ctx.CountRows(count);
  return std::nullopt;
}

}  // namespace server
