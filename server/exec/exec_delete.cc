// DELETE [FROM] table [WHERE condition]; refused while another row refers to
// a deleted key.

#include "server/exec/constraints.h"
#include "server/exec/cursors.h"
#include "server/exec/dml_common.h"
#include "server/exec/executor.h"
#include "server/exec/relation.h"
#include "server/exec/table_rows.h"
#include "server/exec/triggers.h"

namespace server {

Status ExecuteDelete(const DeleteStmt& stmt, ExecContext& ctx) {
  Database* db = nullptr;
  Table* table = nullptr;
  if (Status s =
          ResolveTargetTable(TargetName(stmt.table, stmt.from, ctx.collation()), ctx, db, table)) {
    return s;
  }
  // WHERE CURRENT OF: the cursor's row, found by its key.
  ExprPtr current_row;
  if (stmt.current_of) {
    if (Status s = CurrentOfCondition(*stmt.current_of, db->name, *table, {}, ctx, current_row))
      return s;
  }
  const Expr* where = stmt.current_of ? current_row.get() : stmt.where.get();
  TargetRows candidates;
  if (Status s = SelectTargetRows(*table, stmt.table, stmt.from, where, {}, ctx, candidates))
    return s;
  // An INSTEAD OF trigger gets the rows, which stay.
  bool instead = HasInsteadOfTrigger(*table, TriggerAction::kDelete, ctx);
  std::vector<Row> removed;
  for (TargetRow& target : candidates.rows) {
    StoredRow& stored = target.stored;
    if (!instead) {
      if (Status s = ctx.StoreOf(*table).Delete(*table, stored.id)) return s;
    }
    removed.push_back(std::move(stored.row));
  }
  int64_t count = static_cast<int64_t>(removed.size());
  TriggerEvent event{TriggerAction::kDelete, {}, std::move(removed), {}};
  if (instead) {
    if (Status s = FireInsteadOfTrigger(*db, *table, event, ctx)) return s;
  } else {
    ConstraintChecker checker(*table, *db, ctx, "DELETE");
    if (Status s = checker.CheckReferencedKeys(event.deleted)) return s;
    if (Status s = FireAfterTriggers(*db, *table, event, ctx)) return s;
  }
  if (stmt.current_of && count > 0) MarkCurrentRowDeleted(*stmt.current_of, ctx);
  ctx.CountRows(count);
  return std::nullopt;
}

}  // namespace server
