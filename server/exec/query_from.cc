// The FROM clause: tables, views and derived tables, joined. Conditions of
// the WHERE clause that name one side only are applied to that side before
// it is joined, where that cannot change the result, and equalities
// between the two sides of an inner join match rows by hashing.

#include <unordered_map>

#include "server/exec/eval_internal.h"
#include "server/exec/query.h"
#include "server/exec/table_functions.h"

namespace server {

namespace {

bool HasSubquery(const Expr& expr) {
  if (expr.subquery) return true;
  for (const auto& arg : expr.args) {
    if (HasSubquery(*arg)) return true;
  }
  return false;
}

// Whether every column `expr` names is one of `schema`'s.
bool OnlyNames(const Expr& expr, const RowSchema& schema, const Collation& collation) {
  if (expr.kind == ExprKind::kColumn) return LookupColumn(expr, schema, collation) >= 0;
  for (const auto& arg : expr.args) {
    if (!OnlyNames(*arg, schema, collation)) return false;
  }
  return true;
}

// Keeps the rows of `relation` that `condition` does not reject.
Status Filter(const Expr& condition, ExecContext& ctx, const OuterRow* outer, Relation& relation) {
  if (Status s = BindColumns(condition, &relation.schema, ctx.collation(), outer)) return s;
  std::vector<Row> kept;
  for (const Row& row : *relation.rows) {
    EvalScope scope{ctx, &relation.schema, &row, nullptr};
    scope.outer = outer;
    Scalar result;
    if (Status s = Evaluate(condition, scope, result)) return s;
    // Only a definite false drops a row here: the WHERE clause still tests
    // every joined row, and an error belongs to that test.
    if (!result.is_null() && std::get<int64_t>(result.value) == 0) continue;
    kept.push_back(row);
  }
  relation.owned = std::move(kept);
  relation.rows = &relation.owned;
  return std::nullopt;
}

// Applies the conditions that name columns of `relation` only.
Status Narrow(const std::vector<const Expr*>& conditions, ExecContext& ctx, const OuterRow* outer,
              Relation& relation) {
  for (const Expr* condition : conditions) {
    if (HasSubquery(*condition) || !NamesAnyColumn(*condition) ||
        !OnlyNames(*condition, relation.schema, ctx.collation())) {
      continue;
    }
    // Type errors are the WHERE clause's to report, in its order.
    if (Status s = Filter(*condition, ctx, outer, relation)) continue;
  }
  return std::nullopt;
}

void ExposeAs(const std::string& name, RowSchema& schema) {
  schema.sources.assign(schema.names.size(), name);
}

// One side's key columns: `left` positions in the left relation, `right` in
// the right one.
struct JoinKeys {
  std::vector<int> left;
  std::vector<int> right;
};

void FindKeys(const std::vector<const Expr*>& conditions, const RowSchema& left,
              const RowSchema& right, const Collation& collation, JoinKeys& keys) {
  for (const Expr* condition : conditions) {
    if (condition->kind != ExprKind::kCompare || condition->name != "=") continue;
    const Expr& a = *condition->args[0];
    const Expr& b = *condition->args[1];
    if (a.kind != ExprKind::kColumn || b.kind != ExprKind::kColumn) continue;
    int al = LookupColumn(a, left, collation), ar = LookupColumn(a, right, collation);
    int bl = LookupColumn(b, left, collation), br = LookupColumn(b, right, collation);
    int l = -1, r = -1;
    if (al >= 0 && ar < 0 && br >= 0 && bl < 0) {
      l = al;
      r = br;
    } else if (bl >= 0 && br < 0 && ar >= 0 && al < 0) {
      l = bl;
      r = ar;
    }
    if (l < 0 || !KeysComparable(left.types[l], right.types[r])) continue;
    keys.left.push_back(l);
    keys.right.push_back(r);
  }
}

bool RowKey(const Row& row, const RowSchema& schema, const std::vector<int>& columns,
            const Collation& collation, std::string& key) {
  key.clear();
  for (int c : columns) {
    Scalar value{schema.types[c], row[c]};
    if (value.is_null()) return false;  // NULL matches nothing
    key += GroupKey(value, collation);
    key += '\x1f';
  }
  return true;
}

// left JOIN right: `on` (may be null) decides which pairs match; `keys`
// narrows the pairs tried to those with equal keys.
Status Join(Relation& left, Relation& right, JoinKind kind, const Expr* on, const JoinKeys& keys,
            ExecContext& ctx, const OuterRow* outer, Relation& out) {
  const Collation& collation = ctx.collation();
  RowSchema& schema = out.schema;
  schema = RowSchema{};
  for (const Relation* side : {&left, &right}) {
    const RowSchema& s = side->schema;
    schema.names.insert(schema.names.end(), s.names.begin(), s.names.end());
    schema.types.insert(schema.types.end(), s.types.begin(), s.types.end());
    schema.sources.insert(schema.sources.end(), s.sources.begin(), s.sources.end());
  }
  if (on) {
    if (Status s = BindColumns(*on, &schema, collation, outer)) return s;
    if (HasAggregate(*on)) return Raise(Msg::kAggregateInWhere);
  }
  const size_t width = left.schema.names.size();
  const std::vector<Row>& lrows = *left.rows;
  const std::vector<Row>& rrows = *right.rows;
  std::vector<bool> right_matched(kind == JoinKind::kRight || kind == JoinKind::kFull ? rrows.size()
                                                                                      : 0);
  Row combined(schema.names.size());
  auto fill = [&](const Row* l, const Row* r) {
    for (size_t i = 0; i < width; ++i) combined[i] = l ? (*l)[i] : Value{};
    for (size_t i = width; i < combined.size(); ++i) combined[i] = r ? (*r)[i - width] : Value{};
  };
  auto matches = [&](bool& out_match) -> Status {
    out_match = true;
    if (!on) return std::nullopt;
    EvalScope scope{ctx, &schema, &combined, nullptr};
    scope.outer = outer;
    return Test(*on, scope, out_match);
  };
  std::unordered_map<std::string, std::vector<size_t>> table;
  const bool hashed = !keys.left.empty();
  std::string key;
  if (hashed) {
    for (size_t i = 0; i < rrows.size(); ++i) {
      if (RowKey(rrows[i], right.schema, keys.right, collation, key)) table[key].push_back(i);
    }
  }
  static const std::vector<size_t> kNone;
  std::vector<size_t> all;
  if (!hashed) {
    all.resize(rrows.size());
    for (size_t i = 0; i < all.size(); ++i) all[i] = i;
  }
  for (const Row& l : lrows) {
    const std::vector<size_t>* candidates = &all;
    if (hashed) {
      candidates = &kNone;
      if (RowKey(l, left.schema, keys.left, collation, key)) {
        auto it = table.find(key);
        if (it != table.end()) candidates = &it->second;
      }
    }
    bool matched = false;
    for (size_t r : *candidates) {
      fill(&l, &rrows[r]);
      bool match = false;
      if (Status s = matches(match)) return s;
      if (!match) continue;
      matched = true;
      if (!right_matched.empty()) right_matched[r] = true;
      out.owned.push_back(combined);
    }
    if (!matched && (kind == JoinKind::kLeft || kind == JoinKind::kFull)) {
      fill(&l, nullptr);
      out.owned.push_back(combined);
    }
  }
  for (size_t r = 0; r < right_matched.size(); ++r) {
    if (right_matched[r]) continue;
    fill(nullptr, &rrows[r]);
    out.owned.push_back(combined);
  }
  out.rows = &out.owned;
  return std::nullopt;
}

Status OpenDerived(const FromItem& item, ExecContext& ctx, Relation& out) {
  const SelectStmt& select = *item.derived;
  if (!select.order_by.empty() && !select.top) return Raise(Msg::kOrderByInSubquery);
  QueryResult result;
  if (Status s = RunSelect(select, ctx, result)) return s;
  const std::string& alias = item.table.alias;
  for (size_t i = 0; i < result.schema.names.size(); ++i) {
    const std::string& name = result.schema.names[i];
    if (name.empty()) return Raise(Msg::kDerivedColumnName, {std::to_string(i + 1), alias});
    for (size_t j = 0; j < i; ++j) {
      if (ctx.collation().Equal(result.schema.names[j], name))
        return Raise(Msg::kDerivedColumnTwice, {name, alias});
    }
  }
  out.schema = std::move(result.schema);
  out.schema.table_name = alias;
  ExposeAs(alias, out.schema);
  out.owned = std::move(result.rows);
  out.rows = &out.owned;
  return std::nullopt;
}

// Opens one FROM item. `conditions` are WHERE conditions that may narrow
// it: only given where no row of it can be NULL-extended by an outer join.
struct FromScope {
  const Expr* seek = nullptr;          // the WHERE clause, for index seeks
  const FromTarget* target = nullptr;  // UPDATE's or DELETE's table
};

Status OpenItem(const FromItem& item, const FromScope& from,
                const std::vector<const Expr*>& conditions, ExecContext& ctx, const OuterRow* outer,
                std::vector<std::string>& exposed, Relation& out) {
  if (item.derived) {
    if (Status s = OpenDerived(item, ctx, out)) return s;
    exposed.push_back(item.table.alias);
    return Narrow(conditions, ctx, outer, out);
  }
  if (!item.is_join()) {
    Status opened = item.function ? OpenTableFunction(item, ctx, out)
                                  : OpenRelation(item.table, ctx, out, from.seek);
    if (opened) return opened;
    const std::string& name = item.table.alias.empty() ? item.table.name.name : item.table.alias;
    for (const std::string& other : exposed) {
      if (ctx.collation().Equal(other, name))
        return ErrorAt(Msg::kSameExposedName, {other, name}, item.line);
    }
    exposed.push_back(name);
    ExposeAs(name, out.schema);
    if (out.rows != &out.owned) {
      out.owned = *out.rows;
      out.rows = &out.owned;
    }
    if (from.target && out.table == from.target->table &&
        ctx.collation().Equal(name, from.target->exposed)) {
      // The changed table's rows carry where they are stored.
      out.schema.names.push_back(std::string(kRowIdColumn));
      out.schema.types.push_back(DefaultType(BaseType::kBigInt));
      out.schema.sources.push_back(name);
      for (size_t i = 0; i < out.owned.size(); ++i) out.owned[i].push_back(out.ids[i]);
    }
    return Narrow(conditions, ctx, outer, out);
  }
  static const std::vector<const Expr*> kNoConditions;
  bool left_kept = item.join != JoinKind::kRight && item.join != JoinKind::kFull;
  bool right_kept = item.join != JoinKind::kLeft && item.join != JoinKind::kFull;
  Relation left, right;
  if (Status s = OpenItem(*item.left, from, left_kept ? conditions : kNoConditions, ctx, outer,
                          exposed, left)) {
    return s;
  }
  if (Status s = OpenItem(*item.right, from, right_kept ? conditions : kNoConditions, ctx, outer,
                          exposed, right)) {
    return s;
  }
  JoinKeys keys;
  if (item.join != JoinKind::kCross) {
    std::vector<const Expr*> on;
    SplitConjuncts(item.on.get(), on);
    FindKeys(on, left.schema, right.schema, ctx.collation(), keys);
  }
  if (item.join == JoinKind::kInner && keys.left.empty())
    FindKeys(conditions, left.schema, right.schema, ctx.collation(), keys);
  return Join(left, right, item.join, item.on.get(), keys, ctx, outer, out);
}

}  // namespace

Status OpenFrom(const std::vector<const FromItem*>& items, const Expr* where, bool read_all,
                ExecContext& ctx, const OuterRow* outer, Relation& out, const FromTarget* target) {
  std::vector<const Expr*> conditions;
  if (!read_all) SplitConjuncts(where, conditions);
  FromScope from{read_all ? nullptr : where, target};
  std::vector<std::string> exposed;
  if (Status s = OpenItem(*items[0], from, conditions, ctx, outer, exposed, out)) return s;
  for (size_t i = 1; i < items.size(); ++i) {
    Relation right;
    if (Status s = OpenItem(*items[i], from, conditions, ctx, outer, exposed, right)) return s;
    // A comma is a cross join: the WHERE clause's equalities match it.
    JoinKeys keys;
    FindKeys(conditions, out.schema, right.schema, ctx.collation(), keys);
    Relation joined;
    if (Status s = Join(out, right, JoinKind::kCross, nullptr, keys, ctx, outer, joined)) return s;
    out = std::move(joined);
    out.rows = &out.owned;
  }
  return std::nullopt;
}

Status OpenFrom(const SelectStmt& select, ExecContext& ctx, const OuterRow* outer, Relation& out) {
  std::vector<const FromItem*> items;
  for (const FromItem& item : select.from) items.push_back(&item);
  // GROUP BY ALL groups the rows WHERE removes too: it reads them all.
  return OpenFrom(items, select.where.get(), select.group_all, ctx, outer, out);
}

}  // namespace server
