// EXEC of a system procedure or of a user stored procedure, with positional
// and named arguments bound as SQL Server binds them (201, 8144, 8145, 8143,
// 119, 2812).

#include <utility>

#include "server/exec/eval.h"
#include "server/exec/executor.h"
#include "server/exec/relation.h"
#include "server/exec/system_procedures.h"
#include "server/sql/parser.h"

namespace server {

namespace {

// Matches arguments to parameter positions and evaluates them; a DEFAULT
// argument stays empty.
Status BindArguments(const ExecStmt& stmt, const std::vector<std::string_view>& params,
                     std::string_view procedure, ExecContext& ctx,
                     std::vector<std::optional<Scalar>>& values) {
  values.assign(params.size(), std::nullopt);
  std::vector<bool> seen(params.size(), false);
  size_t position = 0;
  bool named = false;
  for (size_t k = 0; k < stmt.args.size(); ++k) {
    const ExecArg& arg = stmt.args[k];
    size_t index = 0;
    if (arg.name.empty()) {
      if (named) return ErrorAt(Msg::kNamedThenPositional, {std::to_string(k + 1)}, arg.line);
      if (position >= params.size()) {
        if (params.empty()) return ErrorAt(Msg::kNoParameters, {procedure}, arg.line);
        return ErrorAt(Msg::kTooManyArguments, {procedure}, arg.line);
      }
      index = position++;
    } else {
      named = true;
      index = params.size();
      for (size_t i = 0; i < params.size(); ++i) {
        if (EqualNoCase(params[i], arg.name)) index = i;
      }
      if (index == params.size())
        return ErrorAt(Msg::kNotAParameter, {arg.name, procedure}, arg.line);
      if (seen[index]) return ErrorAt(Msg::kParameterTwice, {params[index]}, arg.line);
    }
    seen[index] = true;
    if (arg.is_default) continue;
    if (Status s = BindColumns(*arg.value, nullptr, ctx.collation())) return s;
    EvalScope scope{ctx};
    Scalar value;
    if (Status s = Evaluate(*arg.value, scope, value)) return s;
    values[index] = std::move(value);
  }
  return std::nullopt;
}

Status ToParameter(const Scalar& in, const DataType& type, Scalar& out) {
  Value value;
  if (Convert(in, type, false, value)) {
    return Raise(Msg::kConvertError, {Info(in.type.base).name, Info(type.base).name});
  }
  out = Scalar{type, std::move(value)};
  return std::nullopt;
}

Status RunSystemProcedure(const SystemProcedure& procedure, const ExecStmt& stmt,
                          ExecContext& ctx) {
  std::vector<std::string_view> names;
  names.reserve(procedure.params.size());
  for (const ParamSpec& param : procedure.params) names.push_back(param.name);
  std::vector<std::optional<Scalar>> values;
  if (Status s = BindArguments(stmt, names, procedure.name, ctx, values)) return s;
  for (size_t i = 0; i < procedure.params.size(); ++i) {
    const ParamSpec& param = procedure.params[i];
    if (!values[i]) {
      if (param.required) return Raise(Msg::kParameterMissing, {procedure.name, param.name});
      continue;
    }
    Scalar& value = *values[i];
    if (value.is_null()) continue;
    switch (param.type) {
      case ParamType::kText:
        if (!std::holds_alternative<std::string>(value.value))
          value = StringScalar(ScalarText(value));
        break;
      case ParamType::kInt:
        if (Status s = ToParameter(Scalar(value), DefaultType(BaseType::kInt), value)) return s;
        break;
      case ParamType::kBit:
        if (Status s = ToParameter(Scalar(value), DefaultType(BaseType::kBit), value)) return s;
        break;
      case ParamType::kVariant:
        break;
    }
  }
  return procedure.handler(ProcArgs(procedure, std::move(values)), ctx);
}

Status RunUserProcedure(const Module& procedure, Database& db, const ExecStmt& stmt,
                        ExecContext& ctx) {
  if (ctx.depth >= kMaxNesting) return Raise(Msg::kNestingLimit, {std::to_string(kMaxNesting)});
  std::vector<std::string_view> names;
  names.reserve(procedure.parameters.size());
  for (const ModuleParameter& param : procedure.parameters) names.push_back(param.name);
  std::vector<std::optional<Scalar>> values;
  if (Status s = BindArguments(stmt, names, procedure.name, ctx, values)) return s;
  std::map<std::string, Scalar> variables;
  for (size_t i = 0; i < procedure.parameters.size(); ++i) {
    const ModuleParameter& param = procedure.parameters[i];
    Scalar value = NullScalar();
    if (values[i]) {
      value = *values[i];
    } else if (param.has_default) {
      auto parsed = ParseExpression(param.default_text);
      if (auto* error = std::get_if<SqlError>(&parsed)) return *error;
      EvalScope scope{ctx};
      if (Status s = Evaluate(*std::get<ExprPtr>(parsed), scope, value)) return s;
    } else {
      return Raise(Msg::kParameterMissing, {procedure.name, param.name});
    }
    if (Status s = ToParameter(Scalar(value), param.type, value)) return s;
    variables[param.name] = std::move(value);
  }
  auto parsed = ParseBody(procedure.body);
  if (auto* error = std::get_if<SqlError>(&parsed)) return *error;
  const Batch& body = std::get<Batch>(parsed);
  // The body runs in the procedure's database with its parameters; USE
  // inside it ends with the call.
  DatabaseSwitch in_database(ctx.session, db.name);
  std::swap(ctx.variables, variables);
  // SET inside a procedure lasts until it returns.
  SessionOptions caller_options = ctx.session.options;
  int caller_count = ctx.session.transaction.count;
  ++ctx.depth;
  Status status = RunStatements(body, ctx);
  --ctx.depth;
  ctx.session.options = caller_options;
  std::swap(ctx.variables, variables);
  if (status) return status;
  // A procedure should leave @@TRANCOUNT as it found it. SQL Server only
  // reports this and goes on; here, as every error does, it ends the batch.
  int count = ctx.session.transaction.count;
  if (count != caller_count) {
    return Raise(Msg::kTransactionCountChanged,
                 {std::to_string(caller_count), std::to_string(count)});
  }
  return std::nullopt;
}

}  // namespace

Status ExecuteExec(const ExecStmt& stmt, ExecContext& ctx) {
  const ObjectName& name = stmt.procedure;
  Database* db = DatabaseOf(name, ctx);
  if (!db && !name.database.empty()) return Raise(Msg::kDatabaseNotFoundOnUse, {name.database});
  Status status;
  const SystemProcedure* system = nullptr;
  if (name.owner.empty() || EqualNoCase(name.owner, "dbo")) system = FindSystemProcedure(name.name);
  if (system && ctx.session.options.fmtonly) {
    // System procedures change the catalog or read it row by row; under
    // FMTONLY nothing may change and no rows are read.
    return std::nullopt;
  }
  if (system && db) {
    // A system procedure named with a database works in that database.
    DatabaseSwitch in_database(ctx.session, db->name);
    status = RunAtomically(ctx, [&] { return RunSystemProcedure(*system, stmt, ctx); });
  } else {
    std::optional<ObjectRef> object;
    if (db) object = db->FindObject(name.owner, name.name, ctx.collation());
    if (!object || object->kind != ObjectKind::kProcedure)
      return Raise(Msg::kProcedureNotFound, {name.Text()});
    status = RunUserProcedure(*object->module, *db, stmt, ctx);
  }
  if (status) return status;
  ctx.outcome.row_counts.push_back(-1);
  return std::nullopt;
}

}  // namespace server
