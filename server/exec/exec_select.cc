// SELECT: the FROM clause's rows, WHERE, GROUP BY (with ROLLUP and CUBE)
// and HAVING, the select list, DISTINCT, UNION, ORDER BY and TOP.

#include <algorithm>
#include <cmath>
#include <numeric>
#include <unordered_map>
#include <unordered_set>

#include "server/exec/eval_internal.h"
#include "server/exec/executor.h"
#include "server/exec/query.h"

namespace server {

namespace {

// The first column `expr` names outside its subqueries, in the order
// binding meets them: the one a query without FROM cannot know.
const Expr* FirstColumn(const Expr& expr) {
  if (expr.kind == ExprKind::kColumn) return &expr;
  for (const auto& arg : expr.args) {
    if (const Expr* column = FirstColumn(*arg)) return column;
  }
  return nullptr;
}

bool IsAggregate(const Expr& expr) {
  return expr.kind == ExprKind::kFunction && expr.qualifier.empty() && IsAggregateName(expr.name);
}

// Whether two bound expressions are the same expression (GROUP BY a + b
// lets the select list say a + b).
bool SameExpr(const Expr& a, const Expr& b) {
  if (a.kind != b.kind || a.args.size() != b.args.size()) return false;
  switch (a.kind) {
    case ExprKind::kColumn:
      return a.column_index == b.column_index && a.outer_level == b.outer_level;
    case ExprKind::kLiteral:
      return a.text == b.text && a.literal.value == b.literal.value;
    case ExprKind::kVariable:
      return EqualNoCase(a.name, b.name);
    default:
      break;
  }
  if (!EqualNoCase(a.name, b.name) || a.negated != b.negated || a.distinct != b.distinct ||
      a.star != b.star || a.cast_type_name != b.cast_type_name || a.subquery || b.subquery) {
    return false;
  }
  for (size_t i = 0; i < a.args.size(); ++i) {
    if (!SameExpr(*a.args[i], *b.args[i])) return false;
  }
  return true;
}

// The first column of this query that `expr` names outside an aggregate
// and outside every GROUP BY expression, if there is one.
const Expr* UngroupedColumn(const Expr& expr, const std::vector<ExprPtr>& group_by) {
  for (const ExprPtr& key : group_by) {
    if (SameExpr(expr, *key)) return nullptr;
  }
  if (IsAggregate(expr) || expr.subquery) return nullptr;
  if (expr.kind == ExprKind::kColumn) return expr.outer_level == 0 ? &expr : nullptr;
  for (const auto& arg : expr.args) {
    if (const Expr* found = UngroupedColumn(*arg, group_by)) return found;
  }
  return nullptr;
}

// An aggregate whose argument holds an aggregate or a subquery (130).
bool NestedAggregate(const Expr& expr, bool inside) {
  if (inside && (IsAggregate(expr) || expr.subquery)) return true;
  bool now = inside || IsAggregate(expr);
  for (const auto& arg : expr.args) {
    if (NestedAggregate(*arg, now)) return true;
  }
  return false;
}

// SET TEXTSIZE: how much of a text, ntext or image value a SELECT returns,
// in bytes (two to an ntext character).
void CutToTextSize(const DataType& type, const ExecContext& ctx, Value& value) {
  TypeFamily family = Family(type);
  if (family != TypeFamily::kText && family != TypeFamily::kImage) return;
  size_t limit = static_cast<size_t>(ctx.session.options.textsize);
  if (auto* bytes = std::get_if<std::vector<uint8_t>>(&value)) {
    if (bytes->size() > limit) bytes->resize(limit);
  } else if (auto* text = std::get_if<std::string>(&value)) {
    size_t characters = Info(type.base).unicode ? limit / 2 : limit;
    // Cut before the first byte of the character past the limit.
    size_t seen = 0;
    for (size_t i = 0; i < text->size(); ++i) {
      if ((static_cast<unsigned char>((*text)[i]) & 0xC0) == 0x80) continue;
      if (seen++ == characters) {
        text->resize(i);
        break;
      }
    }
  }
}

struct Output {
  const Expr* expr = nullptr;  // null for a column taken by *
  int column = -1;
  std::string name;
};

// What each output row was made from: a source row, and for a grouped
// query its group's rows and summary columns.
struct Source {
  const Row* row = nullptr;
  const std::vector<const Row*>* group = nullptr;
  const std::vector<int>* rolled_up = nullptr;
};

struct Group {
  Row representative;
  std::vector<const Row*> rows;
  std::vector<int> rolled_up;
  std::vector<Scalar> keys;  // for ordering the groups
};

int CompareForSort(const Scalar& x, const Scalar& y, const Collation& collation, Status& failure) {
  if (x.is_null() || y.is_null()) return x.is_null() == y.is_null() ? 0 : (x.is_null() ? -1 : 1);
  int c = 0;
  if (Status s = CompareScalars(x, y, collation, c)) {
    if (!failure) failure = s;
  }
  return c;
}

// Whether `expr` (subqueries included) calls a built-in whose result
// varies from one call to the next.
bool Varies(const Expr& expr);

bool Varies(const SelectStmt& select) {
  std::vector<const Expr*> exprs{select.where.get(), select.having.get()};
  for (const SelectItem& item : select.items) exprs.push_back(item.expr.get());
  for (const ExprPtr& key : select.group_by) exprs.push_back(key.get());
  for (const OrderItem& item : select.order_by) exprs.push_back(item.expr.get());
  std::vector<const FromItem*> from;
  for (const FromItem& item : select.from) from.push_back(&item);
  while (!from.empty()) {
    const FromItem* item = from.back();
    from.pop_back();
    exprs.push_back(item->on.get());
    for (const ExprPtr& arg : item->function_args) exprs.push_back(arg.get());
    if (item->derived && Varies(*item->derived)) return true;
    if (item->left) from.push_back(item->left.get());
    if (item->right) from.push_back(item->right.get());
  }
  for (const Expr* expr : exprs) {
    if (expr && Varies(*expr)) return true;
  }
  for (const UnionPart& part : select.unions) {
    if (Varies(*part.query)) return true;
  }
  return false;
}

bool Varies(const Expr& expr) {
  if (expr.kind == ExprKind::kFunction && expr.qualifier.empty()) {
    for (std::string_view name : {"GETDATE", "GETUTCDATE", "NEWID", "RAND", "TEXTPTR"}) {
      if (EqualNoCase(expr.name, name)) return true;
    }
  }
  if (expr.subquery && Varies(*expr.subquery)) return true;
  for (const auto& arg : expr.args) {
    if (Varies(*arg)) return true;
  }
  return false;
}

// TOP n with ORDER BY over one table: as the table is read, only the rows
// that can still be among the first n are kept (WITH TIES, and those level
// with the n-th), so a large table is neither held nor sorted whole. What
// it keeps then goes through the query as every row would, in stored
// order, so sorting it gives what sorting all the rows gives.
class TopSieve : public RowSieve {
 public:
  TopSieve(const SelectStmt& select, ExecContext& ctx, const OuterRow* outer)
      : select_(select), ctx_(ctx), outer_(outer), limit_(static_cast<size_t>(*select.top)) {}

  // Whether a query can be sieved at all, before its table is known: TOP n
  // (not PERCENT, not too many rows to keep) ordered, over one table, with
  // no grouping, no DISTINCT and nothing that varies between evaluations.
  static bool Suits(const SelectStmt& select, const ExecContext& ctx) {
    if (!select.top || select.top_percent || *select.top < 0 || *select.top > kMostRowsKept ||
        select.order_by.empty() || select.distinct || !select.group_by.empty() || select.having ||
        select.group_all || select.from.size() != 1 || SendsRowWarnings(ctx)) {
      return false;
    }
    for (const SelectItem& item : select.items) {
      if (item.expr && HasAggregate(*item.expr)) return false;
    }
    for (const OrderItem& item : select.order_by) {
      if (HasAggregate(*item.expr) || HasSubquery(*item.expr)) return false;
    }
    return !Varies(select);
  }

  bool Start(const RowSchema& schema) override {
    schema_ = schema;
    const Collation& collation = ctx_.collation();
    // The select list, as far as ORDER BY can name it: each item's
    // expression (or column, for *) and name.
    struct Named {
      const Expr* expr = nullptr;
      int column = -1;
      std::string name;
    };
    std::vector<Named> outputs;
    for (const SelectItem& item : select_.items) {
      if (item.star) {
        for (size_t i = 0; i < schema_.names.size(); ++i) {
          if (item.star_qualifier.empty() ||
              collation.Equal(item.star_qualifier, schema_.sources[i]))
            outputs.push_back({nullptr, static_cast<int>(i), schema_.names[i]});
        }
        continue;
      }
      if (BindColumns(*item.expr, &schema_, collation, outer_)) return false;
      std::string name = item.alias;
      if (name.empty() && item.expr->kind == ExprKind::kColumn) name = item.expr->name;
      outputs.push_back({item.expr.get(), -1, std::move(name)});
    }
    // Each ORDER BY item as Order() resolves it.
    for (const OrderItem& item : select_.order_by) {
      const Expr& expr = *item.expr;
      const Collation* explicit_collation = ExplicitCollation(expr, collation);
      collations_.push_back(explicit_collation ? explicit_collation : &collation);
      const Named* output = nullptr;
      if (expr.kind == ExprKind::kLiteral && std::holds_alternative<int64_t>(expr.literal.value)) {
        int64_t position = std::get<int64_t>(expr.literal.value);
        if (position < 1 || position > static_cast<int64_t>(outputs.size())) return false;
        output = &outputs[position - 1];
      } else if (expr.kind == ExprKind::kColumn && expr.qualifier.empty()) {
        for (const Named& named : outputs) {
          if (!output && collation.Equal(named.name, expr.name)) output = &named;
        }
      }
      if (output) {
        keys_.push_back(KeyOf(output->expr, output->column));
        continue;
      }
      if (BindColumns(expr, &schema_, collation, outer_)) return false;
      keys_.push_back(KeyOf(&expr, -1));
    }
    if (select_.where) {
      if (BindColumns(*select_.where, &schema_, collation, outer_) ||
          HasAggregate(*select_.where)) {
        return false;
      }
    }
    for (Key& key : keys_)
      key.integer = key.column >= 0 && Family(schema_.types[key.column]) == TypeFamily::kInteger;
    keys_now_.resize(keys_.size());
    return true;
  }

  bool Offer(RowId id, Row& row) override {
    EvalScope scope{ctx_, &schema_, &row, nullptr};
    scope.outer = outer_;
    if (select_.where) {
      bool keep = false;
      if (Test(*select_.where, scope, keep)) return false;
      if (!keep) return true;
    }
    // The keys go into a buffer, copied only for a row kept: most rows are
    // compared and dropped.
    for (size_t k = 0; k < keys_.size(); ++k) {
      Scalar& key = keys_now_[k];
      if (keys_[k].expr) {
        if (Evaluate(*keys_[k].expr, scope, key)) return false;
      } else {
        key.type = schema_.types[keys_[k].column];
        const Value& value = row[keys_[k].column];
        const auto* number = std::get_if<int64_t>(&value);
        auto* held = std::get_if<int64_t>(&key.value);
        if (number && held) {
          *held = *number;
        } else {
          key.value = value;
        }
      }
      if (IsLargeObject(key.type)) return false;  // refused when sorted, as it should be
    }
    const size_t seq = offered_++;
    if (limit_ == 0) return true;
    const bool full = heap_.size() >= limit_;
    const int c = full ? Compare(keys_now_, heap_.front().keys) : -1;
    if (failure_) return false;
    // Full: a row comes in only ahead of the last one kept, which leaves;
    // WITH TIES one level with it is kept beside.
    if (c > 0 || (c == 0 && !select_.with_ties)) return true;
    Entry entry;
    entry.keys = keys_now_;
    entry.seq = seq;
    auto later = [this](const Entry& a, const Entry& b) { return Before(a, b); };
    if (!full) {
      entry.id = id;
      entry.row = std::move(row);
      heap_.push_back(std::move(entry));
      std::push_heap(heap_.begin(), heap_.end(), later);
      return !failure_;
    }
    if (c < 0) {
      entry.id = id;
      entry.row = std::move(row);
      std::pop_heap(heap_.begin(), heap_.end(), later);
      Entry left = std::move(heap_.back());
      heap_.back() = std::move(entry);
      std::push_heap(heap_.begin(), heap_.end(), later);
      if (select_.with_ties) {
        // Rows level with the last one kept stay; once it sorts ahead of
        // them they are out for good.
        if (Compare(left.keys, heap_.front().keys) == 0) {
          ties_.push_back(std::move(left));
        } else {
          ties_.clear();
        }
      }
    } else {
      entry.id = id;
      entry.row = std::move(row);
      ties_.push_back(std::move(entry));
    }
    return !failure_;
  }

  Store::ColumnMask Needs() const override {
    // A subquery may name any of the row's columns from inside.
    if (select_.where && HasSubquery(*select_.where)) return {};
    Store::ColumnMask needs(schema_.names.size());
    std::vector<const Expr*> exprs;
    if (select_.where) exprs.push_back(select_.where.get());
    for (const Key& key : keys_) {
      if (key.expr) exprs.push_back(key.expr);
      if (key.column >= 0) needs[key.column] = true;
    }
    while (!exprs.empty()) {
      const Expr* expr = exprs.back();
      exprs.pop_back();
      if (expr->kind == ExprKind::kColumn && expr->outer_level == 0 && expr->column_index >= 0 &&
          static_cast<size_t>(expr->column_index) < needs.size()) {
        needs[expr->column_index] = true;
      }
      for (const auto& arg : expr->args) exprs.push_back(arg.get());
    }
    // A mask that holds nothing would read every column.
    if (std::find(needs.begin(), needs.end(), true) == needs.end()) needs[0] = true;
    return needs;
  }

  void Finish(std::vector<RowId>& ids, std::vector<Row>& rows) override {
    for (Entry& tie : ties_) heap_.push_back(std::move(tie));
    std::sort(heap_.begin(), heap_.end(),
              [](const Entry& a, const Entry& b) { return a.seq < b.seq; });
    for (Entry& entry : heap_) {
      ids.push_back(entry.id);
      rows.push_back(std::move(entry.row));
    }
  }

 private:
  // Keeping more rows than this is no cheaper than sorting them all.
  static constexpr int64_t kMostRowsKept = 100'000;

  struct Key {
    const Expr* expr = nullptr;  // evaluated over the row, or
    int column = -1;             // taken from it
    bool integer = false;        // a column of an integer type
  };
  // A bound column of the row itself is read rather than evaluated.
  static Key KeyOf(const Expr* expr, int column) {
    if (expr && expr->kind == ExprKind::kColumn && expr->outer_level == 0 &&
        expr->column_index >= 0)
      return {nullptr, expr->column_index};
    return {expr, column};
  }
  struct Entry {
    std::vector<Scalar> keys;
    size_t seq = 0;  // the order offered, which breaks ties as the sort does
    RowId id = 0;
    Row row;
  };
  // The rows' order by the ORDER BY items alone. Two integers of an
  // integer column compare in place: this runs for every row read.
  int Compare(const std::vector<Scalar>& a, const std::vector<Scalar>& b) {
    for (size_t k = 0; k < keys_.size(); ++k) {
      const auto* x = keys_[k].integer ? std::get_if<int64_t>(&a[k].value) : nullptr;
      const auto* y = keys_[k].integer ? std::get_if<int64_t>(&b[k].value) : nullptr;
      int c =
          x && y ? (*x > *y) - (*x < *y) : CompareForSort(a[k], b[k], *collations_[k], failure_);
      if (c != 0) return select_.order_by[k].descending ? -c : c;
    }
    return 0;
  }
  // The order of the sort; the heap has the last row kept on top.
  bool Before(const Entry& a, const Entry& b) {
    int c = Compare(a.keys, b.keys);
    return c != 0 ? c < 0 : a.seq < b.seq;
  }

  const SelectStmt& select_;
  ExecContext& ctx_;
  const OuterRow* outer_;
  const size_t limit_;
  RowSchema schema_;
  std::vector<Key> keys_;
  std::vector<const Collation*> collations_;
  std::vector<Entry> heap_;
  std::vector<Entry> ties_;
  std::vector<Scalar> keys_now_;  // the row being offered
  size_t offered_ = 0;
  Status failure_;
};

// The positions of the rows not equal to an earlier one, in order; 8163
// when a column is text, ntext or image.
Status FirstOfEach(const QueryResult& result, const Collation& collation,
                   std::vector<size_t>& first) {
  for (const DataType& type : result.schema.types) {
    if (IsLargeObject(type)) return Raise(Msg::kDistinctText);
  }
  std::unordered_set<std::string> seen;
  for (size_t r = 0; r < result.rows.size(); ++r) {
    std::string key;
    for (size_t c = 0; c < result.rows[r].size(); ++c) {
      key += GroupKey(Scalar{result.schema.types[c], result.rows[r][c]}, collation);
      key += '\x1f';
    }
    if (seen.insert(std::move(key)).second) first.push_back(r);
  }
  return std::nullopt;
}

class QueryRun {
 public:
  QueryRun(const SelectStmt& select, ExecContext& ctx, const OuterRow* outer)
      : select_(select), ctx_(ctx), outer_(outer), collation_(ctx.collation()) {}

  // Runs one query specification; ORDER BY only when `ordered`.
  Status Run(bool ordered, QueryResult& out);

 private:
  Status Open(bool ordered);
  Status BindOutputs();
  Status Bind(const Expr& expr) {
    Status s =
        BindColumns(expr, select_.from.empty() ? nullptr : &relation_.schema, collation_, outer_);
    // Without FROM a name is an unknown column, not a misplaced one.
    if (s && select_.from.empty() && s->number == MessageNumber(Msg::kColumnNotAllowedHere)) {
      if (const Expr* column = FirstColumn(expr))
        return ErrorAt(Msg::kInvalidColumnName, {column->name}, column->line);
    }
    return s;
  }
  EvalScope ScopeFor(const Source& source) {
    EvalScope scope{ctx_, &relation_.schema, source.row, source.group};
    scope.outer = outer_;
    scope.rolled_up = source.rolled_up;
    return scope;
  }
  Status Where(std::vector<const Row*>& kept);
  Status MakeGroups(const std::vector<const Row*>& kept);
  Status Produce(const Source& source, Row& result);
  Status Types(QueryResult& out);
  Status Distinct(QueryResult& out);
  Status Order(QueryResult& out);
  void Top(QueryResult& out);

  const SelectStmt& select_;
  ExecContext& ctx_;
  const OuterRow* outer_;
  const Collation& collation_;
  Relation relation_;
  std::vector<Row> single_row_ = std::vector<Row>(1);
  Row nulls_;
  std::vector<Output> outputs_;
  bool grouped_ = false;
  std::vector<Group> groups_;
  std::vector<Source> sources_;
  std::vector<std::vector<Scalar>> order_keys_;
  std::vector<const Collation*> order_collations_;  // per ORDER BY item
};

Status QueryRun::Open(bool ordered) {
  if (!select_.from.empty()) {
    std::optional<TopSieve> top;
    if (ordered && TopSieve::Suits(select_, ctx_)) top.emplace(select_, ctx_, outer_);
    if (Status s = OpenFrom(select_, ctx_, outer_, relation_, top ? &*top : nullptr)) return s;
  } else {
    relation_.rows = &single_row_;
  }
  // FMTONLY: the columns are worked out as usual, over no rows at all.
  static const std::vector<Row> kNoRows;
  if (ctx_.session.options.fmtonly) relation_.rows = &kNoRows;
  nulls_.assign(relation_.schema.names.size(), Value{});
  return std::nullopt;
}

Status QueryRun::BindOutputs() {
  const RowSchema& schema = relation_.schema;
  for (const SelectItem& item : select_.items) {
    if (item.star) {
      if (select_.from.empty()) return Raise(Msg::kNotSupported, {"SELECT * without FROM"});
      bool any = false;
      for (size_t i = 0; i < schema.names.size(); ++i) {
        if (!item.star_qualifier.empty() &&
            !collation_.Equal(item.star_qualifier, schema.sources[i]))
          continue;
        any = true;
        outputs_.push_back({nullptr, static_cast<int>(i), schema.names[i]});
      }
      if (!any) return Raise(Msg::kColumnPrefix, {item.star_qualifier});
      continue;
    }
    if (Status s = Bind(*item.expr)) return s;
    if (NestedAggregate(*item.expr, false)) return Raise(Msg::kAggregateOfAggregate);
    grouped_ = grouped_ || HasAggregate(*item.expr);
    std::string name = item.alias;
    if (name.empty() && item.expr->kind == ExprKind::kColumn) {
      const RowSchema* from = &schema;
      if (item.expr->outer_level > 0) {
        const OuterRow* o = outer_;
        for (int level = 1; o && level < item.expr->outer_level; ++level) o = o->next;
        from = o ? o->schema : nullptr;
      }
      if (from) name = from->names[item.expr->column_index];
    }
    outputs_.push_back({item.expr.get(), -1, std::move(name)});
  }
  grouped_ = grouped_ || !select_.group_by.empty() || select_.having;
  return std::nullopt;
}

Status QueryRun::Where(std::vector<const Row*>& kept) {
  if (!select_.where) {
    for (const Row& row : *relation_.rows) kept.push_back(&row);
    return std::nullopt;
  }
  if (Status s = Bind(*select_.where)) return s;
  if (HasAggregate(*select_.where)) return ErrorAt(Msg::kAggregateInWhere, {}, select_.where->line);
  // With no rows to test, the condition is still checked once on a row of
  // NULLs, so that type errors show as they would with data.
  if (relation_.rows->empty()) {
    EvalScope scope = ScopeFor({&nulls_});
    scope.probe = true;
    bool ignored = false;
    if (Status s = Test(*select_.where, scope, ignored)) return s;
  }
  kept.reserve(relation_.rows->size());
  if (relation_.applied.empty()) {
    for (const Row& row : *relation_.rows) {
      bool keep = true;
      if (Status s = Test(*select_.where, ScopeFor({&row}), keep)) return s;
      if (keep) kept.push_back(&row);
    }
    return std::nullopt;
  }
  // What the joins applied is not tested again; the rest is ANDed as the
  // WHERE clause would be.
  std::vector<const Expr*> conditions, rest;
  SplitConjuncts(select_.where.get(), conditions);
  for (const Expr* condition : conditions) {
    const auto& applied = relation_.applied;
    if (std::find(applied.begin(), applied.end(), condition) == applied.end())
      rest.push_back(condition);
  }
  for (const Row& row : *relation_.rows) {
    bool keep = true;
    for (const Expr* condition : rest) {
      Scalar result;
      if (Status s = Evaluate(*condition, ScopeFor({&row}), result)) return s;
      if (result.is_null()) {
        keep = false;  // unknown: later conditions still run, for their errors
      } else if (std::get<int64_t>(result.value) == 0) {
        keep = false;
        break;
      }
    }
    if (keep) kept.push_back(&row);
  }
  return std::nullopt;
}

Status QueryRun::MakeGroups(const std::vector<const Row*>& kept) {
  const auto& keys = select_.group_by;
  for (const ExprPtr& key : keys) {
    if (Status s = Bind(*key)) return s;
    if (HasAggregate(*key)) return Raise(Msg::kAggregateInWhere);
    if (!NamesAnyColumn(*key)) return ErrorAt(Msg::kGroupByConstant, {}, key->line);
    if (select_.grouping != GroupingKind::kPlain && key->kind != ExprKind::kColumn)
      return Raise(Msg::kNotSupported, {"WITH ROLLUP or CUBE over an expression"});
    const Collation* explicit_collation = ExplicitCollation(*key, collation_);
    if (explicit_collation && explicit_collation->case_sensitive() != collation_.case_sensitive())
      return Raise(Msg::kNotSupported, {"GROUP BY under a collation other than the server's"});
  }
  for (const Output& output : outputs_) {
    const Expr* column = output.expr ? UngroupedColumn(*output.expr, keys) : nullptr;
    if (!output.expr && keys.empty()) {
      return Raise(Msg::kNotInAggregate,
                   {relation_.schema.sources[output.column] + "." + output.name});
    }
    if (!output.expr) {
      bool grouped = false;
      for (const ExprPtr& key : keys)
        grouped = grouped || (key->kind == ExprKind::kColumn && key->column_index == output.column);
      if (!grouped)
        return Raise(Msg::kNotGrouped,
                     {relation_.schema.sources[output.column] + "." + output.name});
      continue;
    }
    if (column) {
      std::string name = relation_.schema.sources[column->column_index] + "." +
                         relation_.schema.names[column->column_index];
      return Raise(keys.empty() ? Msg::kNotInAggregate : Msg::kNotGrouped, {name});
    }
  }
  if (select_.having) {
    if (Status s = Bind(*select_.having)) return s;
    if (NestedAggregate(*select_.having, false)) return Raise(Msg::kAggregateOfAggregate);
    if (const Expr* column = UngroupedColumn(*select_.having, keys)) {
      std::string name = relation_.schema.sources[column->column_index] + "." +
                         relation_.schema.names[column->column_index];
      return Raise(Msg::kNotGroupedHaving, {name});
    }
  }
  if (keys.empty()) {
    // Aggregates without GROUP BY: one group of every kept row.
    groups_.push_back({nulls_, kept, {}, {}});
    return std::nullopt;
  }
  // Which key columns each grouping set keeps: all of them, then for
  // ROLLUP each shorter prefix, for CUBE every subset.
  size_t n = keys.size();
  std::vector<std::vector<bool>> sets;
  sets.push_back(std::vector<bool>(n, true));
  if (select_.grouping == GroupingKind::kRollup) {
    for (size_t k = n; k-- > 0;) {
      std::vector<bool> set(n, false);
      for (size_t i = 0; i < k; ++i) set[i] = true;
      sets.push_back(set);
    }
  } else if (select_.grouping == GroupingKind::kCube) {
    for (uint64_t mask = (uint64_t{1} << n) - 1; mask-- > 0;) {
      std::vector<bool> set(n);
      for (size_t i = 0; i < n; ++i) set[i] = (mask >> (n - 1 - i)) & 1;
      sets.push_back(set);
    }
  }
  // GROUP BY ALL makes a group of every key value, even one WHERE removed.
  std::vector<const Row*> every;
  const std::vector<const Row*>* keyed = &kept;
  if (select_.group_all) {
    for (const Row& row : *relation_.rows) every.push_back(&row);
    keyed = &every;
  }
  std::vector<const Row*> kept_sorted(kept);
  std::sort(kept_sorted.begin(), kept_sorted.end());
  for (const std::vector<bool>& set : sets) {
    std::unordered_map<std::string, size_t> index;
    size_t first = groups_.size();
    std::vector<Scalar> values;
    std::string key;
    for (const Row* row : *keyed) {
      values.clear();
      key.clear();
      for (size_t i = 0; i < n; ++i) {
        Scalar value;
        if (set[i]) {
          if (Status s = Evaluate(*keys[i], ScopeFor({row}), value)) return s;
          if (IsLargeObject(value.type)) return Raise(Msg::kTextCompare);
        }
        key += set[i] ? GroupKey(value, collation_) : std::string("\x1e");
        key += '\x1f';
        values.push_back(std::move(value));
      }
      auto it = index.find(key);
      bool added = it == index.end();
      if (added) it = index.emplace(key, groups_.size()).first;
      if (added) {
        Group group;
        group.representative = *row;
        for (size_t i = 0; i < n; ++i) {
          if (set[i]) continue;
          group.rolled_up.push_back(keys[i]->column_index);
          group.representative[keys[i]->column_index] = Value{};
        }
        group.keys = std::move(values);
        groups_.push_back(std::move(group));
      }
      bool counts =
          !select_.group_all || std::binary_search(kept_sorted.begin(), kept_sorted.end(), row);
      if (counts) groups_[it->second].rows.push_back(row);
    }
    // A grand total has a row even over no rows.
    if (groups_.size() == first && std::none_of(set.begin(), set.end(), [](bool b) { return b; })) {
      Group total;
      total.representative = nulls_;
      for (size_t i = 0; i < n; ++i) total.rolled_up.push_back(keys[i]->column_index);
      total.keys.resize(n);
      groups_.push_back(std::move(total));
    }
  }
  // Groups come out in key order, each summary after the groups it sums.
  Status failure;
  std::stable_sort(groups_.begin(), groups_.end(), [&](const Group& a, const Group& b) {
    for (size_t i = 0; i < n; ++i) {
      int column = keys[i]->column_index;
      bool ra = std::find(a.rolled_up.begin(), a.rolled_up.end(), column) != a.rolled_up.end();
      bool rb = std::find(b.rolled_up.begin(), b.rolled_up.end(), column) != b.rolled_up.end();
      if (ra != rb) return rb;
      if (ra) continue;
      int c = CompareForSort(a.keys[i], b.keys[i], collation_, failure);
      if (c != 0) return c < 0;
    }
    return false;
  });
  return failure;
}

Status QueryRun::Produce(const Source& source, Row& result) {
  result.clear();
  result.reserve(outputs_.size());
  for (const Output& output : outputs_) {
    if (!output.expr) {
      result.push_back((*source.row)[output.column]);
      continue;
    }
    Scalar value;
    if (Status s = Evaluate(*output.expr, ScopeFor(source), value)) return s;
    result.push_back(std::move(value.value));
  }
  return std::nullopt;
}

// Column types: what each item gives over a row of NULLs.
Status QueryRun::Types(QueryResult& out) {
  static const std::vector<const Row*> kNoGroup;
  for (const Output& output : outputs_) {
    out.schema.names.push_back(output.name);
    if (!output.expr) {
      out.schema.types.push_back(relation_.schema.types[output.column]);
      continue;
    }
    EvalScope scope = ScopeFor({&nulls_, &kNoGroup});
    scope.probe = true;
    Scalar typed;
    if (Status s = Evaluate(*output.expr, scope, typed)) return s;
    out.schema.types.push_back(typed.type);
  }
  return std::nullopt;
}

Status QueryRun::Distinct(QueryResult& out) {
  std::vector<size_t> first;
  if (Status s = FirstOfEach(out, collation_, first)) return s;
  std::vector<Row> rows;
  std::vector<Source> sources;
  for (size_t r : first) {
    rows.push_back(std::move(out.rows[r]));
    sources.push_back(sources_[r]);
  }
  out.rows = std::move(rows);
  sources_ = std::move(sources);
  return std::nullopt;
}

Status QueryRun::Order(QueryResult& out) {
  // Sort keys per output row: an output column (by position or name) or
  // an expression over the source row.
  order_keys_.assign(out.rows.size(), {});
  order_collations_.clear();
  for (const OrderItem& item : select_.order_by) {
    const Expr& expr = *item.expr;
    const Collation* explicit_collation = ExplicitCollation(expr, collation_);
    order_collations_.push_back(explicit_collation ? explicit_collation : &collation_);
    int output_column = -1;
    if (expr.kind == ExprKind::kLiteral && std::holds_alternative<int64_t>(expr.literal.value)) {
      int64_t position = std::get<int64_t>(expr.literal.value);
      if (position < 1 || position > static_cast<int64_t>(outputs_.size())) {
        return ErrorAt(Msg::kOrderPosition, {std::to_string(position)}, expr.line);
      }
      output_column = static_cast<int>(position - 1);
    } else if (expr.kind == ExprKind::kColumn && expr.qualifier.empty()) {
      for (size_t i = 0; i < outputs_.size() && output_column < 0; ++i) {
        if (collation_.Equal(outputs_[i].name, expr.name)) output_column = static_cast<int>(i);
      }
    }
    if (output_column < 0) {
      if (Status s = Bind(expr)) return s;
      for (size_t i = 0; i < outputs_.size() && output_column < 0; ++i) {
        const Output& output = outputs_[i];
        bool same = output.expr ? SameExpr(*output.expr, expr)
                                : expr.kind == ExprKind::kColumn && expr.outer_level == 0 &&
                                      expr.column_index == output.column;
        if (same) output_column = static_cast<int>(i);
      }
    }
    if (output_column < 0 && select_.distinct) return ErrorAt(Msg::kDistinctOrderBy, {}, expr.line);
    if (output_column < 0 && grouped_) {
      if (const Expr* column = UngroupedColumn(expr, select_.group_by)) {
        std::string name = relation_.schema.sources[column->column_index] + "." +
                           relation_.schema.names[column->column_index];
        return Raise(select_.group_by.empty() ? Msg::kNotInAggregate : Msg::kNotGrouped, {name});
      }
    }
    for (size_t r = 0; r < out.rows.size(); ++r) {
      if (output_column >= 0) {
        order_keys_[r].push_back(
            Scalar{out.schema.types[output_column], out.rows[r][output_column]});
        continue;
      }
      Scalar key;
      if (Status s = Evaluate(expr, ScopeFor(sources_[r]), key)) return s;
      order_keys_[r].push_back(std::move(key));
    }
  }
  for (const auto& keys : order_keys_) {
    for (const Scalar& key : keys) {
      if (IsLargeObject(key.type)) return Raise(Msg::kTextCompare);
    }
  }
  std::vector<size_t> order(out.rows.size());
  std::iota(order.begin(), order.end(), 0);
  Status failure;
  // Ties keep the rows' order: the comparison ends on their positions.
  auto before = [&](size_t a, size_t b) {
    for (size_t k = 0; k < select_.order_by.size(); ++k) {
      int c = CompareForSort(order_keys_[a][k], order_keys_[b][k], *order_collations_[k], failure);
      if (c != 0) return select_.order_by[k].descending ? c > 0 : c < 0;
    }
    return a < b;
  };
  // TOP n needs only its first n rows in order.
  size_t keep = order.size();
  if (select_.top && !select_.top_percent && !select_.with_ties)
    keep = std::min(keep, static_cast<size_t>(*select_.top));
  if (keep < order.size()) {
    std::partial_sort(order.begin(), order.begin() + static_cast<ptrdiff_t>(keep), order.end(),
                      before);
    order.resize(keep);
  } else {
    std::sort(order.begin(), order.end(), before);
  }
  if (failure) return failure;
  std::vector<Row> sorted;
  std::vector<std::vector<Scalar>> keys;
  sorted.reserve(order.size());
  for (size_t i : order) {
    sorted.push_back(std::move(out.rows[i]));
    keys.push_back(std::move(order_keys_[i]));
  }
  out.rows = std::move(sorted);
  order_keys_ = std::move(keys);
  return std::nullopt;
}

void QueryRun::Top(QueryResult& out) {
  if (!select_.top) return;
  size_t limit = static_cast<size_t>(*select_.top);
  if (select_.top_percent) {
    double share = std::min<double>(static_cast<double>(*select_.top), 100.0) / 100.0;
    limit = static_cast<size_t>(std::ceil(share * static_cast<double>(out.rows.size())));
  }
  if (out.rows.size() <= limit) return;
  if (select_.with_ties && limit > 0 && !order_keys_.empty()) {
    // Rows that sort level with the last one kept are kept too.
    Status ignored;
    while (limit < out.rows.size()) {
      bool tie = true;
      for (size_t k = 0; k < select_.order_by.size() && tie; ++k) {
        tie = CompareForSort(order_keys_[limit - 1][k], order_keys_[limit][k],
                             *order_collations_[k], ignored) == 0;
      }
      if (!tie) break;
      ++limit;
    }
  }
  out.rows.resize(limit);
}

Status QueryRun::Run(bool ordered, QueryResult& out) {
  if (select_.with_ties && select_.order_by.empty()) return Raise(Msg::kWithTiesOrderBy);
  if (Status s = Open(ordered)) return s;
  // The old outer joins' operators stand only as conditions of WHERE that
  // join two tables of the FROM list.
  for (const Expr* expr : {select_.where.get(), select_.having.get()}) {
    const Expr* found = expr ? OuterJoinOperatorIn(*expr) : nullptr;
    const auto& applied = relation_.applied;
    if (found && (expr == select_.having.get() ||
                  std::find(applied.begin(), applied.end(), found) == applied.end())) {
      return Raise(Msg::kNotSupported,
                   {"An outer join operator (*= or =*) that joins no two tables of the FROM list"});
    }
  }
  for (const SelectItem& item : select_.items) {
    if (item.expr && OuterJoinOperatorIn(*item.expr))
      return Raise(Msg::kNotSupported, {"An outer join operator (*= or =*) in a select list"});
  }
  if (Status s = BindOutputs()) return s;
  std::vector<const Row*> kept;
  if (Status s = Where(kept)) return s;
  if (grouped_) {
    if (Status s = MakeGroups(kept)) return s;
  }
  out.schema = RowSchema{};
  if (Status s = Types(out)) return s;
  if (grouped_) {
    out.rows.reserve(groups_.size());
    for (const Group& group : groups_) {
      Source source{&group.representative, &group.rows, &group.rolled_up};
      if (select_.having) {
        bool keep = false;
        if (Status s = Test(*select_.having, ScopeFor(source), keep)) return s;
        if (!keep) continue;
      }
      Row result;
      if (Status s = Produce(source, result)) return s;
      out.rows.push_back(std::move(result));
      sources_.push_back(source);
    }
  } else {
    out.rows.reserve(kept.size());
    for (const Row* row : kept) {
      Row result;
      if (Status s = Produce({row}, result)) return s;
      out.rows.push_back(std::move(result));
      sources_.push_back({row});
    }
  }
  if (select_.distinct) {
    if (Status s = Distinct(out)) return s;
  }
  if (ordered && !select_.order_by.empty()) {
    if (Status s = Order(out)) return s;
  }
  Top(out);
  if (ctx_.session.options.fmtonly) out.rows.clear();  // an aggregate's one row included
  return std::nullopt;
}

// ORDER BY of a UNION: each item names a column of the result, by
// position, by name, or as the first query's select item.
Status OrderUnion(const SelectStmt& select, QueryResult& out, const Collation& collation) {
  std::vector<std::pair<int, bool>> columns;
  for (const OrderItem& item : select.order_by) {
    const Expr& expr = *item.expr;
    int column = -1;
    if (expr.kind == ExprKind::kLiteral && std::holds_alternative<int64_t>(expr.literal.value)) {
      int64_t position = std::get<int64_t>(expr.literal.value);
      if (position < 1 || position > static_cast<int64_t>(out.schema.names.size()))
        return ErrorAt(Msg::kOrderPosition, {std::to_string(position)}, expr.line);
      column = static_cast<int>(position - 1);
    } else {
      for (size_t i = 0; i < select.items.size() && column < 0; ++i) {
        const SelectItem& selected = select.items[i];
        bool named = expr.kind == ExprKind::kColumn && i < out.schema.names.size() &&
                     collation.Equal(out.schema.names[i], expr.name);
        bool same = selected.expr && selected.expr->text == expr.text;
        if (named || same) column = static_cast<int>(i);
      }
    }
    if (column < 0) return ErrorAt(Msg::kUnionOrderBy, {}, expr.line);
    columns.emplace_back(column, item.descending);
  }
  Status failure;
  std::stable_sort(out.rows.begin(), out.rows.end(), [&](const Row& a, const Row& b) {
    for (const auto& [column, descending] : columns) {
      const DataType& type = out.schema.types[column];
      int c = CompareForSort(Scalar{type, a[column]}, Scalar{type, b[column]}, collation, failure);
      if (c != 0) return descending ? c > 0 : c < 0;
    }
    return false;
  });
  return failure;
}

// Removes rows equal to an earlier one.
Status RemoveDuplicates(QueryResult& out, const Collation& collation) {
  std::vector<size_t> first;
  if (Status s = FirstOfEach(out, collation, first)) return s;
  std::vector<Row> rows;
  for (size_t r : first) rows.push_back(std::move(out.rows[r]));
  out.rows = std::move(rows);
  return std::nullopt;
}

Status RunUnion(const SelectStmt& select, ExecContext& ctx, QueryResult& out,
                const OuterRow* outer) {
  std::vector<QueryResult> parts(select.unions.size() + 1);
  if (Status s = QueryRun(select, ctx, outer).Run(false, parts[0])) return s;
  for (size_t i = 0; i < select.unions.size(); ++i) {
    const SelectStmt& part = *select.unions[i].query;
    if (Status s = QueryRun(part, ctx, outer).Run(true, parts[i + 1])) return s;
    if (parts[i + 1].schema.names.size() != parts[0].schema.names.size())
      return ErrorAt(Msg::kUnionColumnCount, {}, part.line);
  }
  // Each column takes the type all its parts convert to; a bare NULL has
  // none and takes the others'.
  auto untyped = [&](size_t part, size_t c) {
    const SelectStmt& query = part == 0 ? select : *select.unions[part - 1].query;
    // Items line up with columns only when none is a *.
    for (const SelectItem& item : query.items) {
      if (!item.expr) return false;
    }
    if (c >= query.items.size()) return false;
    const Expr& expr = *query.items[c].expr;
    return expr.kind == ExprKind::kLiteral && expr.literal.untyped;
  };
  out.schema = parts[0].schema;
  for (size_t c = 0; c < out.schema.types.size(); ++c) {
    bool typed = false;
    for (size_t i = 0; i < parts.size(); ++i) {
      if (untyped(i, c)) continue;
      const DataType& type = parts[i].schema.types[c];
      out.schema.types[c] = typed ? CommonType(out.schema.types[c], type) : type;
      typed = true;
    }
  }
  for (size_t i = 0; i < parts.size(); ++i) {
    for (Row& row : parts[i].rows) {
      for (size_t c = 0; c < row.size(); ++c) {
        Scalar value;
        if (Status s = Coerce(Scalar{parts[i].schema.types[c], std::move(row[c])},
                              out.schema.types[c], value)) {
          return s;
        }
        row[c] = std::move(value.value);
      }
      out.rows.push_back(std::move(row));
    }
    // UNION without ALL removes duplicates from everything before it.
    if (i > 0 && !select.unions[i - 1].all) {
      if (Status s = RemoveDuplicates(out, ctx.collation())) return s;
    }
  }
  if (!select.order_by.empty()) return OrderUnion(select, out, ctx.collation());
  return std::nullopt;
}

}  // namespace

Status RunSelect(const SelectStmt& select, ExecContext& ctx, QueryResult& out,
                 const OuterRow* outer) {
  if (!select.unions.empty()) return RunUnion(select, ctx, out, outer);
  return QueryRun(select, ctx, outer).Run(true, out);
}

Status ExecuteSelect(const SelectStmt& stmt, ExecContext& ctx) {
  if (stmt.into) return ExecuteSelectInto(stmt, ctx);
  size_t assignments = 0;
  for (const SelectItem& item : stmt.items) assignments += item.variable.empty() ? 0 : 1;
  if (assignments > 0 && assignments < stmt.items.size())
    return Raise(Msg::kAssignmentWithRetrieval);
  QueryResult query;
  if (Status s = RunSelect(stmt, ctx, query)) return s;
  if (assignments > 0) {
    // Each row sets the variables in turn, so the last one's values stay;
    // with no rows they keep theirs.
    if (!query.rows.empty()) {
      const Row& last = query.rows.back();
      for (size_t i = 0; i < stmt.items.size(); ++i) {
        Scalar value{query.schema.types[i], last[i]};
        if (Status s = AssignVariable(stmt.items[i].variable, value, ctx)) return s;
      }
    }
    ctx.CountRows(static_cast<int64_t>(query.rows.size()));
    return std::nullopt;
  }
  ResultSet result;
  result.columns = std::move(query.schema.names);
  result.types.reserve(query.schema.types.size());
  for (const DataType& type : query.schema.types) result.types.push_back(TypeName(type));
  result.rows = std::move(query.rows);
  if (result.rows.size() > ctx.RowLimit()) result.rows.resize(ctx.RowLimit());
  for (size_t c = 0; c < query.schema.types.size(); ++c) {
    for (auto& row : result.rows) CutToTextSize(query.schema.types[c], ctx, row[c]);
  }
  int64_t count = static_cast<int64_t>(result.rows.size());
  result.statement = ctx.outcome.row_counts.size();
  ctx.outcome.results.push_back(std::move(result));
  ctx.CountRows(count);
  return std::nullopt;
}

}  // namespace server
