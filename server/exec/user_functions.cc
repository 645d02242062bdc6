// Scalar user-defined functions, and the functions a trigger asks about
// the statement that fired it.

#include "server/exec/user_functions.h"

#include <map>
#include <utility>

#include "server/exec/executor.h"
#include "server/exec/table_variables.h"
#include "server/exec/triggers.h"
#include "server/exec/type_resolution.h"
#include "server/sql/parser.h"

namespace server {

namespace {

SqlError AtLine(SqlError error, int line) {
  error.line = line;
  return error;
}

// An argument's value: the caller's expression, or for DEFAULT the
// parameter's default.
Status ArgumentValue(const Expr& arg, const ModuleParameter& param, const std::string& function,
                     const EvalScope& scope, Scalar& out) {
  if (arg.kind != ExprKind::kDefault) return Evaluate(arg, scope, out);
  if (!param.has_default) return Raise(Msg::kParameterMissing, {function, param.name});
  auto parsed = ParseExpression(param.default_text);
  if (auto* error = std::get_if<SqlError>(&parsed)) return *error;
  const Expr& value = *std::get<ExprPtr>(parsed);
  if (Status s = BindColumns(value, nullptr, scope.exec.collation())) return s;
  return Evaluate(value, EvalScope{scope.exec}, out);
}

const TriggerFrame* VisibleTrigger(const ExecContext& ctx) {
  return ctx.trigger && ctx.trigger->depth == ctx.depth ? ctx.trigger : nullptr;
}

}  // namespace

Status FunctionArguments(const Module& function, const std::vector<ExprPtr>& args,
                         const std::string& shown, int line, const EvalScope& scope,
                         std::map<std::string, Scalar>& out) {
  const std::vector<ModuleParameter>& params = function.parameters;
  if (args.size() > params.size()) return AtLine(Raise(Msg::kTooManyArguments, {shown}), line);
  if (args.size() < params.size())
    return AtLine(Raise(Msg::kFunctionTooFewArguments, {shown}), line);
  for (size_t i = 0; i < params.size(); ++i) {
    Scalar value;
    if (Status s = ArgumentValue(*args[i], params[i], shown, scope, value)) return s;
    Value converted;
    if (Status s = Convert(value, params[i].type, false, converted)) return AtLine(*s, line);
    out[params[i].name] = Scalar{params[i].type, std::move(converted)};
  }
  if (scope.exec.depth >= kMaxNesting)
    return AtLine(Raise(Msg::kNestingLimit, {std::to_string(kMaxNesting)}), line);
  return std::nullopt;
}

Status RunFunctionBody(const Module& function, const Batch& body, ExecContext& ctx) {
  BatchOutcome& outcome = ctx.outcome;
  const size_t errors = outcome.errors.size();
  const bool had_error = outcome.error.has_value();
  const bool ended = outcome.ends_batch;
  ctx.session.options.ansi_nulls = function.ansi_nulls;  // as it was created
  const int caller_procid = std::exchange(ctx.procid, function.id);
  Status status = RunStatements(body, ctx);
  ctx.procid = caller_procid;
  if (status) return status;
  if (outcome.errors.size() > errors) {
    // An error in the body fails the call, and with it the caller's
    // statement, rather than letting the function go on.
    SqlError first = outcome.errors[errors].error;
    outcome.errors.resize(errors);
    if (!had_error) outcome.error.reset();
    outcome.ends_batch = ended;
    return first;
  }
  return std::nullopt;
}

Status EvaluateUserFunction(const Expr& expr, const EvalScope& scope, Scalar& out) {
  ExecContext& ctx = scope.exec;
  const std::string shown = expr.qualifier + "." + expr.name;
  Database* db = ctx.CurrentDatabase();
  std::optional<ObjectRef> object;
  if (db) object = db->FindObject(expr.qualifier, expr.name, ctx.collation());
  // Table-valued functions are read in FROM, not called.
  if (!object || object->kind != ObjectKind::kFunction ||
      object->module->type != ModuleType::kScalarFunction) {
    return AtLine(Raise(Msg::kInvalidObjectName, {shown}), expr.line);
  }
  const Module& function = *object->module;
  if (expr.star)
    return AtLine(Raise(Msg::kSyntaxError, {std::to_string(expr.line), "*"}), expr.line);
  if (expr.args.size() != function.parameters.size()) {
    std::map<std::string, Scalar> none;
    return FunctionArguments(function, expr.args, shown, expr.line, scope, none);
  }

  auto parsed = ParseBatch(function.text, function.quoted_identifier);
  if (auto* error = std::get_if<SqlError>(&parsed)) return *error;
  const Batch& batch = std::get<Batch>(parsed);
  const auto* create =
      batch.statements.empty() ? nullptr : std::get_if<CreateModuleStmt>(&batch.statements[0].node);
  if (!create || !create->returns || !create->body_statements)
    return AtLine(Raise(Msg::kInvalidObjectName, {shown}), expr.line);
  ResolvedType returns;
  if (Status s = ResolveType(*create->returns, db, ctx.collation(), TypeUse{}, returns)) return s;
  if (scope.typing) {
    out = Scalar{returns.type, std::monostate{}};
    return std::nullopt;
  }

  std::map<std::string, Scalar> variables;
  if (Status s = FunctionArguments(function, expr.args, shown, expr.line, scope, variables))
    return s;
  std::optional<Scalar> result;
  {
    FunctionCall call(ctx, *db, std::move(variables), &result);
    if (Status s = RunFunctionBody(function, *create->body_statements, ctx)) return s;
  }
  out = Scalar{returns.type, std::monostate{}};
  if (result) {
    if (Status s = Convert(*result, returns.type, false, out.value)) return AtLine(*s, expr.line);
  }
  return std::nullopt;
}

bool IsTriggerFunction(const Expr& expr) {
  return expr.qualifier.empty() &&
         (EqualNoCase(expr.name, "UPDATE") || EqualNoCase(expr.name, "COLUMNS_UPDATED"));
}

Status EvaluateTriggerFunction(const Expr& expr, const EvalScope& scope, Scalar& out) {
  const TriggerFrame* frame = VisibleTrigger(scope.exec);
  bool update = EqualNoCase(expr.name, "UPDATE");
  if (!frame) {
    SqlError error = update ? Raise(Msg::kSyntaxErrorKeyword, {"UPDATE"})
                            : Raise(Msg::kUnknownFunction, {expr.name});
    return AtLine(std::move(error), expr.line);
  }
  if (!update) {
    if (!expr.args.empty())
      return AtLine(Raise(Msg::kFunctionArgumentCount, {"columns_updated", "0"}), expr.line);
    // One bit per column in column order, the first column the lowest bit
    // of the first byte.
    std::vector<uint8_t> bytes((frame->updated.size() + 7) / 8, 0);
    for (size_t i = 0; i < frame->updated.size(); ++i) {
      if (frame->updated[i]) bytes[i / 8] |= static_cast<uint8_t>(1u << (i % 8));
    }
    out = BinaryScalar(std::move(bytes));
    return std::nullopt;
  }
  const std::string& column = expr.args[0]->name;
  const std::vector<std::string>& names = frame->inserted.schema.names;
  for (size_t i = 0; i < names.size(); ++i) {
    if (scope.exec.collation().Equal(names[i], column)) {
      out = BoolScalar(frame->updated[i]);
      return std::nullopt;
    }
  }
  return AtLine(Raise(Msg::kInvalidColumnName, {column}), expr.line);
}

}  // namespace server
