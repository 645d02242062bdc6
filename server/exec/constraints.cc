#include "server/exec/constraints.h"

#include <algorithm>

#include "server/exec/relation.h"
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
  return std::nullopt;
}

Status ConstraintChecker::KeysEqual(const Row& a, const std::vector<int>& ca, const Table& ta,
                                    const Row& b, const std::vector<int>& cb, const Table& tb,
                                    bool nulls_equal, bool& equal) {
  equal = true;
  for (size_t k = 0; k < ca.size() && equal; ++k) {
    Scalar x{ta.columns[ca[k]].type, a[ca[k]]};
    Scalar y{tb.columns[cb[k]].type, b[cb[k]]};
    if (x.is_null() || y.is_null()) {
      equal = nulls_equal && x.is_null() && y.is_null();
      continue;
    }
    int order = 0;
    if (Status s = CompareScalars(x, y, ctx_.collation(), order)) return s;
    equal = order == 0;
  }
  return std::nullopt;
}

Status ConstraintChecker::CheckRow(const Row& row, const std::vector<Row>& final_rows) {
  const Collation& collation = ctx_.collation();
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
      if (failed) {
        return Conflict(statement_, !check.column.empty(), "CHECK", check.name, db_.name,
                        table_.name, check.column);
      }
    }
  }
  for (const ForeignKey& fk : table_.foreign_keys) {
    std::vector<int> local = Positions(table_, fk.columns, collation);
    if (!AllPresent(local) || AnyNull(row, local)) continue;
    bool self =
        collation.Equal(fk.ref_table, table_.name) && collation.Equal(fk.ref_owner, table_.owner);
    Table* target = self ? &table_ : db_.FindTable(fk.ref_owner, fk.ref_table, collation);
    if (!target) continue;
    std::vector<int> remote = Positions(*target, fk.ref_columns, collation);
    if (!AllPresent(remote)) continue;
    const std::vector<Row>& candidates = self ? final_rows : target->rows;
    bool found = false;
    for (const Row& candidate : candidates) {
      bool equal = false;
      if (Status s = KeysEqual(row, local, table_, candidate, remote, *target, false, equal))
        return s;
      if (equal) {
        found = true;
        break;
      }
    }
    if (!found) {
      return Conflict(statement_, fk.column_level, "FOREIGN KEY", fk.name, db_.name, target->name,
                      fk.ref_columns.empty() ? "" : fk.ref_columns[0]);
    }
  }
  return std::nullopt;
}

Status ConstraintChecker::CheckUnique(const std::vector<Row>& final_rows,
                                      const std::vector<bool>& changed) {
  for (const Index& index : table_.indexes) {
    if (!index.unique) continue;
    std::vector<int> columns = Positions(table_, index.columns, ctx_.collation());
    if (!AllPresent(columns)) continue;
    // Sorting by the key puts equal keys side by side (NULLs count as equal
    // and sort first), so one pass finds any duplicate.
    Status failure;
    auto order = [&](size_t a, size_t b) {
      for (int c : columns) {
        Scalar x{table_.columns[c].type, final_rows[a][c]},
            y{table_.columns[c].type, final_rows[b][c]};
        if (x.is_null() || y.is_null()) {
          if (x.is_null() != y.is_null()) return x.is_null();
          continue;
        }
        int result = 0;
        if (Status s = CompareScalars(x, y, ctx_.collation(), result)) {
          if (!failure) failure = s;
          return false;
        }
        if (result != 0) return result < 0;
      }
      return false;
    };
    std::vector<size_t> sorted(final_rows.size());
    for (size_t i = 0; i < sorted.size(); ++i) sorted[i] = i;
    std::stable_sort(sorted.begin(), sorted.end(), order);
    if (failure) return failure;
    for (size_t k = 1; k < sorted.size(); ++k) {
      size_t a = sorted[k - 1], b = sorted[k];
      if ((!changed[a] && !changed[b]) || order(a, b) || order(b, a)) continue;
      if (index.kind == IndexKind::kIndex)
        return Raise(Msg::kDuplicateKeyIndex, {table_.name, index.name});
      return Raise(Msg::kDuplicateKey,
                   {index.kind == IndexKind::kPrimaryKey ? "PRIMARY KEY" : "UNIQUE KEY", index.name,
                    table_.name});
    }
  }
  return std::nullopt;
}

Status ConstraintChecker::DuplicatesIgnoredKey(const Row& row, const std::vector<Row>& rows,
                                               bool& duplicate) {
  duplicate = false;
  for (const Index& index : table_.indexes) {
    if (!index.unique || !index.ignore_dup_key) continue;
    std::vector<int> columns = Positions(table_, index.columns, ctx_.collation());
    if (!AllPresent(columns)) continue;
    for (const Row& other : rows) {
      bool equal = false;
      if (Status s = KeysEqual(row, columns, table_, other, columns, table_, true, equal)) return s;
      if (equal) {
        duplicate = true;
        return std::nullopt;
      }
    }
  }
  return std::nullopt;
}

Status ConstraintChecker::CheckReferencedKeys(const std::vector<const Row*>& old_rows,
                                              const std::vector<Row>& final_rows) {
  const Collation& collation = ctx_.collation();
  for (auto& child : db_.tables) {
    for (const ForeignKey& fk : child->foreign_keys) {
      if (!collation.Equal(fk.ref_table, table_.name) ||
          !collation.Equal(fk.ref_owner, table_.owner))
        continue;
      std::vector<int> key = Positions(table_, fk.ref_columns, collation);
      std::vector<int> refs = Positions(*child, fk.columns, collation);
      if (!AllPresent(key) || !AllPresent(refs)) continue;
      bool self = child.get() == &table_;
      const std::vector<Row>& children = self ? final_rows : child->rows;
      for (const Row* old_row : old_rows) {
        if (AnyNull(*old_row, key)) continue;
        // A key that still exists after the change keeps its references valid.
        bool kept = false;
        for (const Row& row : final_rows) {
          bool equal = false;
          if (Status s = KeysEqual(*old_row, key, table_, row, key, table_, false, equal)) return s;
          if (equal) {
            kept = true;
            break;
          }
        }
        if (kept) continue;
        for (const Row& row : children) {
          bool equal = false;
          if (Status s = KeysEqual(row, refs, *child, *old_row, key, table_, false, equal))
            return s;
          if (equal) {
            return Conflict(statement_, fk.column_level, "REFERENCE", fk.name, db_.name,
                            child->name, fk.columns.empty() ? "" : fk.columns[0]);
          }
        }
      }
    }
  }
  return std::nullopt;
}

}  // namespace server
