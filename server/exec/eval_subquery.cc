// Subqueries in expressions: a scalar subquery, EXISTS, IN (subquery), and
// comparisons with ANY, SOME or ALL.

#include "server/exec/eval_internal.h"
#include "server/exec/relation.h"

namespace server {

namespace {

// Runs the subquery with the scope's row as its outer row. A subquery that
// names none of the enclosing rows' columns gives the same rows every time,
// so its result is kept for the rest of the statement.
Status RunSubquery(const Expr& expr, const EvalScope& scope,
                   std::shared_ptr<const QueryResult>& out) {
  auto& cache = scope.exec.subquery_results;
  if (auto it = cache.find(expr.subquery.get()); it != cache.end()) {
    out = it->second;
    return std::nullopt;
  }
  const SelectStmt& select = *expr.subquery;
  if (!select.order_by.empty() && !select.top) {
    SqlError error = Raise(Msg::kOrderByInSubquery);
    error.line = expr.line;
    return error;
  }
  OuterRow here{scope.schema, scope.row, scope.outer};
  auto result = std::make_shared<QueryResult>();
  if (Status s = RunSelect(*expr.subquery, scope.exec, *result, &here)) return s;
  if (!here.referenced) cache[expr.subquery.get()] = result;
  out = std::move(result);
  return std::nullopt;
}

SqlError ErrorFor(const Expr& expr, Msg msg) {
  SqlError error = Raise(msg);
  error.line = expr.line;
  return error;
}

}  // namespace

Status EvaluateSubquery(const Expr& expr, const EvalScope& scope, Scalar& out) {
  std::shared_ptr<const QueryResult> result;
  if (Status s = RunSubquery(expr, scope, result)) return s;
  const bool values_wanted = !scope.typing && !scope.probe;
  if (expr.kind == ExprKind::kExists) {
    out = BoolScalar(!result->rows.empty());
    return std::nullopt;
  }
  if (result->schema.names.size() != 1) return ErrorFor(expr, Msg::kSubqueryColumns);
  const DataType& type = result->schema.types[0];
  if (expr.kind == ExprKind::kSubquery) {
    out = Scalar{type, std::monostate{}};
    if (result->rows.size() > 1 && values_wanted) return ErrorFor(expr, Msg::kSubqueryRows);
    if (!result->rows.empty() && !scope.typing) out.value = result->rows[0][0];
    return std::nullopt;
  }
  // a op ANY (...) holds when one comparison holds; a op ALL (...) when
  // none fails. Either is unknown when no comparison decides it and one
  // is unknown.
  Scalar a;
  if (Status s = Evaluate(*expr.args[0], scope, a)) return s;
  // An explicit COLLATE on the operand or on the subquery's one column
  // decides how they compare.
  const Collation& server = scope.exec.collation();
  const SelectStmt& query = *expr.subquery;
  const Collation* column = query.items.size() == 1 && query.items[0].expr
                                ? ExplicitCollation(*query.items[0].expr, server)
                                : nullptr;
  const Collation* collation = nullptr;
  if (Status s = CollationOfPair(ExplicitCollation(*expr.args[0], server), column, server,
                                 CompareOperation(expr.name), collation))
    return s;
  bool decided = false, unknown = false;
  for (const Row& row : result->rows) {
    std::optional<bool> holds;
    if (Status s = CompareWith(expr.name, a, Scalar{type, row[0]}, *collation, holds)) return s;
    if (!holds) {
      unknown = true;
    } else if (*holds != expr.all) {
      decided = true;
      break;
    }
  }
  std::optional<bool> value;
  if (decided) {
    value = !expr.all;
  } else if (!unknown) {
    value = expr.all;
  }
  if (value && expr.negated) value = !*value;
  out = BoolScalar(value);
  return std::nullopt;
}

}  // namespace server
