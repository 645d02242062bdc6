#include "server/exec/table_functions.h"

#include "server/exec/executor.h"
#include "server/exec/locking.h"
#include "server/exec/table_rows.h"
#include "server/exec/table_variables.h"
#include "server/exec/user_functions.h"
#include "server/sql/parser.h"

namespace server {

namespace {

// The rows the body left in the table variable it returns.
Status ReadReturnedTable(const CreateModuleStmt& create, ExecContext& ctx, Relation& out) {
  Table* table = nullptr;
  if (Status s = FindTableVariable(create.returns_variable, ctx, table)) return s;
  out.schema = TableSchema(*table);
  std::vector<StoredRow> stored;
  if (Status s = ReadTableRows(*table, nullptr, "", ctx, stored)) return s;
  for (StoredRow& row : stored) {
    if (Status s = ComputeRow(*table, out.schema, ctx, row.row)) return s;
    out.owned.push_back(std::move(row.row));
  }
  return std::nullopt;
}

}  // namespace

Status OpenTableFunction(const FromItem& item, ExecContext& ctx, Relation& out) {
  if (item.system_function) return OpenSystemTableFunction(item, ctx, out);
  const ObjectName& name = item.table.name;
  const std::string shown = name.Text();
  Database* db = DatabaseOf(name, ctx);
  std::optional<ObjectRef> object;
  if (db) {
    if (Status s = LockCatalogForReading(*db, ctx)) return s;
    object = db->FindObject(name.owner, name.name, ctx.collation());
  }
  if (!object || object->kind != ObjectKind::kFunction ||
      object->module->type == ModuleType::kScalarFunction) {
    return ErrorAt(Msg::kInvalidObjectName, {shown}, item.line);
  }
  const Module& function = *object->module;
  auto parsed = ParseBatch(function.text, function.quoted_identifier);
  if (auto* error = std::get_if<SqlError>(&parsed)) return *error;
  const Batch& batch = std::get<Batch>(parsed);
  const auto* create =
      batch.statements.empty() ? nullptr : std::get_if<CreateModuleStmt>(&batch.statements[0].node);
  bool inline_table = create && create->select;
  if (!create || (!inline_table && (!create->returns_table || !create->body_statements)))
    return ErrorAt(Msg::kInvalidObjectName, {shown}, item.line);

  for (const ExprPtr& arg : item.function_args) {
    if (Status s = BindColumns(*arg, nullptr, ctx.collation())) return s;
  }
  std::map<std::string, Scalar> variables;
  if (Status s = FunctionArguments(function, item.function_args, shown, item.line, EvalScope{ctx},
                                   variables))
    return s;
  FunctionCall call(ctx, *db, std::move(variables), nullptr);
  if (inline_table) {
    // A view with parameters: its query sees them as variables, under the
    // ANSI_NULLS it was created with (the call puts the caller's back).
    ctx.session.options.ansi_nulls = function.ansi_nulls;
    QueryResult result;
    if (Status s = RunSelect(*create->select, ctx, result)) return s;
    out.schema = std::move(result.schema);
    out.owned = std::move(result.rows);
  } else {
    if (Status s = DeclareTableVariable(*create->returns_table, ctx)) return s;
    if (Status s = RunFunctionBody(function, *create->body_statements, ctx)) return s;
    if (Status s = ReadReturnedTable(*create, ctx, out)) return s;
  }
  out.schema.table_name = name.name;
  out.schema.alias = item.table.alias;
  out.rows = &out.owned;
  return std::nullopt;
}

}  // namespace server
