// INSERT [INTO] table [(columns)] VALUES (...) | DEFAULT VALUES | SELECT ...
// | EXEC ...
// Values are converted to the columns' types; the server fills identity,
// timestamp, defaults and computed columns, and checks every constraint
// once the statement's rows are stored (a failure takes them off again).

#include "server/exec/constraints.h"
#include "server/exec/dml_common.h"
#include "server/exec/executor.h"
#include "server/exec/relation.h"
#include "server/exec/triggers.h"
#include "server/exec/type_resolution.h"
#include "server/sql/parser.h"

namespace server {

namespace {

// One value given for a target column; `use_default` for the DEFAULT keyword.
struct Given {
  Scalar value;
  bool use_default = false;
};

// The columns an INSERT's or an INSERT BULK's list names, in its order.
Status ListedColumns(const std::vector<std::string>& names, const Table& table,
                     const Collation& collation, std::vector<int>& out) {
  for (const std::string& name : names) {
    int i = table.FindColumn(name, collation);
    if (i < 0) return Raise(Msg::kInvalidColumnName, {name});
    for (int seen : out) {
      if (seen == i) return Raise(Msg::kDuplicateInsertColumn, {table.columns[i].name});
    }
    if (table.columns[i].is_computed()) return Raise(Msg::kComputedColumn, {table.columns[i].name});
    out.push_back(i);
  }
  return std::nullopt;
}

Status TargetColumns(const InsertStmt& stmt, const Table& table, const Collation& collation,
                     std::vector<int>& out) {
  if (!stmt.has_column_list) {
    // Without a list, values go to every column but identity and computed
    // ones (a timestamp column takes NULL or DEFAULT).
    for (size_t i = 0; i < table.columns.size(); ++i) {
      const Column& column = table.columns[i];
      if (!column.is_computed() && !column.identity) out.push_back(static_cast<int>(i));
    }
    return std::nullopt;
  }
  return ListedColumns(stmt.columns, table, collation, out);
}

// INSERT ... EXEC: every result set the procedure (or string) sends, in
// order, instead of being sent. A procedure that sends none inserts none.
Status ExecRows(const InsertStmt& stmt, size_t targets, ExecContext& ctx,
                std::vector<std::vector<Given>>& out) {
  // Transactions cannot begin or end inside the INSERT's own savepoint.
  bool nested = ctx.in_insert_exec;
  if (nested) return Raise(Msg::kInsertExecNested);
  ctx.in_insert_exec = true;
  const size_t first = ctx.outcome.results.size();
  Status status = ExecuteExec(*stmt.exec, ctx);
  ctx.in_insert_exec = nested;
  std::vector<ResultSet> results(std::make_move_iterator(ctx.outcome.results.begin() + first),
                                 std::make_move_iterator(ctx.outcome.results.end()));
  ctx.outcome.results.resize(first);
  if (status) return status;
  ctx.outcome.row_counts.pop_back();  // the EXEC's own; the INSERT counts
  for (ResultSet& result : results) {
    if (result.columns.size() != targets) return Raise(Msg::kInsertCountMismatch);
    std::vector<DataType> types;
    for (const std::string& text : result.types) {
      auto parsed = ParseTypeText(text);
      if (auto* error = std::get_if<SqlError>(&parsed)) return *error;
      ResolvedType resolved;
      if (Status s = ResolveType(std::get<DeclaredType>(parsed), nullptr, ctx.collation(),
                                 TypeUse{}, resolved)) {
        return s;
      }
      types.push_back(resolved.type);
    }
    for (Row& row : result.rows) {
      std::vector<Given> given;
      for (size_t i = 0; i < row.size(); ++i)
        given.push_back({Scalar{types[i], std::move(row[i])}});
      out.push_back(std::move(given));
    }
  }
  return std::nullopt;
}

Status GivenRows(const InsertStmt& stmt, size_t targets, ExecContext& ctx,
                 std::vector<std::vector<Given>>& out) {
  if (stmt.exec) return ExecRows(stmt, targets, ctx, out);
  if (stmt.default_values) {
    out.emplace_back();
    return std::nullopt;
  }
  if (stmt.select) {
    QueryResult query;
    if (Status s = RunSelect(*stmt.select, ctx, query)) return s;
    if (query.rows.size() > ctx.RowLimit()) query.rows.resize(ctx.RowLimit());
    size_t width = query.schema.names.size();
    if (width != targets) {
      if (!stmt.has_column_list) return Raise(Msg::kInsertCountMismatch);
      return Raise(width < targets ? Msg::kSelectFewerThanInsert : Msg::kSelectMoreThanInsert);
    }
    for (Row& row : query.rows) {
      std::vector<Given> given;
      for (size_t i = 0; i < row.size(); ++i)
        given.push_back({Scalar{query.schema.types[i], std::move(row[i])}});
      out.push_back(std::move(given));
    }
    return std::nullopt;
  }
  size_t count = stmt.values.size();
  if (!stmt.has_column_list && count != targets) return Raise(Msg::kInsertCountMismatch);
  if (count > targets) return Raise(Msg::kFewerColumnsThanValues);
  if (count < targets) return Raise(Msg::kMoreColumnsThanValues);
  std::vector<Given> given;
  for (const ExprPtr& expr : stmt.values) {
    if (expr->kind == ExprKind::kDefault) {
      given.push_back({NullScalar(), true});
      continue;
    }
    if (Status s = BindColumns(*expr, nullptr, ctx.collation())) return s;
    EvalScope scope{ctx};
    Scalar value;
    if (Status s = Evaluate(*expr, scope, value)) return s;
    given.push_back({std::move(value)});
  }
  out.push_back(std::move(given));
  return std::nullopt;
}

// Stores `given_rows` into `targets` of `table` as INSERT does, or as a
// bulk load does when `bulk` is given: then CHECK and FOREIGN KEY
// constraints and triggers only when it asks, a NULL takes the column's
// default unless it keeps NULLs, and an identity or timestamp value sent is
// the server's to choose unless it keeps identity values.
Status InsertRows(Database& db, Table& table, const std::vector<int>& targets,
                  const std::vector<std::vector<Given>>& given_rows, const InsertBulk* bulk,
                  ExecContext& ctx) {
  const bool checks = !bulk || bulk->check_constraints;
  const bool triggers = !bulk || bulk->fire_triggers;
  // An INSTEAD OF trigger gets the rows as they would be stored, and
  // nothing is stored or checked.
  bool instead = triggers && HasInsteadOfTrigger(table, TriggerAction::kInsert, ctx);
  ConstraintChecker checker(table, db, ctx, "INSERT");
  if (Status s = checker.Prepare()) return s;
  int64_t dbts = db.dbts;
  int64_t identity = table.identity_current;
  bool identity_used = table.identity_used;
  std::optional<int64_t> last_identity;
  // New rows are stored as they are made; on any error the statement's
  // savepoint takes them off again.
  std::vector<Row> stored;
  for (const std::vector<Given>& given : given_rows) {
    Row row(table.columns.size());
    std::vector<bool> filled(table.columns.size(), false);
    for (size_t k = 0; k < targets.size() && k < given.size(); ++k) {
      int c = targets[k];
      const Column& column = table.columns[c];
      if (given[k].use_default) continue;
      if (bulk && !bulk->keep_nulls && given[k].value.is_null()) continue;
      if (column.identity && !bulk) return Raise(Msg::kInsertIdentity, {table.name});
      if (column.identity && !bulk->keep_identity) continue;
      if (column.type.base == BaseType::kTimestamp) {
        if (!bulk && !given[k].value.is_null()) return Raise(Msg::kInsertTimestamp);
        continue;
      }
      if (Status s = ConvertForStore(given[k].value, column.type, ctx.session.options.ansi_warnings,
                                     row[c]))
        return s;
      filled[c] = true;
      if (column.identity) {
        // A kept identity value moves the counter on past it.
        int64_t kept = std::get<int64_t>(row[c]);
        bool beyond = column.identity_increment > 0 ? kept > identity : kept < identity;
        if (!identity_used || beyond) identity = kept;
        identity_used = true;
      }
    }
    for (size_t c = 0; c < table.columns.size(); ++c) {
      const Column& column = table.columns[c];
      if (filled[c] || column.is_computed()) continue;
      if (column.identity) {
        if (!identity_used) {
          identity = column.identity_seed;
        } else if (__builtin_add_overflow(identity, column.identity_increment, &identity)) {
          return Raise(Msg::kArithmeticOverflowConvert, {"IDENTITY", Info(column.type.base).name});
        }
        identity_used = true;
        last_identity = identity;
        Value v;
        if (Status s = Convert(IntScalar(identity, BaseType::kBigInt), column.type, false, v))
          return s;
        row[c] = std::move(v);
      } else if (column.type.base == BaseType::kTimestamp) {
        row[c] = TimestampValue(++dbts);
      } else if (Status s = ColumnDefault(column, ctx, row[c])) {
        return s;
      }
    }
    if (instead) {
      stored.push_back(std::move(row));
      continue;
    }
    for (size_t c = 0; c < table.columns.size(); ++c) {
      const Column& column = table.columns[c];
      if (!column.nullable && !column.is_computed() &&
          std::holds_alternative<std::monostate>(row[c])) {
        return Raise(Msg::kNullNotAllowed, {column.name, QualifiedName(db, table), "INSERT"});
      }
    }
    bool duplicate = false;
    if (Status s = checker.DuplicatesIgnoredKey(row, duplicate)) return s;
    if (duplicate) {
      ctx.Inform(Raise(Msg::kDuplicateKeyIgnored));
      continue;
    }
    if (Status s = ctx.StoreOf(table).Insert(table, row)) return s;
    stored.push_back(std::move(row));
  }
  int64_t inserted = static_cast<int64_t>(stored.size());
  if (instead) {
    TriggerEvent event{TriggerAction::kInsert, std::move(stored), {}, {}};
    if (Status s = FireInsteadOfTrigger(db, table, event, ctx)) return s;
    ctx.CountRows(inserted);
    return std::nullopt;
  }
  if (checks) {
    for (const Row& row : stored) {
      if (Status s = checker.CheckRow(row)) return s;
    }
  }
  if (Status s = checker.CheckUnique(stored)) return s;

  bool counters_moved =
      table.identity_current != identity || table.identity_used != identity_used || db.dbts != dbts;
  table.identity_current = identity;
  table.identity_used = identity_used;
  db.dbts = dbts;
  if (last_identity) ctx.session.identity = ctx.scope_identity = last_identity;
  // Rows alone need only the store's commit; the counters live in the
  // catalog (a table variable's in the batch alone).
  if (counters_moved && table.variable.empty()) ctx.MarkChanged();
  if (triggers) {
    TriggerEvent event{TriggerAction::kInsert, std::move(stored), {}, {}};
    if (Status s = FireAfterTriggers(db, table, event, ctx)) return s;
  }
  ctx.CountRows(inserted);
  return std::nullopt;
}

// The table columns an INSERT BULK names, in its order.
Status BulkTargets(const InsertStmt& stmt, const Table& table, const Collation& collation,
                   std::vector<int>& out) {
  std::vector<std::string> names;
  for (const InsertBulk::BulkColumn& named : stmt.bulk->columns) names.push_back(named.name);
  return ListedColumns(names, table, collation, out);
}

}  // namespace

Status ExecuteInsert(const InsertStmt& stmt, ExecContext& ctx) {
  Database* db = nullptr;
  Table* table = nullptr;
  if (Status s = ResolveTargetTable(stmt.table, ctx, db, table)) return s;
  std::vector<int> targets;
  if (stmt.bulk) {
    // The rows come in the client's next message; here the names are
    // checked and the announcement kept for it.
    if (Status s = BulkTargets(stmt, *table, ctx.collation(), targets)) return s;
    auto announced = std::make_shared<InsertStmt>();
    announced->table = stmt.table;
    announced->bulk = stmt.bulk;
    ctx.session.pending_bulk = std::move(announced);
    return std::nullopt;
  }
  if (Status s = TargetColumns(stmt, *table, ctx.collation(), targets)) return s;
  std::vector<std::vector<Given>> given_rows;
  if (Status s = GivenRows(stmt, targets.size(), ctx, given_rows)) return s;
  return InsertRows(*db, *table, targets, given_rows, nullptr, ctx);
}

Status RunBulkLoad(const InsertStmt& announced, const BulkRows& rows, ExecContext& ctx) {
  Database* db = nullptr;
  Table* table = nullptr;
  if (Status s = ResolveTargetTable(announced.table, ctx, db, table)) return s;
  std::vector<int> targets;
  if (Status s = BulkTargets(announced, *table, ctx.collation(), targets)) return s;
  if (rows.types.size() != targets.size()) {
    return Raise(Msg::kBulkLoad,
                 {"the rows have " + std::to_string(rows.types.size()) +
                  " columns where INSERT BULK named " + std::to_string(targets.size())});
  }
  std::vector<DataType> types;
  for (const std::string& text : rows.types) {
    auto parsed = ParseTypeText(text);
    if (auto* error = std::get_if<SqlError>(&parsed)) return *error;
    ResolvedType resolved;
    if (Status s = ResolveType(std::get<DeclaredType>(parsed), nullptr, ctx.collation(), TypeUse{},
                               resolved)) {
      return s;
    }
    types.push_back(resolved.type);
  }
  std::vector<std::vector<Given>> given_rows;
  given_rows.reserve(rows.rows.size());
  for (const std::vector<Value>& row : rows.rows) {
    if (row.size() != types.size()) return Raise(Msg::kBulkLoad, {"a row of the wrong width"});
    std::vector<Given>& given = given_rows.emplace_back();
    for (size_t k = 0; k < row.size(); ++k) given.push_back({Coherent(Scalar{types[k], row[k]})});
  }
  // One statement: a failing row leaves none of the load stored.
  int level = ctx.transactions.EnterStatement(ctx.session);
  Status status = RunAtomically(ctx, Access::kRows, [&] {
    return InsertRows(*db, *table, targets, given_rows, announced.bulk.get(), ctx);
  });
  ctx.transactions.LeaveStatement(ctx.session, level);
  return status;
}

}  // namespace server
