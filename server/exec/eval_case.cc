// CASE: the first WHEN that holds gives the result, converted to the one
// type all of CASE's results share.

#include "server/exec/eval_internal.h"

namespace server {

namespace {

// The type of every THEN and ELSE result together, found without computing
// any of them, so a result that is not chosen never fails. The NULL
// constant takes the others' type; NULL alone is int, as in SQL Server.
Status CaseType(const Expr& expr, const EvalScope& scope, DataType& out) {
  EvalScope typing = scope;
  typing.typing = true;
  std::optional<DataType> type;
  auto consider = [&](const Expr& result) -> Status {
    Scalar typed;
    if (Status s = Evaluate(result, typing, typed)) return s;
    if (typed.untyped) return std::nullopt;
    if (!type) {
      type = typed.type;
      return std::nullopt;
    }
    DataType common = CommonType(*type, typed.type);
    if (Status s = CheckConvertible(typed.type, common, false)) return s;
    if (Status s = CheckConvertible(*type, common, false)) return s;
    type = common;
    return std::nullopt;
  };
  size_t first = expr.case_input ? 1 : 0;
  size_t end = expr.args.size() - (expr.case_else ? 1 : 0);
  for (size_t i = first + 1; i < end; i += 2) {
    if (Status s = consider(*expr.args[i])) return s;
  }
  if (expr.case_else) {
    if (Status s = consider(*expr.args.back())) return s;
  }
  out = type.value_or(DefaultType(BaseType::kInt));
  return std::nullopt;
}

}  // namespace

Status EvaluateCase(const Expr& expr, const EvalScope& scope, Scalar& out) {
  DataType type;
  if (Status s = CaseType(expr, scope, type)) return s;
  out = Scalar{type, std::monostate{}};
  if (scope.typing) return std::nullopt;
  auto result = [&](const Expr& chosen) -> Status {
    Scalar value;
    if (Status s = Evaluate(chosen, scope, value)) return s;
    if (value.is_null()) return std::nullopt;
    return Coerce(value, type, out);
  };
  size_t first = expr.case_input ? 1 : 0;
  size_t end = expr.args.size() - (expr.case_else ? 1 : 0);
  Scalar input;
  if (expr.case_input) {
    if (Status s = Evaluate(*expr.args[0], scope, input)) return s;
  }
  for (size_t i = first; i < end; i += 2) {
    bool hit = false;
    if (expr.case_input) {
      // input = WHEN value; NULL equals nothing.
      Scalar when;
      if (Status s = Evaluate(*expr.args[i], scope, when)) return s;
      if (!input.is_null() && !when.is_null()) {
        const Collation* collation = nullptr;
        if (Status s = OperandCollation(*expr.args[0], *expr.args[i], "equal to", scope, collation))
          return s;
        int order = 1;
        if (Status s = CompareScalars(input, when, *collation, order)) return s;
        hit = order == 0;
      } else {
        // Under ANSI_NULLS OFF, WHEN NULL is the input being NULL, as = is.
        hit = input.is_null() && when.is_null() &&
              (NonAnsiOperand(*expr.args[0], input, scope) ||
               NonAnsiOperand(*expr.args[i], when, scope));
      }
    } else if (Status s = Test(*expr.args[i], scope, hit)) {
      return s;
    }
    if (hit) return result(*expr.args[i + 1]);
  }
  if (expr.case_else) return result(*expr.args.back());
  return std::nullopt;
}

}  // namespace server
