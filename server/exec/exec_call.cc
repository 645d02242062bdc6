// A procedure call whose arguments come as typed values (a remote procedure
// call): it runs as the one EXEC statement of a batch, each argument an
// already typed value, so no value ever passes through T-SQL text.

#include <string>
#include <utility>

#include "server/exec/executor.h"
#include "server/exec/type_resolution.h"
#include "server/sql/parser.h"

namespace server {

namespace {

// The variables the call's OUTPUT arguments and return status land in. No
// T-SQL name can spell them, and a procedure body cannot see its caller's
// variables anyway.
std::string CallVariable(size_t argument) { return kCallVariablePrefix + std::to_string(argument); }
const std::string kStatusVariable = std::string(kCallVariablePrefix) + "status";

// The procedure's name as the parser reads it after EXEC.
Status ParseProcedureName(const std::string& text, ObjectName& out) {
  auto parsed = ParseBatch("EXEC " + text);
  const auto* batch = std::get_if<Batch>(&parsed);
  const ExecStmt* exec = nullptr;
  if (batch && batch->statements.size() == 1)
    exec = std::get_if<ExecStmt>(&batch->statements[0].node);
  if (!exec || exec->text || !exec->args.empty() || !exec->return_variable.empty())
    return Raise(Msg::kProcedureNotFound, {text});
  out = exec->procedure;
  return std::nullopt;
}

// An argument as the typed value it was sent as.
Status ArgumentValue(const CallArgument& argument, ExecContext& ctx, Scalar& out) {
  auto declared = ParseTypeText(argument.type);
  if (auto* error = std::get_if<SqlError>(&declared)) return *error;
  ResolvedType resolved;
  if (Status s = ResolveType(std::get<DeclaredType>(declared), nullptr, ctx.collation(), TypeUse{},
                             resolved)) {
    return s;
  }
  // A value not in its type's form (a client's odd pairing) goes in at the
  // type its form gives, and converts from there like any other.
  out = Coherent(Scalar{resolved.type, argument.value});
  return std::nullopt;
}

}  // namespace

Status RunCall(const ProcedureCall& call, ExecContext& ctx, CallResult& result) {
  Statement statement;
  ExecStmt& exec = statement.node.emplace<ExecStmt>();
  if (Status s = ParseProcedureName(call.procedure, exec.procedure)) return s;
  exec.return_variable = kStatusVariable;
  ctx.variables[kStatusVariable] = Scalar{DefaultType(BaseType::kInt), std::monostate{}};
  for (size_t i = 0; i < call.arguments.size(); ++i) {
    const CallArgument& argument = call.arguments[i];
    ExecArg& arg = exec.args.emplace_back();
    arg.name = argument.name;
    arg.output = argument.output && !argument.is_default;
    arg.is_default = argument.is_default;
    if (argument.is_default) continue;
    arg.value = std::make_unique<Expr>();
    Scalar value;
    if (Status s = ArgumentValue(argument, ctx, value)) return s;
    if (argument.output) {
      arg.value->kind = ExprKind::kVariable;
      arg.value->name = CallVariable(i);
      ctx.variables[arg.value->name] = std::move(value);
    } else {
      arg.value->literal = std::move(value);
    }
  }
  Batch batch;
  batch.statements.push_back(std::move(statement));
  const bool fmtonly = ctx.session.options.fmtonly;
  if (call.describe_only) ctx.session.options.fmtonly = true;
  Status ran = RunStatements(batch, ctx);
  ctx.session.options.fmtonly = fmtonly;
  if (ran) return ran;
  // The status is set only when the call got as far as returning.
  const Scalar& status = ctx.variables[kStatusVariable];
  if (status.is_null()) return std::nullopt;
  result.status = std::get<int64_t>(status.value);
  // The call's own end is the reply's DONEPROC, not a statement's DONE.
  if (!ctx.outcome.row_counts.empty()) ctx.outcome.row_counts.pop_back();
  for (size_t i = 0; i < call.arguments.size(); ++i) {
    if (!call.arguments[i].output || call.arguments[i].is_default) continue;
    const Scalar& value = ctx.variables[CallVariable(i)];
    result.outputs.push_back({i, TypeName(value.type), value.value});
  }
  return std::nullopt;
}

}  // namespace server
