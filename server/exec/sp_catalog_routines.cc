// sp_stored_procedures and sp_sproc_columns: the database's procedures and
// functions, and their parameters as ODBC describes them.

#include <algorithm>

#include "server/exec/odbc_catalog.h"
#include "server/types/collation.h"

namespace server::odbc {

namespace {

using namespace sys_type;

constexpr SystemColumn kProceduresColumns[] = {
    {"PROCEDURE_QUALIFIER", kSysname}, {"PROCEDURE_OWNER", kSysname},
    {"PROCEDURE_NAME", NVarChar(134)}, {"NUM_INPUT_PARAMS", kInt},
    {"NUM_OUTPUT_PARAMS", kInt},       {"NUM_RESULT_SETS", kInt},
    {"REMARKS", VarChar(254)},         {"PROCEDURE_TYPE", kSmallInt},
};

constexpr SystemColumn kProcedureColumnsColumns[] = {
    {"PROCEDURE_QUALIFIER", kSysname},
    {"PROCEDURE_OWNER", kSysname},
    {"PROCEDURE_NAME", NVarChar(134)},
    {"COLUMN_NAME", kSysname},
    {"COLUMN_TYPE", kSmallInt},
    {"DATA_TYPE", kSmallInt},
    {"TYPE_NAME", kSysname},
    {"PRECISION", kInt},
    {"LENGTH", kInt},
    {"SCALE", kSmallInt},
    {"RADIX", kSmallInt},
    {"NULLABLE", kSmallInt},
    {"REMARKS", VarChar(254)},
    {"COLUMN_DEF", NVarChar(4000)},
    {"SQL_DATA_TYPE", kSmallInt},
    {"SQL_DATETIME_SUB", kSmallInt},
    {"CHAR_OCTET_LENGTH", kInt},
    {"ORDINAL_POSITION", kInt},
    {"IS_NULLABLE", VarChar(254)},
    {"SS_DATA_TYPE", kTinyInt},
};

// ODBC's SQL_PT_FUNCTION: SQL Server reports every procedure so, as any
// may return a value.
constexpr int64_t kProcedureType = 2;
// SQL_PARAM_INPUT, SQL_PARAM_INPUT_OUTPUT, SQL_RETURN_VALUE.
constexpr int64_t kParamInput = 1;
constexpr int64_t kParamInputOutput = 2;
constexpr int64_t kReturnValue = 5;

bool IsRoutine(const ObjectRef& object) {
  return (object.kind == ObjectKind::kProcedure || object.kind == ObjectKind::kFunction) &&
         object.module;
}

// "name;1" for a procedure (its group number), "name;0" for a function.
std::string NumberedName(const ObjectRef& object) {
  return object.name + (object.kind == ObjectKind::kProcedure ? ";1" : ";0");
}

// The routines the pattern arguments name, ordered by owner and name.
std::vector<const ObjectRef*> MatchingRoutines(const std::vector<ObjectRef>& objects,
                                               const NamePattern& name, const NamePattern& owner,
                                               const Collation& collation) {
  std::vector<const ObjectRef*> out;
  for (const ObjectRef& object : objects) {
    if (IsRoutine(object) && name.Matches(object.name, collation) &&
        owner.Matches(object.owner, collation))
      out.push_back(&object);
  }
  std::stable_sort(out.begin(), out.end(), [&](const ObjectRef* a, const ObjectRef* b) {
    int c = collation.Compare(a->owner, b->owner);
    return c != 0 ? c < 0 : collation.Compare(a->name, b->name) < 0;
  });
  return out;
}

}  // namespace

Status SpStoredProcedures(const ProcArgs& args, ExecContext& ctx) {
  Database* db = nullptr;
  if (Status s = CatalogDatabase(args, "@sp_qualifier", ctx, db)) return s;
  std::vector<ObjectRef> objects = db->AllObjects();
  std::vector<Row> rows;
  // The counts are unknown before a call: -1, as SQL Server reports them.
  for (const ObjectRef* object : MatchingRoutines(objects, NamePattern(args, "@sp_name"),
                                                  NamePattern(args, "@sp_owner"), ctx.collation()))
    rows.push_back({db->name, object->owner, NumberedName(*object), int64_t{-1}, int64_t{-1},
                    int64_t{-1}, Value(), kProcedureType});
  SendResult(kProceduresColumns, std::move(rows), ctx);
  return std::nullopt;
}

Status SpSprocColumns(const ProcArgs& args, ExecContext& ctx) {
  Database* db = nullptr;
  if (Status s = CatalogDatabase(args, "@procedure_qualifier", ctx, db)) return s;
  const bool odbc3 = args.Int("@ODBCVer") >= 3;
  const Collation& collation = ctx.collation();
  NamePattern column_name(args, "@column_name");
  std::vector<ObjectRef> objects = db->AllObjects();
  SystemScope scope{*db, ctx};
  std::vector<Row> rows;
  auto add = [&](const ObjectRef& object, const ColumnFacts& column, int64_t column_type,
                 int ordinal) {
    if (!column_name.Matches(column.name, collation)) return;
    OdbcColumnType type = DescribeColumn(column, odbc3);
    rows.push_back({db->name,
                    object.owner,
                    NumberedName(object),
                    column.name,
                    column_type,
                    type.data_type,
                    type.type_name,
                    type.precision,
                    type.length,
                    type.scale,
                    type.radix,
                    int64_t{column.nullable ? 1 : 0},
                    Value(),
                    Value(),
                    type.sql_data_type,
                    type.datetime_sub,
                    type.octet_length,
                    int64_t{ordinal},
                    std::string(column.nullable ? "YES" : "NO"),
                    type.ss_data_type});
  };
  for (const ObjectRef* object :
       MatchingRoutines(objects, NamePattern(args, "@procedure_name"),
                        NamePattern(args, "@procedure_owner"), collation)) {
    // A procedure returns an int status; a scalar function its value; a
    // table function has no return value row.
    std::optional<DataType> returns;
    if (object->kind == ObjectKind::kProcedure) {
      returns = DefaultType(BaseType::kInt);
    } else if (object->module->type == ModuleType::kScalarFunction) {
      returns = FunctionReturnType(*object->module, *db, ctx);
    }
    if (returns) {
      ColumnFacts result;
      result.name = "@RETURN_VALUE";
      result.type = *returns;
      result.type_name = Info(returns->base).name;
      result.nullable = object->kind != ObjectKind::kProcedure;
      add(*object, result, kReturnValue, 0);
    }
    for (const ColumnFacts& parameter : ObjectColumns(*object, scope))
      add(*object, parameter, parameter.output ? kParamInputOutput : kParamInput, parameter.colid);
  }
  SendResult(kProcedureColumnsColumns, std::move(rows), ctx);
  return std::nullopt;
}

}  // namespace server::odbc
