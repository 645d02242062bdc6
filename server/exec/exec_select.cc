// SELECT over one table, view or system table: column list or *, WHERE,
// aggregates over all rows, ORDER BY and TOP.

#include <algorithm>
#include <numeric>

#include "server/exec/eval_internal.h"
#include "server/exec/executor.h"
#include "server/exec/relation.h"

namespace server {

namespace {

// A column named outside any aggregate, if there is one.
const Expr* ColumnOutsideAggregate(const Expr& expr) {
  if (expr.kind == ExprKind::kColumn) return &expr;
  if (expr.kind == ExprKind::kFunction && expr.qualifier.empty() && IsAggregateName(expr.name))
    return nullptr;
  for (const auto& arg : expr.args) {
    if (const Expr* found = ColumnOutsideAggregate(*arg)) return found;
  }
  return nullptr;
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

}  // namespace

Status RunSelect(const SelectStmt& select, ExecContext& ctx, QueryResult& out) {
  Relation relation;
  std::vector<Row> single_row(1);
  if (select.from) {
    if (Status s = OpenRelation(*select.from, ctx, relation, select.where.get())) return s;
  } else {
    relation.rows = &single_row;
  }
  // FMTONLY: the columns are worked out as usual, over no rows at all.
  const std::vector<Row> no_source_rows;
  const bool format_only = ctx.session.options.fmtonly;
  if (format_only) relation.rows = &no_source_rows;
  const RowSchema& schema = relation.schema;
  const Collation& collation = ctx.collation();

  std::vector<Output> outputs;
  bool aggregate = false;
  for (const SelectItem& item : select.items) {
    if (item.star) {
      if (!select.from) return Raise(Msg::kNotSupported, {"SELECT * without FROM"});
      if (!item.star_qualifier.empty() &&
          !collation.Equal(item.star_qualifier, schema.table_name) &&
          !collation.Equal(item.star_qualifier, schema.alias)) {
        return Raise(Msg::kColumnPrefix, {item.star_qualifier});
      }
      for (size_t i = 0; i < schema.names.size(); ++i)
        outputs.push_back({nullptr, static_cast<int>(i), schema.names[i]});
      continue;
    }
    if (Status s = BindColumns(*item.expr, select.from ? &schema : nullptr, collation)) {
      // Without FROM a name is an unknown column, not a misplaced one.
      if (!select.from && s->number == MessageNumber(Msg::kColumnNotAllowedHere)) {
        return ErrorAt(Msg::kInvalidColumnName, {item.expr->name}, item.expr->line);
      }
      return s;
    }
    aggregate = aggregate || HasAggregate(*item.expr);
    std::string name = item.alias;
    if (name.empty() && item.expr->kind == ExprKind::kColumn)
      name = schema.names[item.expr->column_index];
    outputs.push_back({item.expr.get(), -1, std::move(name)});
  }
  if (aggregate) {
    for (const Output& output : outputs) {
      const Expr* column = output.expr ? ColumnOutsideAggregate(*output.expr) : nullptr;
      if (!output.expr || column) {
        std::string name = column ? column->name : output.name;
        return Raise(Msg::kNotInAggregate, {schema.table_name + "." + name});
      }
    }
  }
  if (select.where) {
    if (Status s = BindColumns(*select.where, select.from ? &schema : nullptr, collation)) return s;
    if (HasAggregate(*select.where)) return ErrorAt(Msg::kAggregateInWhere, {}, select.where->line);
  }

  // With no rows to test, the condition is still checked once on a row of
  // NULLs, so that type errors show as they would with data.
  Row nulls(schema.names.size());
  if (select.where && relation.rows->empty()) {
    EvalScope scope{ctx, &schema, &nulls, nullptr};
    scope.probe = true;
    bool ignored = false;
    if (Status s = Test(*select.where, scope, ignored)) return s;
  }
  std::vector<const Row*> kept;
  kept.reserve(relation.rows->size());
  for (const Row& row : *relation.rows) {
    bool keep = true;
    if (select.where) {
      EvalScope scope{ctx, &schema, &row, nullptr};
      if (Status s = Test(*select.where, scope, keep)) return s;
    }
    if (keep) kept.push_back(&row);
  }

  // Column types: what each item gives over a row of NULLs.
  std::vector<const Row*> no_rows;
  out.schema = RowSchema{};
  for (const Output& output : outputs) {
    out.schema.names.push_back(output.name);
    if (!output.expr) {
      out.schema.types.push_back(schema.types[output.column]);
      continue;
    }
    EvalScope scope{ctx, &schema, &nulls, &no_rows};
    scope.probe = true;
    Scalar typed;
    if (Status s = Evaluate(*output.expr, scope, typed)) return s;
    out.schema.types.push_back(typed.type);
  }

  auto produce = [&](const Row* row, const std::vector<const Row*>* group, Row& result) -> Status {
    result.clear();
    result.reserve(outputs.size());
    for (const Output& output : outputs) {
      if (!output.expr) {
        result.push_back((*row)[output.column]);
        continue;
      }
      EvalScope scope{ctx, &schema, row, group};
      Scalar value;
      if (Status s = Evaluate(*output.expr, scope, value)) return s;
      result.push_back(std::move(value.value));
    }
    return std::nullopt;
  };

  std::vector<const Row*> sources;
  if (aggregate) {
    Row result;
    if (Status s = produce(&nulls, &kept, result)) return s;
    out.rows.push_back(std::move(result));
    sources.push_back(&nulls);
  } else {
    out.rows.reserve(kept.size());
    for (const Row* row : kept) {
      Row result;
      if (Status s = produce(row, nullptr, result)) return s;
      out.rows.push_back(std::move(result));
    }
    sources = kept;
  }

  if (!select.order_by.empty() && out.rows.size() > 1) {
    // Sort keys per output row: an output column (by position or name) or
    // an expression over the source row.
    std::vector<std::vector<Scalar>> keys(out.rows.size());
    for (const OrderItem& item : select.order_by) {
      const Expr& expr = *item.expr;
      int output_column = -1;
      if (expr.kind == ExprKind::kLiteral && std::holds_alternative<int64_t>(expr.literal.value)) {
        int64_t position = std::get<int64_t>(expr.literal.value);
        if (position < 1 || position > static_cast<int64_t>(outputs.size())) {
          return ErrorAt(Msg::kOrderPosition, {std::to_string(position)}, expr.line);
        }
        output_column = static_cast<int>(position - 1);
      } else if (expr.kind == ExprKind::kColumn && expr.qualifier.empty()) {
        for (size_t i = 0; i < outputs.size() && output_column < 0; ++i) {
          if (collation.Equal(outputs[i].name, expr.name)) output_column = static_cast<int>(i);
        }
      }
      if (output_column < 0) {
        if (Status s = BindColumns(expr, select.from ? &schema : nullptr, collation)) return s;
      }
      for (size_t r = 0; r < out.rows.size(); ++r) {
        if (output_column >= 0) {
          keys[r].push_back(Scalar{out.schema.types[output_column], out.rows[r][output_column]});
          continue;
        }
        EvalScope scope{ctx, &schema, sources[r], nullptr};
        Scalar key;
        if (Status s = Evaluate(expr, scope, key)) return s;
        keys[r].push_back(std::move(key));
      }
    }
    std::vector<size_t> order(out.rows.size());
    std::iota(order.begin(), order.end(), 0);
    Status failure;
    std::stable_sort(order.begin(), order.end(), [&](size_t a, size_t b) {
      for (size_t k = 0; k < select.order_by.size(); ++k) {
        const Scalar& x = keys[a][k];
        const Scalar& y = keys[b][k];
        int c = 0;
        if (x.is_null() || y.is_null()) {
          c = x.is_null() == y.is_null() ? 0 : (x.is_null() ? -1 : 1);
        } else if (Status s = CompareScalars(x, y, collation, c)) {
          if (!failure) failure = s;
          return false;
        }
        if (c != 0) return select.order_by[k].descending ? c > 0 : c < 0;
      }
      return false;
    });
    if (failure) return failure;
    std::vector<Row> sorted;
    sorted.reserve(order.size());
    for (size_t i : order) sorted.push_back(std::move(out.rows[i]));
    out.rows = std::move(sorted);
  }
  if (select.top && out.rows.size() > static_cast<size_t>(*select.top))
    out.rows.resize(*select.top);
  if (format_only) out.rows.clear();  // an aggregate's one row included
  return std::nullopt;
}

Status ExecuteSelect(const SelectStmt& stmt, ExecContext& ctx) {
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
