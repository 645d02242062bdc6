// The FROM clause: tables, views and derived tables, joined. Conditions of
// the WHERE clause that name one side only are applied to that side before
// it is joined, where that cannot change the result, and equalities
// between the two sides of an inner join match rows by hashing.

#include <algorithm>
#include <unordered_map>
#include <unordered_set>

#include "server/exec/eval_internal.h"
#include "server/exec/query.h"
#include "server/exec/table_functions.h"

namespace server {

namespace {

// = and the old outer joins' *= and =*, which match rows as = does.
bool IsEquality(const std::string& op) { return op == "=" || op == "*=" || op == "=*"; }

// Whether every column `expr` names is one of `schema`'s.
bool OnlyNames(const Expr& expr, const RowSchema& schema, const Collation& collation) {
  if (expr.kind == ExprKind::kColumn) return LookupColumn(expr, schema, collation) >= 0;
  for (const auto& arg : expr.args) {
    if (!OnlyNames(*arg, schema, collation)) return false;
  }
  return true;
}

// Keeps the rows of `relation` that `condition` holds for. On an error
// nothing is dropped: the error is the WHERE clause's to report, in its
// order, when it tests the joined rows.
Status Filter(const Expr& condition, ExecContext& ctx, const OuterRow* outer, Relation& relation) {
  if (Status s = BindColumns(condition, &relation.schema, ctx.collation(), outer)) return s;
  std::vector<bool> keep(relation.rows->size());
  for (size_t r = 0; r < keep.size(); ++r) {
    EvalScope scope{ctx, &relation.schema, &(*relation.rows)[r], nullptr};
    scope.outer = outer;
    Scalar result;
    if (Status s = Evaluate(condition, scope, result)) return s;
    keep[r] = !result.is_null() && std::get<int64_t>(result.value) != 0;
  }
  std::vector<Row> kept;
  std::vector<RowId> ids;
  const bool owned = relation.rows == &relation.owned;
  for (size_t r = 0; r < keep.size(); ++r) {
    if (!keep[r]) continue;
    Row& row = const_cast<Row&>((*relation.rows)[r]);
    kept.push_back(owned ? std::move(row) : row);
    if (r < relation.ids.size()) ids.push_back(relation.ids[r]);
  }
  relation.owned = std::move(kept);
  relation.rows = &relation.owned;
  if (!relation.ids.empty()) relation.ids = std::move(ids);
  return std::nullopt;
}

// Applies the conditions that name columns of `relation` only; each one
// that applied without error is done, and WHERE does not test it again.
Status Narrow(const std::vector<const Expr*>& conditions, ExecContext& ctx, const OuterRow* outer,
              Relation& relation) {
  for (const Expr* condition : conditions) {
    if (HasSubquery(*condition) || !NamesAnyColumn(*condition) ||
        !OnlyNames(*condition, relation.schema, ctx.collation())) {
      continue;
    }
    if (Status s = Filter(*condition, ctx, outer, relation)) continue;
    relation.applied.push_back(condition);
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
    if (condition->kind != ExprKind::kCompare || !IsEquality(condition->name)) continue;
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
Status Join(Relation& left, Relation& right, JoinKind kind, const std::vector<const Expr*>& on,
            const JoinKeys& keys, ExecContext& ctx, const OuterRow* outer, Relation& out) {
  const Collation& collation = ctx.collation();
  RowSchema& schema = out.schema;
  schema = RowSchema{};
  for (const Relation* side : {&left, &right}) {
    const RowSchema& s = side->schema;
    schema.names.insert(schema.names.end(), s.names.begin(), s.names.end());
    schema.types.insert(schema.types.end(), s.types.begin(), s.types.end());
    schema.sources.insert(schema.sources.end(), s.sources.begin(), s.sources.end());
  }
  for (const Expr* condition : on) {
    if (Status s = BindColumns(*condition, &schema, collation, outer)) return s;
    if (HasAggregate(*condition)) return Raise(Msg::kAggregateInWhere);
  }
  // What either side applied of the WHERE clause stays applied.
  out.applied = left.applied;
  out.applied.insert(out.applied.end(), right.applied.begin(), right.applied.end());
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
    EvalScope scope{ctx, &schema, &combined, nullptr};
    scope.outer = outer;
    for (const Expr* condition : on) {
      if (Status s = Test(*condition, scope, out_match); s || !out_match) return s;
    }
    return std::nullopt;
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
bool IsTableItem(const FromItem& item) {
  return !item.is_join() && !item.derived && !item.function;
}

// How many rows the user table `ref` names holds; none for anything else.
int64_t RowsOf(const TableRef& ref, ExecContext& ctx) {
  const Table* table = FindUserTable(ref, ctx);
  int64_t count = 0;
  if (!table || ctx.StoreOf(*table).Count(*table, count)) return 0;
  return count;
}

// Reading a table by key pays while the keys are few; past this many the
// whole table is read instead.
constexpr size_t kMostKeysToSeek = 100'000;
// Up to this many keys are always sought; more only when the table has
// several times as many rows (counting them costs a read of an index).
constexpr size_t kKeysAlwaysSought = 1'000;

bool WorthSeeking(const FromItem& item, const KeyedRead& keyed, ExecContext& ctx) {
  if (keyed.keys.size() <= kKeysAlwaysSought) return true;
  return static_cast<int64_t>(keyed.keys.size()) * 4 < RowsOf(item.table, ctx);
}

// Whether a WHERE condition names columns of the plain table `item` only
// (by its exposed name): such a table is read first, the other by key.
bool Filtered(const FromItem& item, const std::vector<const Expr*>& conditions) {
  const std::string& exposed = item.table.ExposedName();
  for (const Expr* condition : conditions) {
    if (!NamesAnyColumn(*condition) || HasSubquery(*condition)) continue;
    bool mine = true;
    std::vector<const Expr*> stack{condition};
    while (!stack.empty() && mine) {
      const Expr* e = stack.back();
      stack.pop_back();
      if (e->kind == ExprKind::kColumn) mine = EqualNoCase(e->qualifier, exposed);
      for (const auto& arg : e->args) stack.push_back(arg.get());
    }
    if (mine) return true;
  }
  return false;
}

// The keys to read the plain table `item` by: from each equality between
// one of `first`'s columns and a column named for `item` (by its exposed
// name, or unqualified and not one of `first`'s), the values `first` holds.
bool KeysFor(const FromItem& item, const std::vector<const Expr*>& equalities,
             const Relation& first, const Collation& collation, KeyedRead& keyed) {
  const std::string& exposed = item.table.ExposedName();
  std::vector<int> from_columns;
  for (const Expr* condition : equalities) {
    if (condition->kind != ExprKind::kCompare || !IsEquality(condition->name)) continue;
    for (int side = 0; side < 2; ++side) {
      const Expr& mine = *condition->args[side];
      const Expr& theirs = *condition->args[1 - side];
      if (mine.kind != ExprKind::kColumn || theirs.kind != ExprKind::kColumn) continue;
      int column = LookupColumn(theirs, first.schema, collation);
      if (column < 0 || LookupColumn(mine, first.schema, collation) >= 0) continue;
      if (!mine.qualifier.empty() && !collation.Equal(mine.qualifier, exposed)) continue;
      bool known = false;
      for (const std::string& name : keyed.columns)
        known = known || collation.Equal(name, mine.name);
      if (known) continue;
      keyed.columns.push_back(mine.name);
      from_columns.push_back(column);
      break;
    }
  }
  if (keyed.columns.empty()) return false;
  std::unordered_set<std::string> seen;
  for (const Row& row : *first.rows) {
    std::vector<Scalar> key;
    std::string text;
    bool null = false;
    for (int column : from_columns) {
      Scalar value{first.schema.types[column], row[column]};
      null = null || value.is_null();
      text += GroupKey(value, collation);
      text += '\x1f';
      key.push_back(std::move(value));
    }
    if (null || !seen.insert(std::move(text)).second) continue;
    keyed.keys.push_back(std::move(key));
    if (keyed.keys.size() > kMostKeysToSeek) return false;
  }
  return true;
}

bool IsOuterJoinOperator(const Expr& expr) {
  return expr.kind == ExprKind::kCompare && (expr.name == "*=" || expr.name == "=*");
}

// Joins of `left` (the FROM items so far) and `right` (the next) that the
// old outer-join operators ask for: LEFT when the kept side is in `left`,
// RIGHT when it is `right`. The join's conditions are those operators and,
// as SQL Server applied them, every condition on the other side's columns
// alone; the WHERE clause then no longer tests them (`applied`).
Status OldOuterJoin(const std::vector<const Expr*>& outer_joins,
                    const std::vector<const Expr*>& conditions, const Relation& left,
                    const Relation& right, const Collation& collation, JoinKind& kind,
                    std::vector<const Expr*>& on, std::vector<const Expr*>& applied) {
  for (const Expr* join : outer_joins) {
    const Expr& kept = *join->args[join->name == "*=" ? 0 : 1];
    const Expr& other = *join->args[join->name == "*=" ? 1 : 0];
    JoinKind wanted = JoinKind::kCross;
    if (OnlyNames(kept, left.schema, collation) && OnlyNames(other, right.schema, collation)) {
      wanted = JoinKind::kLeft;
    } else if (OnlyNames(kept, right.schema, collation) &&
               OnlyNames(other, left.schema, collation)) {
      wanted = JoinKind::kRight;
    } else {
      continue;
    }
    if (kind != JoinKind::kCross && kind != wanted)
      return Raise(Msg::kNotSupported,
                   {"Outer join operators (*= and =*) both ways between two tables"});
    kind = wanted;
    on.push_back(join);
  }
  if (kind == JoinKind::kCross) return std::nullopt;
  const RowSchema& inner = kind == JoinKind::kLeft ? right.schema : left.schema;
  for (const Expr* condition : conditions) {
    if (IsOuterJoinOperator(*condition) || HasSubquery(*condition) || !NamesAnyColumn(*condition) ||
        !OnlyNames(*condition, inner, collation)) {
      continue;
    }
    on.push_back(condition);
  }
  applied.insert(applied.end(), on.begin(), on.end());
  return std::nullopt;
}

struct FromScope {
  const Expr* seek = nullptr;           // the WHERE clause, for index seeks
  const FromTarget* target = nullptr;   // UPDATE's or DELETE's table
  const NamedColumns* named = nullptr;  // the only columns a query reads
};

Status OpenItem(const FromItem& item, const FromScope& from,
                const std::vector<const Expr*>& conditions, ExecContext& ctx, const OuterRow* outer,
                std::vector<std::string>& exposed, Relation& out, KeyedRead* keyed = nullptr) {
  if (item.derived) {
    if (Status s = OpenDerived(item, ctx, out)) return s;
    exposed.push_back(item.table.alias);
    return Narrow(conditions, ctx, outer, out);
  }
  if (!item.is_join()) {
    Status opened = item.function
                        ? OpenTableFunction(item, ctx, out)
                        : OpenRelation(item.table, ctx, out, from.seek, keyed, from.named);
    if (opened) return opened;
    const std::string& name = item.table.ExposedName();
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
  std::vector<const Expr*> on;
  SplitConjuncts(item.on.get(), on);
  // Which side to read first: the other may then be read by key. A side
  // whose rows an outer join keeps whole must be read whole; of two plain
  // tables in an inner join, the smaller goes first.
  bool right_first = item.join == JoinKind::kRight && IsTableItem(*item.left);
  if ((item.join == JoinKind::kInner || item.join == JoinKind::kCross) && IsTableItem(*item.left) &&
      IsTableItem(*item.right)) {
    right_first = Filtered(*item.right, conditions) && !Filtered(*item.left, conditions);
  }
  Relation left, right;
  const FromItem& first_item = right_first ? *item.right : *item.left;
  const FromItem& second_item = right_first ? *item.left : *item.right;
  Relation& first = right_first ? right : left;
  Relation& second = right_first ? left : right;
  bool first_kept = right_first ? right_kept : left_kept;
  bool second_kept = right_first ? left_kept : right_kept;
  if (Status s = OpenItem(first_item, from, first_kept ? conditions : kNoConditions, ctx, outer,
                          exposed, first)) {
    return s;
  }
  // The second side is read by key when its rows can only ever appear
  // matched with the first side's: it is not an outer join's kept side.
  bool reducible = item.join == JoinKind::kInner ||
                   (item.join == JoinKind::kLeft && !right_first) ||
                   (item.join == JoinKind::kRight && right_first);
  KeyedRead by;
  bool by_key = reducible && IsTableItem(second_item);
  if (by_key) {
    std::vector<const Expr*> equalities = on;
    equalities.insert(equalities.end(), conditions.begin(), conditions.end());
    by_key = KeysFor(second_item, equalities, first, ctx.collation(), by) &&
             WorthSeeking(second_item, by, ctx);
  }
  if (Status s = OpenItem(second_item, from, second_kept ? conditions : kNoConditions, ctx, outer,
                          exposed, second, by_key ? &by : nullptr)) {
    return s;
  }
  JoinKeys keys;
  if (item.join != JoinKind::kCross) FindKeys(on, left.schema, right.schema, ctx.collation(), keys);
  if (item.join == JoinKind::kInner && keys.left.empty())
    FindKeys(conditions, left.schema, right.schema, ctx.collation(), keys);
  std::vector<const Expr*> on_list;
  if (item.on) on_list.push_back(item.on.get());
  if (item.on && OuterJoinOperatorIn(*item.on))
    return Raise(Msg::kNotSupported, {"An outer join operator (*= or =*) in a JOIN's ON clause"});
  return Join(left, right, item.join, on_list, keys, ctx, outer, out);
}

}  // namespace

Status OpenFrom(const std::vector<const FromItem*>& items, const Expr* where, bool read_all,
                ExecContext& ctx, const OuterRow* outer, Relation& out, const FromTarget* target,
                const NamedColumns* named) {
  std::vector<const Expr*> conditions;
  if (!read_all) SplitConjuncts(where, conditions);
  FromScope from{read_all ? nullptr : where, target, target ? nullptr : named};
  std::vector<std::string> exposed;
  if (Status s = OpenItem(*items[0], from, conditions, ctx, outer, exposed, out)) return s;
  // The old outer joins: `a.x *= b.y` in WHERE keeps every row of a's
  // table, `=*` every row of b's.
  std::vector<const Expr*> all_conditions, outer_joins;
  SplitConjuncts(where, all_conditions);
  for (const Expr* condition : all_conditions) {
    if (IsOuterJoinOperator(*condition)) outer_joins.push_back(condition);
  }
  for (size_t i = 1; i < items.size(); ++i) {
    Relation right;
    KeyedRead keyed;
    bool by_key = outer_joins.empty() && IsTableItem(*items[i]) &&
                  KeysFor(*items[i], conditions, out, ctx.collation(), keyed) &&
                  WorthSeeking(*items[i], keyed, ctx);
    if (Status s = OpenItem(*items[i], from, conditions, ctx, outer, exposed, right,
                            by_key ? &keyed : nullptr)) {
      return s;
    }
    std::vector<const Expr*> on;
    JoinKind kind = JoinKind::kCross;
    if (Status s = OldOuterJoin(outer_joins, all_conditions, out, right, ctx.collation(), kind, on,
                                out.applied)) {
      return s;
    }
    // A comma is a cross join: the WHERE clause's equalities match it.
    JoinKeys keys;
    FindKeys(kind == JoinKind::kCross ? conditions : on, out.schema, right.schema, ctx.collation(),
             keys);
    Relation joined;
    if (Status s = Join(out, right, kind, on, keys, ctx, outer, joined)) return s;
    out = std::move(joined);
    out.rows = &out.owned;
  }
  for (const Expr* join : outer_joins) {
    if (std::find(out.applied.begin(), out.applied.end(), join) == out.applied.end())
      return Raise(Msg::kNotSupported,
                   {"An outer join operator (*= or =*) that joins no two tables of the FROM list"});
  }
  return std::nullopt;
}

Status OpenFrom(const SelectStmt& select, ExecContext& ctx, const OuterRow* outer, Relation& out) {
  std::vector<const FromItem*> items;
  for (const FromItem& item : select.from) items.push_back(&item);
  // GROUP BY ALL groups the rows WHERE removes too: it reads them all.
  NamedColumns named = ColumnsNamedBy(select, ctx.collation());
  return OpenFrom(items, select.where.get(), select.group_all, ctx, outer, out, nullptr, &named);
}

}  // namespace server
