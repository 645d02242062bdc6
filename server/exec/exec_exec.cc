// EXEC of a system procedure or of a user stored procedure, with positional
// and named arguments bound as SQL Server binds them (201, 8144, 8145, 8143,
// 119, 2812).

#include <algorithm>
#include <span>
#include <utility>

#include "server/exec/eval.h"
#include "server/exec/executor.h"
#include "server/exec/locking.h"
#include "server/exec/relation.h"
#include "server/exec/system_procedures.h"
#include "server/exec/table_variables.h"
#include "server/exec/type_resolution.h"
#include "server/sql/parser.h"

namespace server {

namespace {

// Matches arguments to parameter positions and evaluates them; a DEFAULT
// argument stays empty.
Status BindArguments(std::span<const ExecArg> args, const std::vector<std::string_view>& params,
                     std::string_view procedure, ExecContext& ctx,
                     std::vector<std::optional<Scalar>>& values) {
  values.assign(params.size(), std::nullopt);
  std::vector<bool> seen(params.size(), false);
  size_t position = 0;
  bool named = false;
  for (size_t k = 0; k < args.size(); ++k) {
    const ExecArg& arg = args[k];
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
  if (Status s = BindArguments(stmt.args, names, procedure.name, ctx, values)) return s;
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

// Runs a procedure's body, or the text sp_executesql runs (`prepared`),
// with `args` bound to its parameters.
Status RunUserProcedure(const Module& procedure, Database& db, std::span<const ExecArg> args,
                        ExecContext& ctx, bool prepared = false) {
  if (ctx.depth >= kMaxNesting) return Raise(Msg::kNestingLimit, {std::to_string(kMaxNesting)});
  std::vector<std::string_view> names;
  names.reserve(procedure.parameters.size());
  for (const ModuleParameter& param : procedure.parameters) names.push_back(param.name);
  std::vector<std::optional<Scalar>> values;
  if (Status s = BindArguments(args, names, procedure.name, ctx, values)) return s;
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
    } else if (prepared && ctx.session.options.fmtonly) {
      // Only the statement's shape is asked for: no value is needed.
    } else if (prepared) {
      return Raise(Msg::kPreparedParameterMissing, {procedure.name, param.name});
    } else {
      return Raise(Msg::kParameterMissing, {procedure.name, param.name});
    }
    if (Status s = ToParameter(Scalar(value), param.type, value)) return s;
    variables[param.name] = std::move(value);
  }
  // sp_executesql's text is a batch of its own (CREATE VIEW and the like
  // may only come first in it).
  auto parsed = prepared ? ParseBatch(procedure.body, ctx.session.options.quoted_identifier)
                         : ParseBody(procedure.body, procedure.quoted_identifier);
  if (auto* error = std::get_if<SqlError>(&parsed)) return *error;
  const Batch& body = std::get<Batch>(parsed);
  // The body runs in the procedure's database with its parameters; USE
  // inside it ends with the call.
  DatabaseSwitch in_database(ctx.session, db.name);
  TableVariableScope table_variables(ctx);
  std::swap(ctx.variables, variables);
  // SET inside a procedure lasts until it returns.
  SessionOptions caller_options = ctx.session.options;
  ctx.session.options.ansi_nulls = procedure.ansi_nulls;  // as it was created
  int caller_count = ctx.session.transaction.count;
  ++ctx.depth;
  const int caller_procid = std::exchange(ctx.procid, procedure.id);
  Status status = RunStatements(body, ctx);
  ctx.procid = caller_procid;
  --ctx.depth;
  ctx.session.options = caller_options;
  std::swap(ctx.variables, variables);
  if (status) return status;
  // OUTPUT arguments take the parameters' last values.
  for (size_t k = 0; k < args.size(); ++k) {
    const ExecArg& arg = args[k];
    if (!arg.output) continue;
    size_t index = k;
    for (size_t i = 0; i < names.size() && !arg.name.empty(); ++i) {
      if (EqualNoCase(names[i], arg.name)) index = i;
    }
    const ModuleParameter& param = procedure.parameters[index];
    if (!param.output) return ErrorAt(Msg::kNotOutputParameter, {param.name}, arg.line);
    if (arg.value->name.starts_with(kCallVariablePrefix)) {
      ctx.variables[arg.value->name] = variables[param.name];
    } else if (Status s = AssignVariable(arg.value->name, variables[param.name], ctx)) {
      return s;
    }
  }
  // A procedure should leave @@TRANCOUNT as it found it. SQL Server only
  // reports this and goes on; here, as every error does, it ends the batch.
  int count = ctx.session.transaction.count;
  if (count != caller_count) {
    return Raise(Msg::kTransactionCountChanged,
                 {std::to_string(caller_count), std::to_string(count)});
  }
  return std::nullopt;
}

// A character argument of sp_executesql; NULL or absent is "".
Status TextArgument(std::span<const ExecArg> args, size_t k, std::string_view param,
                    ExecContext& ctx, std::string& out) {
  out.clear();
  if (k >= args.size() || args[k].is_default) return std::nullopt;
  Scalar value;
  if (Status s = BindColumns(*args[k].value, nullptr, ctx.collation())) return s;
  if (Status s = Evaluate(*args[k].value, EvalScope{ctx}, value)) return s;
  TypeFamily family = Family(value.type);
  if ((family != TypeFamily::kCharacter && family != TypeFamily::kText) ||
      !Info(value.type.base).unicode) {
    return ErrorAt(Msg::kProcedureExpectsType, {param, "ntext/nchar/nvarchar"}, args[k].line);
  }
  if (!value.is_null()) out = std::get<std::string>(value.value);
  return std::nullopt;
}

// sp_executesql @statement [, @params [, arguments...]]: the statement runs
// as a procedure whose parameters @params declares.
Status ExecuteSql(const ExecStmt& stmt, Database& db, ExecContext& ctx) {
  std::span<const ExecArg> args = stmt.args;
  if (args.empty()) return Raise(Msg::kParameterMissing, {"sp_executesql", "@statement"});
  Module module;
  std::string params;
  if (Status s = TextArgument(args, 0, "@statement", ctx, module.body)) return s;
  if (Status s = TextArgument(args, 1, "@parameters", ctx, params)) return s;
  module.name = params.empty() ? module.body : "(" + params + ")" + module.body;
  auto parsed = ParseParameterList(params);
  if (auto* error = std::get_if<SqlError>(&parsed)) return *error;
  const std::vector<ParameterDef>& defs = std::get<std::vector<ParameterDef>>(parsed);
  for (size_t i = 0; i < defs.size(); ++i) {
    ResolvedType type;
    TypeUse use;
    use.ordinal = static_cast<int>(i + 1);
    use.column = defs[i].name;
    if (Status s = ResolveType(defs[i].type, &db, ctx.collation(), use, type)) return s;
    module.parameters.push_back(
        {defs[i].name, type.type, defs[i].has_default, defs[i].default_text, defs[i].output});
  }
  return RunUserProcedure(module, db, args.subspan(std::min<size_t>(args.size(), 2)), ctx,
                          /*prepared=*/true);
}

// EXEC (string): the text runs as a batch of its own, one level deeper,
// without the caller's variables.
Status ExecuteString(const Expr& text, ExecContext& ctx) {
  if (ctx.depth >= kMaxNesting) return Raise(Msg::kNestingLimit, {std::to_string(kMaxNesting)});
  Scalar value;
  if (Status s = BindColumns(text, nullptr, ctx.collation())) return s;
  if (Status s = Evaluate(text, EvalScope{ctx}, value)) return s;
  TypeFamily family = Family(value.type);
  if (family != TypeFamily::kCharacter && family != TypeFamily::kText) {
    return Raise(Msg::kNotSupported, {"EXECUTE of a value that is not a character string"});
  }
  if (value.is_null()) return std::nullopt;
  auto parsed =
      ParseBatch(std::get<std::string>(value.value), ctx.session.options.quoted_identifier);
  if (auto* error = std::get_if<SqlError>(&parsed)) return *error;
  std::map<std::string, Scalar> variables;
  TableVariableScope table_variables(ctx);
  std::swap(ctx.variables, variables);
  ++ctx.depth;
  Status status = RunStatements(std::get<Batch>(parsed), ctx);
  --ctx.depth;
  std::swap(ctx.variables, variables);
  return status;
}

}  // namespace

Status ExecuteExec(const ExecStmt& stmt, ExecContext& ctx) {
  if (stmt.text) {
    if (Status s = ExecuteString(*stmt.text, ctx)) return s;
    ctx.outcome.row_counts.push_back(-1);
    return std::nullopt;
  }
  const ObjectName& name = stmt.procedure;
  Database* db = DatabaseOf(name, ctx);
  if (!db && !name.database.empty()) return Raise(Msg::kDatabaseNotFoundOnUse, {name.database});
  Status status;
  const SystemProcedure* system = nullptr;
  if (name.owner.empty() || EqualNoCase(name.owner, "dbo")) system = FindSystemProcedure(name.name);
  if (system && !system->reads_only && ctx.session.options.fmtonly) {
    // System procedures change the catalog or read it row by row; under
    // FMTONLY nothing may change and no rows are read.
    return std::nullopt;
  }
  bool dynamic = db && (name.owner.empty() || EqualNoCase(name.owner, "dbo")) &&
                 EqualNoCase(name.name, "sp_executesql");
  if (dynamic) {
    ctx.return_status.reset();
    status = ExecuteSql(stmt, *db, ctx);
  } else if (system && db) {
    // A system procedure named with a database works in that database.
    DatabaseSwitch in_database(ctx.session, db->name);
    if (system->reads_only) {
      if (Status s = LockCatalogForReading(*db, ctx)) return s;
    }
    status = RunAtomically(ctx, system->reads_only ? Access::kRead : Access::kCatalog,
                           [&] { return RunSystemProcedure(*system, stmt, ctx); });
  } else {
    std::optional<ObjectRef> object;
    if (db) {
      // Held while the procedure runs: its definition cannot change meanwhile.
      if (Status s = LockCatalogForReading(*db, ctx)) return s;
      object = db->FindObject(name.owner, name.name, ctx.collation());
    }
    if (!object || object->kind != ObjectKind::kProcedure)
      return Raise(Msg::kProcedureNotFound, {name.Text()});
    ctx.return_status.reset();
    status = RunUserProcedure(*object->module, *db, stmt.args, ctx);
  }
  if (status) return status;
  if (!stmt.return_variable.empty()) {
    // A procedure that ends without RETURN n returns 0, as system ones do.
    Scalar returned = IntScalar(system ? 0 : ctx.return_status.value_or(0));
    if (Status s = AssignVariable(stmt.return_variable, returned, ctx)) return s;
  }
  ctx.outcome.row_counts.push_back(-1);
  return std::nullopt;
}

}  // namespace server
