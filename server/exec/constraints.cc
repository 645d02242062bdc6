#include "server/exec/constraints.h"

#include "server/exec/relation.h"
#include "server/exec/table_rows.h"
#include "server/sql/parser.h"

namespace server {

namespace {

std::vector<int> Positions(const Table& table, const std::vector<std::string>& names,
                           const Collation& collation) {
  std::vector<int> positions;
  for (const std::string& name : names) positions.push_back(table.FindColumn(name, collation));
  return positions;
}

bool AllPresent(const std::vector<int>& positions) {
  for (int p : positions) {
    if (p < 0) return false;
  }
  return !positions.empty();
}

bool AnyNull(const Row& row, const std::vector<int>& positions) {
  for (int p : positions) {
    if (std::holds_alternative<std::monostate>(row[p])) return true;
  }
  return false;
}

// The ", column 'x'" part of error 547, for constraints on one column.
SqlError Conflict(const char* statement, bool column_level, const char* kind,
                  const std::string& name, const std::string& database, const std::string& table,
                  const std::string& column) {
  if (column_level) {
    return Raise(Msg::kConstraintConflict,
                 {statement, "COLUMN", kind, name, database, table, ", column '", column, "'"});
  }
  return Raise(Msg::kConstraintConflict,
               {statement, "TABLE", kind, name, database, table, "", "", ""});
}

// A rule's condition made to test `column`: its one variable becomes the
// column.
void RuleOnColumn(Expr& expr, const std::string& column) {
  if (expr.kind == ExprKind::kVariable && expr.name.rfind("@@", 0) != 0) {
    expr.kind = ExprKind::kColumn;
    expr.name = column;
    expr.qualifier.clear();
  }
  for (auto& arg : expr.args) RuleOnColumn(*arg, column);
}

}  // namespace

RowSchema ConstraintChecker::TableSchemaOf(const Table& table) { return TableSchema(table); }

Status ConstraintChecker::Prepare() {
  for (const CheckConstraint& check : table_.checks) {
    auto parsed = ParseExpression(check.text);
    if (auto* error = std::get_if<SqlError>(&parsed)) return *error;
    ExprPtr expr = std::move(std::get<ExprPtr>(parsed));
    if (Status s = BindColumns(*expr, &schema_, ctx_.collation())) return s;
    checks_.push_back(std::move(expr));
  }
  // Rules bound with sp_bindrule hold for what INSERT and UPDATE store.
  bool stores =
      std::string_view(statement_) == "INSERT" || std::string_view(statement_) == "UPDATE";
  for (const Column& column : table_.columns) {
    if (!stores || column.bound_rule.empty()) continue;
    for (const Bindable& bindable : db_.bindables) {
      if (!bindable.is_rule || !ctx_.collation().Equal(bindable.name, column.bound_rule)) continue;
      auto parsed = ParseExpression(bindable.expression);
      if (auto* error = std::get_if<SqlError>(&parsed)) return *error;
      ExprPtr expr = std::move(std::get<ExprPtr>(parsed));
      RuleOnColumn(*expr, column.name);
      if (Status s = BindColumns(*expr, &schema_, ctx_.collation())) return s;
      rules_.push_back({std::move(expr), column.name});
    }
  }
  return std::nullopt;
}

Status ConstraintChecker::CountWithKey(const Table& table, const std::vector<int>& columns,
                                       const Row& row, const std::vector<int>& key_columns,
                                       size_t& count) {
  int64_t found = 0;
  if (&table == &table_ && columns == key_columns) {
    // A key of the table's own columns, as its row holds them, is already
    // in their types: nothing to convert. Every unique check counts so.
    std::vector<Value> values;
    values.reserve(columns.size());
    for (int c : columns) values.push_back(row[c]);
    if (Status s = ctx_.StoreOf(table).CountKey(table, columns, values, 2, found)) return s;
    count = static_cast<size_t>(found);
    return std::nullopt;
  }
  std::vector<Scalar> key;
  for (int c : key_columns) key.push_back(Scalar{table_.columns[c].type, row[c]});
  // Every caller asks "none?", "one?" or "more than one?".
  if (Status s = CountRowsWithKey(table, columns, key, ctx_, 2, found)) return s;
  count = static_cast<size_t>(found);
  return std::nullopt;
}

Status ConstraintChecker::CheckRow(const Row& row) {
  const Collation& collation = ctx_.collation();
  for (const BoundRule& rule : rules_) {
    EvalScope scope{ctx_, &schema_, &row, nullptr};
    Scalar result;
    if (Status s = Evaluate(*rule.condition, scope, result)) return s;
    bool failed = !result.is_null() && std::holds_alternative<int64_t>(result.value) &&
                  std::get<int64_t>(result.value) == 0;
    if (failed) return Raise(Msg::kRuleConflict, {db_.name, table_.name, rule.column});
  }
  if (!checks_.empty()) {
    Row computed = row;
    if (Status s = ComputeRow(table_, schema_, ctx_, computed)) return s;
    EvalScope scope{ctx_, &schema_, &computed, nullptr};
    for (size_t i = 0; i < checks_.size(); ++i) {
      Scalar result;
      if (Status s = Evaluate(*checks_[i], scope, result)) return s;
      // Unknown passes a CHECK constraint; only false fails it.
      bool failed = !result.is_null() && std::holds_alternative<int64_t>(result.value) &&
                    std::get<int64_t>(result.value) == 0;
      const CheckConstraint& check = table_.checks[i];
      // NOCHECK CONSTRAINT leaves a constraint in the catalog, unchecked.
      if (failed && !check.disabled) {
        return Conflict(statement_, !check.column.empty(), "CHECK", check.name, db_.name,
                        table_.name, check.column);
      }
    }
  }
  for (const ForeignKey& fk : table_.foreign_keys) {
    if (fk.disabled) continue;
    std::vector<int> local = Positions(table_, fk.columns, collation);
    if (!AllPresent(local) || AnyNull(row, local)) continue;
    bool self =
        collation.Equal(fk.ref_table, table_.name) && collation.Equal(fk.ref_owner, table_.owner);
    Table* target = self ? &table_ : db_.FindTable(fk.ref_owner, fk.ref_table, collation);
    if (!target) continue;
    std::vector<int> remote = Positions(*target, fk.ref_columns, collation);
    if (!AllPresent(remote)) continue;
    size_t found = 0;
    if (Status s = CountWithKey(*target, remote, row, local, found)) return s;
    if (found == 0) {
      return Conflict(statement_, fk.column_level, "FOREIGN KEY", fk.name, db_.name, target->name,
                      fk.ref_columns.empty() ? "" : fk.ref_columns[0]);
    }
  }
  return std::nullopt;
}

Status ConstraintChecker::CheckUnique(const std::vector<Row>& rows) {
  for (const Index& index : table_.indexes) {
    if (!index.unique) continue;
    std::vector<int> columns = Positions(table_, index.columns, ctx_.collation());
    if (!AllPresent(columns)) continue;
    for (const Row& row : rows) {
      size_t holders = 0;
      if (Status s = CountWithKey(table_, columns, row, columns, holders)) return s;
      if (holders < 2) continue;
      if (index.kind == IndexKind::kIndex)
        return Raise(Msg::kDuplicateKeyIndex, {table_.name, index.name});
      return Raise(Msg::kDuplicateKey,
                   {index.kind == IndexKind::kPrimaryKey ? "PRIMARY KEY" : "UNIQUE KEY", index.name,
                    table_.name});
    }
  }
  return std::nullopt;
}

Status ConstraintChecker::DuplicatesIgnoredKey(const Row& row, bool& duplicate) {
  duplicate = false;
  for (const Index& index : table_.indexes) {
    if (!index.unique || !index.ignore_dup_key) continue;
    std::vector<int> columns = Positions(table_, index.columns, ctx_.collation());
    if (!AllPresent(columns)) continue;
    size_t holders = 0;
    if (Status s = CountWithKey(table_, columns, row, columns, holders)) return s;
    if (holders > 0) {
      duplicate = true;
      return std::nullopt;
    }
  }
  return std::nullopt;
}

Status ConstraintChecker::CheckReferencedKeys(const std::vector<Row>& old_rows) {
  const Collation& collation = ctx_.collation();
  for (auto& child : db_.tables) {
    for (const ForeignKey& fk : child->foreign_keys) {
      if (fk.disabled) continue;
      if (!collation.Equal(fk.ref_table, table_.name) ||
          !collation.Equal(fk.ref_owner, table_.owner))
        continue;
      std::vector<int> key = Positions(table_, fk.ref_columns, collation);
      std::vector<int> refs = Positions(*child, fk.columns, collation);
      if (!AllPresent(key) || !AllPresent(refs)) continue;
      for (const Row& old_row : old_rows) {
        if (AnyNull(old_row, key)) continue;
        // A key that still exists after the change keeps its references valid.
        size_t kept = 0;
        if (Status s = CountWithKey(table_, key, old_row, key, kept)) return s;
        if (kept > 0) continue;
        size_t referring = 0;
        if (Status s = CountWithKey(*child, refs, old_row, key, referring)) return s;
        if (referring > 0) {
          return Conflict(statement_, fk.column_level, "REFERENCE", fk.name, db_.name, child->name,
                          fk.columns.empty() ? "" : fk.columns[0]);
        }
      }
    }
  }
  return std::nullopt;
}

}  // namespace server
