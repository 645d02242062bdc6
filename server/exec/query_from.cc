// The FROM clause: tables, views and derived tables, joined. Conditions of
// the WHERE clause that name one side only are applied to that side before
// it is joined, where that cannot change the result, and equalities
// between the two sides of an inner join match rows by hashing.

#include <algorithm>
#include <limits>
#include <unordered_map>
#include <unordered_set>

#include "server/exec/eval_internal.h"
#include "server/exec/query.h"
#include "server/exec/table_functions.h"
#include "server/exec/table_rows.h"

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

// Narrow's work done as a table is read: only rows every condition holds
// for are kept. It gives up at the first error, so that the conditions are
// then applied after the read as Narrow does, errors and all.
class ConditionSieve : public RowSieve {
 public:
  ConditionSieve(const std::vector<const Expr*>& conditions, ExecContext& ctx,
                 const OuterRow* outer)
      : conditions_(conditions), ctx_(ctx), outer_(outer) {}

  bool Start(const RowSchema& schema) override {
    schema_ = &schema;
    active_.clear();
    gave_up_ = false;
    if (SendsRowWarnings(ctx_)) return false;
    for (const Expr* condition : conditions_) {
      if (HasSubquery(*condition) || !NamesAnyColumn(*condition) ||
          !OnlyNames(*condition, schema, ctx_.collation())) {
        continue;
      }
      if (BindColumns(*condition, &schema, ctx_.collation(), outer_)) continue;
      active_.push_back(condition);
    }
    return !active_.empty();
  }
  // Whether every condition holds for `row`; false when one fails.
  bool Passes(const Row& row, bool& pass) {
    EvalScope scope{ctx_, schema_, &row, nullptr};
    scope.outer = outer_;
    pass = true;
    for (const Expr* condition : active_) {
      Scalar result;
      if (Evaluate(*condition, scope, result)) {
        gave_up_ = true;
        return false;
      }
      pass = !result.is_null() && std::get<int64_t>(result.value) != 0;
      if (!pass) break;
    }
    return true;
  }
  bool Offer(RowId id, Row& row) override {
    bool pass = false;
    if (!Passes(row, pass)) return false;
    if (pass) {
      ids_.push_back(id);
      rows_.push_back(std::move(row));
    }
    return true;
  }
  void Finish(std::vector<RowId>& ids, std::vector<Row>& rows) override {
    ids = std::move(ids_);
    rows = std::move(rows_);
  }
  // Whether it sieved a whole read, and so applied its conditions.
  bool used() const { return !active_.empty() && !gave_up_; }
  const std::vector<const Expr*>& applied() const { return active_; }

 private:
  const std::vector<const Expr*>& conditions_;
  ExecContext& ctx_;
  const OuterRow* outer_;
  const RowSchema* schema_ = nullptr;  // Start's, alive while rows are offered
  std::vector<const Expr*> active_;
  bool gave_up_ = false;
  std::vector<RowId> ids_;
  std::vector<Row> rows_;
};

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

// The columns of `left JOIN right`: the left side's, then the right's.
void JoinedSchema(const RowSchema& left, const RowSchema& right, RowSchema& out) {
  out = RowSchema{};
  for (const RowSchema* side : {&left, &right}) {
    out.names.insert(out.names.end(), side->names.begin(), side->names.end());
    out.types.insert(out.types.end(), side->types.begin(), side->types.end());
    out.sources.insert(out.sources.end(), side->sources.begin(), side->sources.end());
  }
}

// Each row's key values, for sorting by them.
std::vector<std::vector<Scalar>> KeyValues(const std::vector<Row>& rows, const RowSchema& schema,
                                           const std::vector<int>& columns) {
  std::vector<std::vector<Scalar>> out(rows.size());
  for (size_t i = 0; i < rows.size(); ++i) {
    for (int c : columns) out[i].push_back(Scalar{schema.types[c], rows[i][c]});
  }
  return out;
}

// Orders two keys as ORDER BY orders them, NULLs first; `x` and `y` may
// come from different sides (their types differ, their values are
// compared as `=` compares them).
int CompareJoinKeys(const std::vector<Scalar>& x, const std::vector<Scalar>& y,
                    const Collation& collation, Status& failure) {
  for (size_t k = 0; k < x.size(); ++k) {
    if (x[k].is_null() || y[k].is_null()) {
      if (x[k].is_null() != y[k].is_null()) return x[k].is_null() ? -1 : 1;
      continue;
    }
    int c = 0;
    if (Status s = CompareScalars(x[k], y[k], collation, c); s && !failure) failure = s;
    if (c != 0) return c;
  }
  return 0;
}

// left JOIN right: `on` (may be null) decides which pairs match; `keys`
// narrows the pairs tried to those with equal keys. `merge` sorts both
// sides by the keys and walks them together, so the rows come in key order,
// each key's pairs by the left side's order and then its unmatched rows.
Status Join(Relation& left, Relation& right, JoinKind kind, const std::vector<const Expr*>& on,
            const JoinKeys& keys, ExecContext& ctx, const OuterRow* outer, Relation& out,
            bool merge = false) {
  const Collation& collation = ctx.collation();
  RowSchema& schema = out.schema;
  JoinedSchema(left.schema, right.schema, schema);
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
  const bool keep_left = kind == JoinKind::kLeft || kind == JoinKind::kFull;
  const bool keep_right = kind == JoinKind::kRight || kind == JoinKind::kFull;
  std::vector<bool> right_matched(keep_right ? rrows.size() : 0);
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
  // Row `l` paired with each of `candidates` that ON holds for, then alone
  // when none did and the left side is kept.
  auto pair = [&](const Row& l, const std::vector<size_t>& candidates) -> Status {
    bool matched = false;
    for (size_t r : candidates) {
      fill(&l, &rrows[r]);
      bool match = false;
      if (Status s = matches(match)) return s;
      if (!match) continue;
      matched = true;
      if (!right_matched.empty()) right_matched[r] = true;
      out.owned.push_back(combined);
    }
    if (!matched && keep_left) {
      fill(&l, nullptr);
      out.owned.push_back(combined);
    }
    return std::nullopt;
  };
  auto right_alone = [&](size_t r) {
    if (!keep_right || right_matched[r]) return;
    fill(nullptr, &rrows[r]);
    out.owned.push_back(combined);
  };
  out.rows = &out.owned;
  static const std::vector<size_t> kNone;
  if (merge) {
    Status failure;
    const std::vector<std::vector<Scalar>> lkeys = KeyValues(lrows, left.schema, keys.left);
    const std::vector<std::vector<Scalar>> rkeys = KeyValues(rrows, right.schema, keys.right);
    auto sorted = [&](const std::vector<std::vector<Scalar>>& side) {
      std::vector<size_t> order(side.size());
      for (size_t i = 0; i < order.size(); ++i) order[i] = i;
      std::stable_sort(order.begin(), order.end(), [&](size_t a, size_t b) {
        return CompareJoinKeys(side[a], side[b], collation, failure) < 0;
      });
      return order;
    };
    const std::vector<size_t> lorder = sorted(lkeys);
    const std::vector<size_t> rorder = sorted(rkeys);
    if (failure) return failure;
    auto cross = [&](size_t l, size_t r) {
      return CompareJoinKeys(lkeys[lorder[l]], rkeys[rorder[r]], collation, failure);
    };
    size_t i = 0, j = 0;
    std::vector<size_t> run;
    while (i < lorder.size() || j < rorder.size()) {
      int c = i == lorder.size() ? 1 : j == rorder.size() ? -1 : cross(i, j);
      if (failure) return failure;
      if (c < 0) {
        if (Status s = pair(lrows[lorder[i++]], kNone)) return s;
        continue;
      }
      if (c > 0) {
        right_alone(rorder[j++]);
        continue;
      }
      // One key on both sides; with a NULL in it, no pair can match.
      size_t i_end = i + 1, j_end = j + 1;
      while (i_end < lorder.size() && cross(i_end, j) == 0) ++i_end;
      while (j_end < rorder.size() && cross(i, j_end) == 0) ++j_end;
      if (failure) return failure;
      run.clear();
      const std::vector<Scalar>& key = rkeys[rorder[j]];
      if (std::none_of(key.begin(), key.end(), [](const Scalar& v) { return v.is_null(); }))
        run.assign(rorder.begin() + j, rorder.begin() + j_end);
      for (; i < i_end; ++i) {
        if (Status s = pair(lrows[lorder[i]], run)) return s;
      }
      for (; j < j_end; ++j) right_alone(rorder[j]);
    }
    return std::nullopt;
  }
  std::unordered_map<std::string, std::vector<size_t>> table;
  const bool hashed = !keys.left.empty();
  std::string key;
  if (hashed) {
    for (size_t i = 0; i < rrows.size(); ++i) {
      if (RowKey(rrows[i], right.schema, keys.right, collation, key)) table[key].push_back(i);
    }
  }
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
    if (Status s = pair(l, *candidates)) return s;
  }
  for (size_t r = 0; r < right_matched.size(); ++r) right_alone(r);
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

const std::vector<const Expr*> kNoConditions;

struct FromScope {
  const Expr* seek = nullptr;           // the WHERE clause, for index seeks
  const FromTarget* target = nullptr;   // UPDATE's or DELETE's table
  const NamedColumns* named = nullptr;  // the only columns a query reads
  RowSieve* sieve = nullptr;            // for the one table of the FROM clause
  // The whole WHERE clause, and the columns read once it is applied: a
  // join whose rows nothing reads after it makes them empty.
  const Expr* where = nullptr;
  const NamedColumns* later = nullptr;
};

// One equality a loop join seeks by: a column of the driving relation
// and a column of the inner table.
struct LoopKey {
  int driver = -1;
  int inner = -1;
  const Expr* condition = nullptr;
};

// The equalities of `conditions` between a column of `driver` and a stored
// column of `table`, which the plain table `item` reads (named by its
// exposed name, or unqualified and not one of the driver's).
void FindLoopKeys(const FromItem& item, const Table& table,
                  const std::vector<const Expr*>& conditions, const RowSchema& driver,
                  const Collation& collation, std::vector<LoopKey>& out) {
  const std::string& exposed = item.table.ExposedName();
  for (const Expr* condition : conditions) {
    if (condition->kind != ExprKind::kCompare || condition->name != "=") continue;
    for (int side = 0; side < 2; ++side) {
      const Expr& mine = *condition->args[side];
      const Expr& theirs = *condition->args[1 - side];
      if (mine.kind != ExprKind::kColumn || theirs.kind != ExprKind::kColumn) continue;
      int from = LookupColumn(theirs, driver, collation);
      if (from < 0 || LookupColumn(mine, driver, collation) >= 0) continue;
      if (!mine.qualifier.empty() && !collation.Equal(mine.qualifier, exposed)) continue;
      int column = table.FindColumn(mine.name, collation);
      if (column < 0 || table.columns[column].is_computed() ||
          !KeysComparable(driver.types[from], table.columns[column].type)) {
        continue;
      }
      out.push_back({from, column, condition});
      break;
    }
  }
}

// The keys (positions in `keys`) that fix the most leading columns of one
// of `table`'s indexes, in the index's order; empty when no index has its
// first column fixed.
std::vector<size_t> SeekPrefix(const Table& table, const std::vector<LoopKey>& keys,
                               const Collation& collation) {
  std::vector<size_t> best;
  for (const Index& index : table.indexes) {
    std::vector<size_t> prefix;
    for (const std::string& name : index.columns) {
      int column = table.FindColumn(name, collation);
      size_t k = 0;
      while (k < keys.size() && keys[k].inner != column) ++k;
      if (k == keys.size()) break;
      prefix.push_back(k);
    }
    if (prefix.size() > best.size()) best = std::move(prefix);
  }
  return best;
}

// How a loop join runs: the joined relation is `left JOIN right` of
// `kind`, driven from the side already read.
struct LoopJoinPlan {
  JoinKind kind = JoinKind::kInner;
  bool driver_left = true;
  bool forced = false;  // the LOOP hint: no cost rule
  // What each pair must hold (the ON clause's conjuncts), where seek keys
  // may come from, and what narrows the inner table's rows.
  const std::vector<const Expr*>* on = nullptr;
  const std::vector<const Expr*>* equalities = nullptr;
  const std::vector<const Expr*>* inner_conditions = nullptr;
  bool final = false;  // its rows are the FROM clause's
};

// The rows of `driver` sharing one seek key, in the order that key first
// appears.
struct KeyGroup {
  std::vector<Value> key;
  std::vector<size_t> rows;
};

// An index nested-loop join: each distinct key of the driving relation
// seeks the plain table `inner_item` through an index whose leading
// columns the join's equalities fix, so that table is never read whole.
// `joined` says whether it ran; when not (no such index, too many keys for
// seeking to pay, a condition on the inner rows that fails) nothing of the
// inner table is kept and the caller joins as it otherwise would.
Status LoopJoin(const LoopJoinPlan& plan, Relation& driver, const FromItem& inner_item,
                const FromScope& from, ExecContext& ctx, const OuterRow* outer,
                std::vector<std::string>& exposed, Relation& out, bool& joined) {
  joined = false;
  if (!IsTableItem(inner_item)) return std::nullopt;
  const Collation& collation = ctx.collation();
  const Table* table = FindUserTable(inner_item.table, ctx);
  if (!table || (from.target && table == from.target->table)) return std::nullopt;
  std::vector<LoopKey> keys;
  FindLoopKeys(inner_item, *table, *plan.equalities, driver.schema, collation, keys);
  std::vector<size_t> prefix = SeekPrefix(*table, keys, collation);
  if (prefix.empty()) return std::nullopt;
  std::vector<int> columns;
  for (size_t k : prefix) columns.push_back(keys[k].inner);

  // Group the driving rows by key; a NULL or a value no column value can
  // equal finds nothing.
  std::vector<KeyGroup> groups;
  std::vector<int> group_of(driver.rows->size(), -1);
  {
    std::unordered_map<std::string, int> seen;
    std::vector<Scalar> key(prefix.size());
    std::vector<Value> values;
    std::string text;
    for (size_t r = 0; r < driver.rows->size(); ++r) {
      const Row& row = (*driver.rows)[r];
      text.clear();
      for (size_t k = 0; k < prefix.size(); ++k) {
        int column = keys[prefix[k]].driver;
        key[k] = Scalar{driver.schema.types[column], row[column]};
        text += GroupKey(key[k], collation);
        text += '\x1f';
      }
      if (!ExactKey(*table, columns, key, collation, values)) continue;
      auto [it, added] = seen.emplace(text, static_cast<int>(groups.size()));
      if (added) groups.push_back({values, {}});
      groups[it->second].rows.push_back(r);
      group_of[r] = it->second;
    }
  }
  if (groups.size() > kMostKeysToSeek) return std::nullopt;
  if (!plan.forced && groups.size() > kKeysAlwaysSought &&
      static_cast<int64_t>(groups.size()) * 4 >= RowsOf(inner_item.table, ctx)) {
    return std::nullopt;
  }

  TableSeeker seeker;
  if (Status s = OpenTableSeeker(inner_item.table, *table, ctx, from.named, seeker)) return s;
  const std::string& name = inner_item.table.ExposedName();
  for (const std::string& other : exposed) {
    if (collation.Equal(other, name))
      return ErrorAt(Msg::kSameExposedName, {other, name}, inner_item.line);
  }
  ExposeAs(name, seeker.schema);
  ConditionSieve narrowing(*plan.inner_conditions, ctx, outer);
  const bool narrowed = narrowing.Start(seeker.schema);

  const RowSchema& left = plan.driver_left ? driver.schema : seeker.schema;
  const RowSchema& right = plan.driver_left ? seeker.schema : driver.schema;
  RowSchema& schema = out.schema;
  JoinedSchema(left, right, schema);
  // The ON clause is tested on every pair, but for an equality of two
  // integer columns the seek was made by: it holds for every row found.
  std::vector<const Expr*> residual;
  for (const Expr* condition : *plan.on) {
    if (Status s = BindColumns(*condition, &schema, collation, outer)) return s;
    if (HasAggregate(*condition)) return Raise(Msg::kAggregateInWhere);
    bool sought = false;
    for (size_t k : prefix) {
      const LoopKey& key = keys[k];
      sought = sought || (key.condition == condition &&
                          Family(driver.schema.types[key.driver]) == TypeFamily::kInteger &&
                          Family(table->columns[key.inner].type) == TypeFamily::kInteger);
    }
    if (!sought) residual.push_back(condition);
  }

  // Rows that nothing reads once made (a count of them, say) are left
  // empty: the FROM clause's own, the ON clause spent on the seek, every
  // condition of WHERE applied before, and no column named after it.
  bool bare = plan.final && residual.empty() && from.later && !from.later->all && !from.target;
  for (size_t i = 0; i < schema.names.size() && bare; ++i)
    bare = !from.later->Names(schema.sources[i], schema.names[i], collation);
  if (bare) {
    std::vector<const Expr*> where, applied = driver.applied;
    SplitConjuncts(from.where, where);
    if (narrowed)
      applied.insert(applied.end(), narrowing.applied().begin(), narrowing.applied().end());
    for (const Expr* condition : where)
      bare = bare && std::find(applied.begin(), applied.end(), condition) != applied.end();
  }
  // Each pair is made in place among the joined rows and taken back when
  // the rest of the ON clause does not hold for it; a row NULL-extended
  // (`r` or `l` null) is kept as it is.
  const size_t width = left.names.size();
  const size_t total = schema.names.size();
  auto join = [&](const Row* l, const Row* r, bool& matched) -> Status {
    Row& row = out.owned.emplace_back();
    matched = true;
    if (bare) return std::nullopt;
    row.reserve(total);
    if (l) {
      row.insert(row.end(), l->begin(), l->end());
    } else {
      row.resize(width);
    }
    if (r) {
      row.insert(row.end(), r->begin(), r->end());
    } else {
      row.resize(total);
    }
    if (residual.empty() || !l || !r) return std::nullopt;
    EvalScope scope{ctx, &schema, &row, nullptr};
    scope.outer = outer;
    for (const Expr* condition : residual) {
      if (Status s = Test(*condition, scope, matched)) return s;
      if (!matched) break;
    }
    if (!matched) out.owned.pop_back();
    return std::nullopt;
  };
  const bool keeps_driver = plan.kind == (plan.driver_left ? JoinKind::kLeft : JoinKind::kRight);
  std::vector<bool> driver_matched(driver.rows->size());
  bool gave_up = false;
  // The inner rows of one group, as they are read.
  const KeyGroup* group = nullptr;
  const Row* only = nullptr;  // the driving row, when it is the left side
  Store::RowVisitor visit = [&](RowId, Row& row) -> Status {
    if (narrowed) {
      bool pass = false;
      if (!narrowing.Passes(row, pass)) {
        gave_up = true;
        return SqlError{};
      }
      if (!pass) return std::nullopt;
    }
    bool matched = false;
    if (only) {
      if (Status s = join(only, &row, matched)) return s;
      if (matched) driver_matched[only - driver.rows->data()] = true;
      return std::nullopt;
    }
    for (size_t r : group->rows) {
      if (Status s = join(&row, &(*driver.rows)[r], matched)) return s;
      if (matched) driver_matched[r] = true;
    }
    return std::nullopt;
  };
  // When the query reads no column of the inner table but integer ones the
  // seek fixes, each row found is NULLs and the key: the store counts the
  // rows rather than handing each over.
  bool counted = !seeker.computed && !narrowed && !seeker.wanted.empty();
  for (size_t c = 0; c < seeker.wanted.size() && counted; ++c) {
    bool sought = std::find(columns.begin(), columns.end(), static_cast<int>(c)) != columns.end();
    if (sought && Family(table->columns[c].type) != TypeFamily::kInteger) counted = false;
    if (!sought && seeker.wanted[c]) counted = false;
  }
  std::vector<int64_t> counts(groups.size(), -1);
  auto seek = [&](size_t g) -> Status {
    if (!counted) return SeekTable(seeker, columns, groups[g].key, ctx, visit);
    if (counts[g] < 0) {
      if (Status s = ctx.StoreOf(*table).CountKey(*table, columns, groups[g].key,
                                                  std::numeric_limits<int64_t>::max(), counts[g]))
        return s;
    }
    Row row(table->columns.size());
    for (size_t k = 0; k < columns.size(); ++k) {
      if (seeker.wanted[columns[k]]) row[columns[k]] = groups[g].key[k];
    }
    for (int64_t i = 0; i < counts[g]; ++i) {
      if (Status s = visit(0, row)) return s;
    }
    return std::nullopt;
  };
  Status status;
  if (plan.driver_left) {
    // Each driving row in order, its matches after it: the order a hash
    // join of the same rows gives.
    for (size_t r = 0; r < driver.rows->size() && !status; ++r) {
      only = &(*driver.rows)[r];
      if (group_of[r] >= 0) status = seek(static_cast<size_t>(group_of[r]));
      bool kept = false;
      if (!status && keeps_driver && !driver_matched[r]) status = join(only, nullptr, kept);
    }
  } else {
    for (size_t g = 0; g < groups.size() && !status; ++g) {
      group = &groups[g];
      status = seek(g);
    }
    for (size_t r = 0; r < driver.rows->size() && !status && keeps_driver; ++r) {
      bool kept = false;
      if (!driver_matched[r]) status = join(nullptr, &(*driver.rows)[r], kept);
    }
  }
  if (gave_up) {
    // The inner table is read the usual way, its conditions applied after.
    out.owned.clear();
    return std::nullopt;
  }
  if (status) return status;
  exposed.push_back(name);
  out.applied = driver.applied;
  if (narrowed)
    out.applied.insert(out.applied.end(), narrowing.applied().begin(), narrowing.applied().end());
  out.rows = &out.owned;
  joined = true;
  return std::nullopt;
}

// Whether a comparison in `expr` has a value cast with COLLATE.
bool ComparesCollated(const Expr& expr) {
  auto collated = [](const Expr& e, auto& self) -> bool {
    if (e.kind == ExprKind::kCollate) return true;
    for (const auto& arg : e.args) {
      if (self(*arg, self)) return true;
    }
    return false;
  };
  if (expr.kind == ExprKind::kCompare)
    return collated(*expr.args[0], collated) || collated(*expr.args[1], collated);
  for (const auto& arg : expr.args) {
    if (ComparesCollated(*arg)) return true;
  }
  return false;
}

// The hints no plan can follow, known before either side is read: a nested
// loop keeps only the driving side's unmatched rows, and REMOTE is an inner
// join made at the right side's site, on no recast collation.
Status RefuseHintEarly(const FromItem& item) {
  bool outer =
      item.join == JoinKind::kLeft || item.join == JoinKind::kRight || item.join == JoinKind::kFull;
  if (item.hint == JoinHint::kLoop &&
      (item.join == JoinKind::kRight || item.join == JoinKind::kFull))
    return Raise(Msg::kNoPlanForHints);
  if (item.hint == JoinHint::kRemote && (outer || (item.on && ComparesCollated(*item.on))))
    return Raise(Msg::kNoPlanForHints);
  return std::nullopt;
}

// HASH and MERGE match rows by the keys an equality between the two sides
// gives. With no key found, the join is refused: 8622 when no equality
// compares the sides at all, and as not supported when one does but not
// between two columns of comparable types (this server keys on columns).
// The ON clause is bound first, so that its own errors come first.
Status RefuseUnkeyed(const std::vector<const Expr*>& on, const std::vector<const Expr*>& where,
                     const Relation& left, const Relation& right, const Collation& collation,
                     const OuterRow* outer) {
  RowSchema both;
  JoinedSchema(left.schema, right.schema, both);
  for (const Expr* condition : on) {
    if (Status s = BindColumns(*condition, &both, collation, outer)) return s;
  }
  for (const std::vector<const Expr*>* list : {&on, &where}) {
    for (const Expr* condition : *list) {
      if (condition->kind != ExprKind::kCompare || !IsEquality(condition->name)) continue;
      const Expr& a = *condition->args[0];
      const Expr& b = *condition->args[1];
      if (!NamesAnyColumn(a) || !NamesAnyColumn(b) || HasSubquery(*condition)) continue;
      if (!(OnlyNames(a, left.schema, collation) && OnlyNames(b, right.schema, collation)) &&
          !(OnlyNames(a, right.schema, collation) && OnlyNames(b, left.schema, collation)))
        continue;
      // text, ntext and image compare with nothing, hinted or not.
      for (const Expr* operand : {&a, &b}) {
        int column =
            operand->kind == ExprKind::kColumn ? LookupColumn(*operand, both, collation) : -1;
        if (column >= 0 && IsLargeObject(both.types[column])) return Raise(Msg::kTextCompare);
      }
      return Raise(Msg::kNotSupported,
                   {"A HASH or MERGE join on an equality that is not between two columns of "
                    "comparable types"});
    }
  }
  return Raise(Msg::kNoPlanForHints);
}

Status OpenItem(const FromItem& item, const FromScope& from,
                const std::vector<const Expr*>& conditions, ExecContext& ctx, const OuterRow* outer,
                std::vector<std::string>& exposed, Relation& out, KeyedRead* keyed = nullptr,
                bool final = false) {
  if (item.derived) {
    if (Status s = OpenDerived(item, ctx, out)) return s;
    exposed.push_back(item.table.alias);
    return Narrow(conditions, ctx, outer, out);
  }
  if (!item.is_join()) {
    // A table's rows are narrowed as they are read, unless the query
    // brings a sieve of its own.
    ConditionSieve narrowing(conditions, ctx, outer);
    RowSieve* sieve = from.sieve ? from.sieve : conditions.empty() ? nullptr : &narrowing;
    Status opened = item.function
                        ? OpenTableFunction(item, ctx, out)
                        : OpenRelation(item.table, ctx, out, from.seek, keyed, from.named, sieve);
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
    if (!narrowing.used()) return Narrow(conditions, ctx, outer, out);
    out.applied.insert(out.applied.end(), narrowing.applied().begin(), narrowing.applied().end());
    return std::nullopt;
  }
  if (Status s = RefuseHintEarly(item)) return s;
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
  // LOOP keeps the order written: the left side drives.
  if (item.hint == JoinHint::kLoop &&
      (item.join == JoinKind::kInner || item.join == JoinKind::kCross))
    right_first = false;
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
  // Better still, the first side's rows seek the second's through an index
  // and are joined as they are found.
  bool inner = item.join == JoinKind::kInner || item.join == JoinKind::kCross;
  const bool hashed_or_merged = item.hint == JoinHint::kHash || item.hint == JoinHint::kMerge;
  if ((reducible || inner) && !hashed_or_merged && IsTableItem(second_item) &&
      !(item.on && OuterJoinOperatorIn(*item.on))) {
    std::vector<const Expr*> equalities = on;
    if (inner) equalities.insert(equalities.end(), conditions.begin(), conditions.end());
    LoopJoinPlan plan;
    plan.kind = item.join;
    plan.driver_left = !right_first;
    plan.forced = item.hint == JoinHint::kLoop;
    plan.on = &on;
    plan.equalities = &equalities;
    plan.inner_conditions = second_kept ? &conditions : &kNoConditions;
    plan.final = final;
    bool joined = false;
    if (Status s = LoopJoin(plan, first, second_item, from, ctx, outer, exposed, out, joined))
      return s;
    if (joined) return std::nullopt;
  }
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
  if (hashed_or_merged && keys.left.empty()) {
    return RefuseUnkeyed(on, item.join == JoinKind::kInner ? conditions : kNoConditions, left,
                         right, ctx.collation(), outer);
  }
  // REMOTE joins at the right table's site: every table here is local, so it joins here.
  return Join(left, right, item.join, on_list, keys, ctx, outer, out,
              item.hint == JoinHint::kMerge);
}

}  // namespace

// The order to join a comma list of user tables in: each next the first
// (in FROM order) that a WHERE equality ties to those joined so far, or the
// first left when none is tied, so that no two tables meet as a cross
// product while a tied one waits. A name in an equality belongs to the
// table its qualifier exposes, or to the one table with such a column.
std::vector<size_t> CommaJoinOrder(const std::vector<const FromItem*>& items,
                                   const std::vector<const Expr*>& conditions, ExecContext& ctx) {
  std::vector<size_t> order(items.size());
  for (size_t i = 0; i < order.size(); ++i) order[i] = i;
  std::vector<const Table*> tables;
  for (const FromItem* item : items) {
    const Table* table = IsTableItem(*item) ? FindUserTable(item->table, ctx) : nullptr;
    if (!table) return order;
    tables.push_back(table);
  }
  const Collation& collation = ctx.collation();
  auto owner = [&](const Expr& column) -> int {
    int found = -1;
    for (size_t i = 0; i < items.size(); ++i) {
      bool mine = column.qualifier.empty()
                      ? tables[i]->FindColumn(column.name, collation) >= 0
                      : collation.Equal(column.qualifier, items[i]->table.ExposedName());
      if (!mine) continue;
      if (found >= 0) return -1;  // ambiguous: the query says so later
      found = static_cast<int>(i);
    }
    return found;
  };
  std::vector<std::vector<bool>> tied(items.size(), std::vector<bool>(items.size()));
  for (const Expr* condition : conditions) {
    if (condition->kind != ExprKind::kCompare || !IsEquality(condition->name)) continue;
    const Expr& a = *condition->args[0];
    const Expr& b = *condition->args[1];
    if (a.kind != ExprKind::kColumn || b.kind != ExprKind::kColumn) continue;
    int x = owner(a), y = owner(b);
    if (x < 0 || y < 0 || x == y) continue;
    tied[x][y] = tied[y][x] = true;
  }
  std::vector<bool> joined(items.size());
  joined[0] = true;
  for (size_t k = 1; k < order.size(); ++k) {
    size_t next = items.size();
    for (size_t j = 0; j < items.size() && next == items.size(); ++j) {
      if (joined[j]) continue;
      for (size_t i : std::span(order.data(), k)) {
        if (tied[i][j]) next = j;
      }
    }
    if (next == items.size()) {
      next = 0;
      while (joined[next]) ++next;
    }
    joined[next] = true;
    order[k] = next;
  }
  return order;
}

// Puts the columns of a relation joined in `order` back in FROM order;
// `spans[k]` is where the columns of the k-th table joined begin.
void RestoreFromOrder(const std::vector<size_t>& order, const std::vector<size_t>& spans,
                      Relation& out) {
  const size_t width = out.schema.names.size();
  std::vector<size_t> begin(order.size()), end(order.size());
  for (size_t k = 0; k < order.size(); ++k) {
    begin[order[k]] = spans[k];
    end[order[k]] = k + 1 < order.size() ? spans[k + 1] : width;
  }
  std::vector<size_t> from;  // the joined position of each column in FROM order
  for (size_t i = 0; i < order.size(); ++i) {
    for (size_t c = begin[i]; c < end[i]; ++c) from.push_back(c);
  }
  RowSchema schema = out.schema;
  for (size_t c = 0; c < width; ++c) {
    schema.names[c] = out.schema.names[from[c]];
    schema.types[c] = out.schema.types[from[c]];
    schema.sources[c] = out.schema.sources[from[c]];
  }
  out.schema = std::move(schema);
  for (Row& row : out.owned) {
    if (row.size() != width) continue;  // rows nothing reads carry no columns
    Row moved(width);
    for (size_t c = 0; c < width; ++c) moved[c] = std::move(row[from[c]]);
    row = std::move(moved);
  }
}

Status OpenFrom(const std::vector<const FromItem*>& items, const Expr* where, bool read_all,
                ExecContext& ctx, const OuterRow* outer, Relation& out, const FromTarget* target,
                const NamedColumns* named, RowSieve* sieve, const NamedColumns* later) {
  std::vector<const Expr*> conditions;
  if (!read_all) SplitConjuncts(where, conditions);
  FromScope from{read_all ? nullptr : where, target, target ? nullptr : named};
  if (items.size() == 1 && IsTableItem(*items[0])) from.sieve = sieve;
  from.where = where;
  from.later = later;
  // The old outer joins: `a.x *= b.y` in WHERE keeps every row of a's
  // table, `=*` every row of b's.
  std::vector<const Expr*> all_conditions, outer_joins;
  SplitConjuncts(where, all_conditions);
  for (const Expr* condition : all_conditions) {
    if (IsOuterJoinOperator(*condition)) outer_joins.push_back(condition);
  }
  // A plain SELECT's comma list is joined in an order that ties each table
  // to the ones before; the columns come back in FROM order afterwards.
  std::vector<size_t> order(items.size());
  for (size_t i = 0; i < order.size(); ++i) order[i] = i;
  if (items.size() > 2 && outer_joins.empty() && !target)
    order = CommaJoinOrder(items, conditions, ctx);
  const bool reordered = !std::is_sorted(order.begin(), order.end());
  std::vector<size_t> spans{0};
  std::vector<std::string> exposed;
  if (Status s = OpenItem(*items[order[0]], from, conditions, ctx, outer, exposed, out, nullptr,
                          items.size() == 1)) {
    return s;
  }
  for (size_t k = 1; k < items.size(); ++k) {
    const size_t i = order[k];
    spans.push_back(out.schema.names.size());
    if (outer_joins.empty()) {
      // A comma is a cross join: the WHERE clause's equalities may seek.
      LoopJoinPlan plan;
      plan.kind = JoinKind::kCross;
      plan.on = &kNoConditions;
      plan.equalities = &conditions;
      plan.inner_conditions = &conditions;
      plan.final = k + 1 == items.size();
      Relation joined;
      bool done = false;
      if (Status s = LoopJoin(plan, out, *items[i], from, ctx, outer, exposed, joined, done))
        return s;
      if (done) {
        out = std::move(joined);
        out.rows = &out.owned;
        continue;
      }
    }
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
  if (reordered) RestoreFromOrder(order, spans, out);
  for (const Expr* join : outer_joins) {
    if (std::find(out.applied.begin(), out.applied.end(), join) == out.applied.end())
      return Raise(Msg::kNotSupported,
                   {"An outer join operator (*= or =*) that joins no two tables of the FROM list"});
  }
  return std::nullopt;
}

Status OpenFrom(const SelectStmt& select, ExecContext& ctx, const OuterRow* outer, Relation& out,
                RowSieve* sieve) {
  std::vector<const FromItem*> items;
  for (const FromItem& item : select.from) items.push_back(&item);
  // GROUP BY ALL groups the rows WHERE removes too: it reads them all.
  NamedColumns named = ColumnsNamedBy(select, ctx.collation());
  // Only a join can leave its rows empty.
  const bool joins = items.size() > 1 || items[0]->is_join();
  NamedColumns later = joins ? ColumnsReadAfterFrom(select, ctx.collation()) : NamedColumns{};
  return OpenFrom(items, select.where.get(), select.group_all, ctx, outer, out, nullptr, &named,
                  sieve, joins ? &later : nullptr);
}

}  // namespace server
