// UPDATE table SET column = value, ... [WHERE condition]. Every changed row
// is checked against the constraints, from both sides of a foreign key,
// once all are stored; a failure is undone with the statement.

#include "server/exec/constraints.h"
#include "server/exec/cursors.h"
#include "server/exec/dml_common.h"
#include "server/exec/executor.h"
#include "server/exec/relation.h"
#include "server/exec/table_rows.h"

namespace server {

Status ExecuteUpdate(const UpdateStmt& stmt, ExecContext& ctx) {
  Database* db = nullptr;
  Table* table = nullptr;
  if (Status s = ResolveTargetTable(stmt.table, ctx, db, table)) return s;
  const Collation& collation = ctx.collation();
  RowSchema schema = TableSchema(*table);
  std::vector<int> targets;
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
      if (Status s = BindColumns(*value, &schema, collation)) return s;
      if (HasAggregate(*value)) return Raise(Msg::kNotSupported, {"An aggregate in SET"});
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
  if (where) {
    if (Status s = BindColumns(*where, &schema, collation)) return s;
    if (HasAggregate(*where)) return Raise(Msg::kAggregateInWhere);
  }

  ConstraintChecker checker(*table, *db, ctx, "UPDATE");
  if (Status s = checker.Prepare()) return s;
  int64_t dbts = db->dbts;
  int timestamp = table->TimestampColumn();
  std::vector<StoredRow> candidates;
  if (Status s = ReadTableRows(*table, where, "", ctx, candidates)) return s;
  // Every new row is worked out from the rows as they were before any is
  // stored, then all are stored, then checked.
  std::vector<StoredRow> changed;
  std::vector<Row> old_rows;
  for (StoredRow& candidate : candidates) {
    if (old_rows.size() >= ctx.RowLimit()) break;
    Row current = candidate.row;
    if (Status s = ComputeRow(*table, schema, ctx, current)) return s;
    EvalScope scope{ctx, &schema, &current, nullptr};
    bool match = true;
    if (where) {
      if (Status s = Test(*where, scope, match)) return s;
    }
    if (!match) continue;
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
  std::vector<Row> new_rows;
  new_rows.reserve(changed.size());
  for (StoredRow& row : changed) {
    if (Status s = ctx.store.Update(*table, row.id, row.row)) return s;
    new_rows.push_back(std::move(row.row));
  }
  for (const Row& row : new_rows) {
    if (Status s = checker.CheckRow(row)) return s;
  }
  if (Status s = checker.CheckUnique(new_rows)) return s;
  if (Status s = checker.CheckReferencedKeys(old_rows)) return s;

  int64_t count = static_cast<int64_t>(old_rows.size());
  bool counters_moved = db->dbts != dbts;
  db->dbts = dbts;
  ctx.CountRows(count);
  if (counters_moved) ctx.MarkChanged();
  return std::nullopt;
}

}  // namespace server
