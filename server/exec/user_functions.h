#ifndef TAVORA_SERVER_EXEC_USER_FUNCTIONS_H_
#define TAVORA_SERVER_EXEC_USER_FUNCTIONS_H_

#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "server/exec/context.h"
#include "server/exec/eval.h"
#include "server/exec/table_variables.h"

namespace server {

// What a function runs with, and what it takes from its caller for that
// time; the caller's state comes back when it ends.
class FunctionCall {
 public:
  // `result` takes a scalar function's RETURN value; a table function has none.
  FunctionCall(ExecContext& ctx, const Database& db, std::map<std::string, Scalar> variables,
               std::optional<Scalar>* result)
      : ctx_(ctx),
        in_database_(ctx.session, db.name),
        table_variables_(ctx),
        variables_(std::move(variables)),
        options_(ctx.session.options),
        return_status_(ctx.return_status),
        function_result_(ctx.function_result),
        rowcount_(ctx.session.rowcount),
        counts_(ctx.outcome.row_counts.size()) {
    std::swap(ctx_.variables, variables_);
    ctx_.function_result = result;
    ++ctx_.depth;
  }
  ~FunctionCall() {
    --ctx_.depth;
    std::swap(ctx_.variables, variables_);
    ctx_.session.options = options_;
    ctx_.return_status = return_status_;
    ctx_.function_result = function_result_;
    ctx_.session.rowcount = rowcount_;
    // Statements inside a function tell the client nothing.
    ctx_.outcome.row_counts.resize(counts_);
  }
  FunctionCall(const FunctionCall&) = delete;
  FunctionCall& operator=(const FunctionCall&) = delete;

 private:
  ExecContext& ctx_;
  DatabaseSwitch in_database_;
  TableVariableScope table_variables_;
  std::map<std::string, Scalar> variables_;
  SessionOptions options_;
  std::optional<int64_t> return_status_;
  std::optional<Scalar>* function_result_;
  int64_t rowcount_;
  size_t counts_;
};

// The arguments of a call of `function` (DEFAULT takes the parameter's
// default) converted to its parameters' types, as its variables.
Status FunctionArguments(const Module& function, const std::vector<ExprPtr>& args,
                         const std::string& shown, int line, const EvalScope& scope,
                         std::map<std::string, Scalar>& out);

// Runs a function's body inside its FunctionCall: an error in it is the
// call's.
Status RunFunctionBody(const Module& function, const Batch& body, ExecContext& ctx);

// Calls the scalar user-defined function owner.name(args): the arguments
// (DEFAULT takes the parameter's default) converted to the parameters'
// types, the body run one level deeper in the function's database, and
// its RETURN value converted to the declared type.
Status EvaluateUserFunction(const Expr& expr, const EvalScope& scope, Scalar& out);

// UPDATE(column) and COLUMNS_UPDATED(), which only a trigger's body can ask.
bool IsTriggerFunction(const Expr& expr);
Status EvaluateTriggerFunction(const Expr& expr, const EvalScope& scope, Scalar& out);

}  // namespace server

#endif  // TAVORA_SERVER_EXEC_USER_FUNCTIONS_H_
