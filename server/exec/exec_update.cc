// UPDATE table SET column = value, ... [WHERE condition]. Every changed row
// is checked against the constraints, from both sides of a foreign key,
// once all are stored; a failure is undone with the statement.

#include "server/exec/constraints.h"
#include "server/exec/cursors.h"
#include "server/exec/dml_common.h"
#include "server/exec/executor.h"
#include "server/exec/relation.h"
#include "server/exec/table_rows.h"
#include "server/exec/triggers.h"

namespace server {

Status ExecuteUpdate(const UpdateStmt& stmt, ExecContext& ctx) {
  Database* db = nullptr;
  Table* table = nullptr;
  const Collation& collation = ctx.collation();
  if (Status s = ResolveTargetTable(TargetName(stmt.table, stmt.from, collation), ctx, db, table))
    return s;
  std::vector<int> targets;
  std::vector<const Expr*> values;
  for (const auto& [name, value] : stmt.assignments) {
    int c = table->FindColumn(name, collation);
    if (c < 0) return Raise(Msg::kInvalidColumnName, {name});
    const Column& column = table->columns[c];
    if (column.is_computed()) return Raise(Msg::kComputedColumn, {column.name});
    if (column.type.base == BaseType::kTimestamp) return Raise(Msg::kUpdateTimestamp);
    if (column.identity) return Raise(Msg::kUpdateIdentity, {column.name});
    for (int seen : targets) {
      if (seen == c) return Raise(Msg::kDuplicateInsertColumn, {column.name});
    }
    targets.push_back(c);
    if (value->kind != ExprKind::kDefault) {
      if (HasAggregate(*value)) return Raise(Msg::kNotSupported, {"An aggregate in SET"});
      values.push_back(value.get());
    }
  }

  // WHERE CURRENT OF: the cursor's row, found by its key.
  ExprPtr current_row;
  if (stmt.current_of) {
    std::vector<std::string> assigned;
    for (const auto& assignment : stmt.assignments) assigned.push_back(assignment.first);
    if (Status s =
            CurrentOfCondition(*stmt.current_of, db->name, *table, assigned, ctx, current_row)) {
      return s;
    }
  }
  const Expr* where = stmt.current_of ? current_row.get() : stmt.where.get();

  ConstraintChecker checker(*table, *db, ctx, "UPDATE");
  if (Status s = checker.Prepare()) return s;
  int64_t dbts = db->dbts;
  int timestamp = table->TimestampColumn();
  TargetRows candidates;
  if (Status s = SelectTargetRows(*table, stmt.table, stmt.from, where, values, ctx, candidates)) {
    return s;
  }
  // Every new row is worked out from the rows as they were before any is
  // stored, then all are stored, then checked.
  std::vector<StoredRow> changed;
  std::vector<Row> old_rows;
  for (TargetRow& target : candidates.rows) {
    StoredRow& candidate = target.stored;
    EvalScope scope{ctx, &candidates.schema, target.seen, nullptr};
    Row row = candidate.row;
    for (size_t k = 0; k < targets.size(); ++k) {
      const Column& column = table->columns[targets[k]];
      const Expr& value = *stmt.assignments[k].second;
      if (value.kind == ExprKind::kDefault) {
        if (Status s = ColumnDefault(column, ctx, row[targets[k]])) return s;
      } else {
        Scalar result;
        if (Status s = Evaluate(value, scope, result)) return s;
        if (Status s = ConvertForStore(result, column.type, ctx.session.options.ansi_warnings,
                                       row[targets[k]]))
          return s;
      }
      if (!column.nullable && std::holds_alternative<std::monostate>(row[targets[k]])) {
        return Raise(Msg::kNullNotAllowed, {column.name, QualifiedName(*db, *table), "UPDATE"});
      }
    }
    if (timestamp >= 0) row[timestamp] = TimestampValue(++dbts);
    old_rows.push_back(std::move(candidate.row));
    changed.push_back({candidate.id, std::move(row)});
  }
  int64_t count = static_cast<int64_t>(old_rows.size());
  TriggerEvent event{TriggerAction::kUpdate, {}, {}, std::vector<bool>(table->columns.size())};
  for (int c : targets) event.updated[c] = true;
  if (HasInsteadOfTrigger(*table, TriggerAction::kUpdate, ctx)) {
    for (StoredRow& row : changed) event.inserted.push_back(std::move(row.row));
    event.deleted = std::move(old_rows);
    if (Status s = FireInsteadOfTrigger(*db, *table, event, ctx)) return s;
    ctx.CountRows(count);
    return std::nullopt;
  }
  std::vector<Row> new_rows;
  new_rows.reserve(changed.size());
  for (StoredRow& row : changed) {
    if (Status s = ctx.StoreOf(*table).Update(*table, row.id, row.row)) return s;
    new_rows.push_back(std::move(row.row));
  }
  for (const Row& row : new_rows) {
    if (Status s = checker.CheckRow(row)) return s;
  }
  if (Status s = checker.CheckUnique(new_rows)) return s;
  if (Status s = checker.CheckReferencedKeys(old_rows)) return s;

  bool counters_moved = db->dbts != dbts;
  db->dbts = dbts;
  if (counters_moved) ctx.MarkChanged();
  event.inserted = std::move(new_rows);
  event.deleted = std::move(old_rows);
  if (Status s = FireAfterTriggers(*db, *table, event, ctx)) return s;
  ctx.CountRows(count);
  return std::nullopt;
}

}  // namespace server
