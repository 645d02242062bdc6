#include "server/exec/table_rows.h"

#include <algorithm>
#include <optional>

#include "server/exec/eval.h"
#include "server/exec/query.h"

namespace server {

namespace {

bool NamesColumn(const Expr& expr, const Table& table, std::string_view alias,
                 const Collation& collation, int& column) {
  if (expr.kind != ExprKind::kColumn) return false;
  // A table given an alias is known by it alone: in `FROM t JOIN t b`,
  // t.x is never b's.
  if (!expr.qualifier.empty() &&
      !collation.Equal(expr.qualifier, alias.empty() ? table.name : alias))
    return false;
  column = table.FindColumn(expr.name, collation);
  return column >= 0 && !table.columns[column].is_computed();
}

// A value fixed before any row is read: a literal, a negated one, or a
// variable.
bool IsFixed(const Expr& expr) {
  if (expr.kind == ExprKind::kLiteral || expr.kind == ExprKind::kVariable) return true;
  return expr.kind == ExprKind::kNegate && expr.name == "-" && expr.args.size() == 1 &&
         expr.args[0]->kind == ExprKind::kLiteral;
}

// `value` as a value of `type`, when converting loses nothing.
std::optional<Value> Exactly(const Scalar& value, const DataType& type,
                             const Collation& collation) {
  Value converted;
  // Trailing blanks never count when character data compares: a key longer
  // than the column by blanks alone still finds its rows.
  const auto* text = std::get_if<std::string>(&value.value);
  if (text && text->ends_with(' ') && Family(value.type) == TypeFamily::kCharacter &&
      Family(type) == TypeFamily::kCharacter) {
    Scalar trimmed = value;
    std::string& trimmed_text = std::get<std::string>(trimmed.value);
    trimmed_text.erase(trimmed_text.find_last_not_of(' ') + 1);
    if (Convert(trimmed, type, false, converted)) return std::nullopt;
  } else if (Convert(value, type, false, converted)) {
    return std::nullopt;
  }
  int order = 1;
  if (CompareScalars(value, Scalar{type, converted}, collation, order) || order != 0)
    return std::nullopt;
  return converted;
}

// Every `column = fixed value` of the conjunction `where`, by column.
void CollectEqualities(const Expr& where, const Table& table, std::string_view alias,
                       const Collation& collation, std::vector<std::pair<int, const Expr*>>& out) {
  if (where.kind == ExprKind::kAnd) {
    for (const auto& arg : where.args) CollectEqualities(*arg, table, alias, collation, out);
    return;
  }
  if (where.kind != ExprKind::kCompare || where.name != "=" || where.args.size() != 2) return;
  int column = -1;
  if (NamesColumn(*where.args[0], table, alias, collation, column) && IsFixed(*where.args[1])) {
    out.emplace_back(column, where.args[1].get());
  } else if (NamesColumn(*where.args[1], table, alias, collation, column) &&
             IsFixed(*where.args[0])) {
    out.emplace_back(column, where.args[0].get());
  }
}

// A visitor that keeps every row in `out`.
Store::RowVisitor KeepIn(std::vector<StoredRow>& out) {
  return [&out](RowId id, Row& row) -> Status {
    out.push_back({id, std::move(row)});
    return std::nullopt;
  };
}

}  // namespace

namespace {

// The key in the columns' types; false when a value does not convert exactly.
bool KeyValues(const Table& table, const std::vector<int>& columns, const std::vector<Scalar>& key,
               const Collation& collation, std::vector<Value>& values) {
  for (size_t k = 0; k < columns.size(); ++k) {
    if (key[k].is_null()) {
      values.emplace_back();
      continue;
    }
    std::optional<Value> value = Exactly(key[k], table.columns[columns[k]].type, collation);
    if (!value) return false;
    values.push_back(std::move(*value));
  }
  return true;
}

}  // namespace

Status CountRowsWithKey(const Table& table, const std::vector<int>& columns,
                        const std::vector<Scalar>& key, ExecContext& ctx, int64_t at_most,
                        int64_t& count) {
  count = 0;
  std::vector<Value> values;
  if (!KeyValues(table, columns, key, ctx.collation(), values)) return std::nullopt;
  return ctx.StoreOf(table).CountKey(table, columns, values, at_most, count);
}

bool ExactKey(const Table& table, const std::vector<int>& columns, const std::vector<Scalar>& key,
              const Collation& collation, std::vector<Value>& values) {
  values.clear();
  for (size_t k = 0; k < columns.size(); ++k) {
    if (key[k].is_null()) return false;
    std::optional<Value> value = Exactly(key[k], table.columns[columns[k]].type, collation);
    if (!value) return false;
    values.push_back(std::move(*value));
  }
  return true;
}

Status ReadTableRows(const Table& table, const Expr* where, std::string_view alias,
                     ExecContext& ctx, std::vector<StoredRow>& out,
                     const Store::ColumnMask& wanted) {
  return ReadTableRows(table, where, alias, ctx, KeepIn(out), wanted);
}

Status ReadTableRows(const Table& table, const Expr* where, std::string_view alias,
                     ExecContext& ctx, const Store::RowVisitor& visit,
                     const Store::ColumnMask& wanted) {
  const Collation& collation = ctx.collation();
  if (where) {
    std::vector<std::pair<int, const Expr*>> equalities;
    CollectEqualities(*where, table, alias, collation, equalities);
    for (const Index& index : table.indexes) {
      if (equalities.empty()) break;
      std::vector<int> columns;
      std::vector<Value> key;
      bool usable = true;
      for (const std::string& name : index.columns) {
        int column = table.FindColumn(name, collation);
        const Expr* fixed = nullptr;
        for (const auto& [c, expr] : equalities) {
          if (c == column) fixed = expr;
        }
        Scalar value;
        // A failing expression is left for the row-by-row test to report.
        if (!fixed || Evaluate(*fixed, EvalScope{ctx, nullptr, nullptr, nullptr}, value)) {
          usable = false;
          break;
        }
        // A value that does not convert exactly is left to the row-by-row
        // comparison, which reports what it must.
        std::optional<Value> exact =
            value.is_null() ? std::nullopt : Exactly(value, table.columns[column].type, collation);
        if (!exact) {
          usable = false;
          break;
        }
        columns.push_back(column);
        key.push_back(std::move(*exact));
      }
      if (usable && !columns.empty())
        return ctx.StoreOf(table).Seek(table, columns, key, visit, wanted);
    }
    // No index: integer columns fixed to a value still narrow the read,
    // the store skipping the other rows itself, which costs far less than
    // handing them over. Integers are stored as they compare.
    std::vector<int> columns;
    std::vector<Value> key;
    for (const auto& [column, fixed] : equalities) {
      if (Family(table.columns[column].type) != TypeFamily::kInteger ||
          std::find(columns.begin(), columns.end(), column) != columns.end()) {
        continue;
      }
      Scalar value;
      if (Evaluate(*fixed, EvalScope{ctx, nullptr, nullptr, nullptr}, value) || value.is_null())
        continue;
      std::optional<Value> exact = Exactly(value, table.columns[column].type, collation);
      if (!exact) continue;
      columns.push_back(column);
      key.push_back(std::move(*exact));
    }
    if (!columns.empty()) return ctx.StoreOf(table).Seek(table, columns, key, visit, wanted);
  }
  return ctx.StoreOf(table).Scan(table, visit, wanted);
}

Status ReadRowsByKeys(const Table& table, const std::vector<std::string>& names,
                      const std::vector<std::vector<Scalar>>& keys, ExecContext& ctx,
                      std::vector<StoredRow>& out, bool& used, const Store::ColumnMask& wanted) {
  return ReadRowsByKeys(table, names, keys, ctx, KeepIn(out), used, wanted);
}

Status ReadRowsByKeys(const Table& table, const std::vector<std::string>& names,
                      const std::vector<std::vector<Scalar>>& keys, ExecContext& ctx,
                      const Store::RowVisitor& visit, bool& used, const Store::ColumnMask& wanted) {
  used = false;
  const Collation& collation = ctx.collation();
  std::vector<int> columns;
  for (const std::string& name : names) {
    int column = table.FindColumn(name, collation);
    if (column < 0) return std::nullopt;
    columns.push_back(column);
  }
  const Index* chosen = nullptr;
  for (const Index& index : table.indexes) {
    if (index.columns.size() != columns.size()) continue;
    bool same = true;
    for (const std::string& name : index.columns) {
      int column = table.FindColumn(name, collation);
      same = same && std::find(columns.begin(), columns.end(), column) != columns.end();
    }
    if (same) chosen = &index;
  }
  if (!chosen) return std::nullopt;
  // Keys that compare with the columns other than as their own types (a
  // number with character data) are left to the join's comparison.
  if (!keys.empty()) {
    for (size_t k = 0; k < columns.size(); ++k) {
      if (!KeysComparable(keys[0][k].type, table.columns[columns[k]].type)) return std::nullopt;
    }
  }
  used = true;
  std::vector<Value> values;
  for (const std::vector<Scalar>& key : keys) {
    // A key no column value can equal exactly finds nothing here; the
    // join's own comparison decides the rest.
    if (!ExactKey(table, columns, key, collation, values)) continue;
    if (Status s = ctx.StoreOf(table).Seek(table, columns, values, visit, wanted)) return s;
  }
  return std::nullopt;
}

}  // namespace server
