// sp_help: what a database holds (no argument), or everything about one
// object or type, in the result sets and order SQL Server 2000 sends.

#include <algorithm>

#include "server/exec/help_procedures.h"
#include "server/types/collation.h"

namespace server {

namespace {

using namespace sys_type;

constexpr DataType kHelpNumeric{BaseType::kNumeric, 17, 38, 0};

constexpr SystemColumn kHelpObjectList[] = {
    {"Name", kSysname}, {"Owner", kSysname}, {"Object_type", NVarChar(31)}};

constexpr SystemColumn kHelpUserTypes[] = {{"User_type", kSysname},
                                           {"Storage_type", kSysname},
                                           {"Length", kSmallInt},
                                           {"Prec", kInt},
                                           {"Scale", kInt},
                                           {"Nullable", VarChar(35)},
                                           {"Default_name", kSysname},
                                           {"Rule_name", kSysname},
                                           {"Collation", kSysname}};

constexpr SystemColumn kHelpOneType[] = {{"Type_name", kSysname},
                                         {"Storage_type", kSysname},
                                         {"Length", kSmallInt},
                                         {"Prec", kInt},
                                         {"Scale", kInt},
                                         {"Nullable", VarChar(35)},
                                         {"Default_name", kSysname},
                                         {"Rule_name", kSysname},
                                         {"Collation", kSysname}};

constexpr SystemColumn kHelpObjectRow[] = {{"Name", kSysname},
                                           {"Owner", kSysname},
                                           {"Type", NVarChar(31)},
                                           {"Created_datetime", kDateTime}};

constexpr SystemColumn kHelpColumns[] = {{"Column_name", kSysname},
                                         {"Type", kSysname},
                                         {"Computed", VarChar(35)},
                                         {"Length", kInt},
                                         {"Prec", Char(5)},
                                         {"Scale", Char(5)},
                                         {"Nullable", VarChar(35)},
                                         {"TrimTrailingBlanks", VarChar(35)},
                                         {"FixedLenNullInSource", VarChar(35)},
                                         {"Collation", kSysname}};

constexpr SystemColumn kHelpIdentity[] = {{"Identity", kSysname},
                                          {"Seed", kHelpNumeric},
                                          {"Increment", kHelpNumeric},
                                          {"Not For Replication", kInt}};

constexpr SystemColumn kHelpRowGuidCol[] = {{"RowGuidCol", kSysname}};
constexpr SystemColumn kHelpFilegroup[] = {{"Data_located_on_filegroup", kSysname}};

constexpr SystemColumn kHelpParameters[] = {{"Parameter_name", kSysname},
                                            {"Type", kSysname},
                                            {"Length", kSmallInt},
                                            {"Prec", kInt},
                                            {"Scale", kInt},
                                            {"Param_order", kSmallInt},
                                            {"Collation", kSysname}};

std::string YesNo(bool yes) { return yes ? "yes" : "no"; }

// Whether sp_help shows a precision and scale for the type: the numeric
// ones; dates and character types show blanks.
bool HasPrecision(BaseType base) {
  switch (base) {
    case BaseType::kTinyInt:
    case BaseType::kSmallInt:
    case BaseType::kInt:
    case BaseType::kBigInt:
    case BaseType::kDecimal:
    case BaseType::kNumeric:
    case BaseType::kReal:
    case BaseType::kFloat:
    case BaseType::kMoney:
    case BaseType::kSmallMoney:
      return true;
    default:
      return false;
  }
}

// float and real have no scale: NULL, where the other numeric types show it.
Value ScaleValue(const DataType& type) {
  if (type.base == BaseType::kFloat || type.base == BaseType::kReal) return Value();
  return SysInt(TypeScale(type));
}

// Character and binary types, whose trailing blanks or zeros ANSI_PADDING
// governs.
bool IsPaddable(BaseType base) {
  return base == BaseType::kChar || base == BaseType::kVarChar || base == BaseType::kBinary ||
         base == BaseType::kVarBinary;
}

Value CollationOf(const DataType& type, const std::string& collation) {
  return IsCharacterLike(type) ? SysTextOrNull(collation) : Value();
}

Row TypeRow(const std::string& name, const DataType& type, bool nullable,
            const std::string& default_name, const std::string& rule_name,
            const std::string& collation) {
  return {name, std::string(Info(type.base).name), SysInt(StorageLength(type)),
          // Character and binary types' precision is their length; they
          // have no scale.
          SysInt(Info(type.base).sized ? type.length : TypePrecision(type)),
          HasPrecision(type.base) ? ScaleValue(type) : Value(), YesNo(nullable),
          SysTextOrNull(default_name), SysTextOrNull(rule_name), CollationOf(type, collation)};
}

Status HelpDatabase(Database& db, ExecContext& ctx) {
  std::vector<ObjectRef> objects = db.AllObjects();
  std::vector<Row> rows;
  rows.reserve(objects.size());
  for (const ObjectRef& object : objects) {
    rows.push_back({object.name, object.owner, std::string(HelpObjectType(object.xtype))});
  }
  // By type, last words first ("view", "user table", ...), then by name.
  const Collation& collation = ctx.collation();
  std::stable_sort(rows.begin(), rows.end(), [&](const Row& a, const Row& b) {
    int type = collation.Compare(std::get<std::string>(a[2]), std::get<std::string>(b[2]));
    if (type != 0) return type > 0;
    return collation.Compare(std::get<std::string>(a[0]), std::get<std::string>(b[0])) < 0;
  });
  SendHelpRows(kHelpObjectList, std::move(rows), ctx);
  if (db.types.empty()) return std::nullopt;
  std::vector<const UserType*> types;
  for (const UserType& type : db.types) types.push_back(&type);
  std::stable_sort(types.begin(), types.end(), [&](const UserType* a, const UserType* b) {
    return collation.Compare(a->name, b->name) < 0;
  });
  std::vector<Row> type_rows;
  for (const UserType* type : types) {
    type_rows.push_back(TypeRow(type->name, type->base, type->nullable, type->default_name,
                                type->rule_name, db.collation));
  }
  SendHelpRows(kHelpUserTypes, std::move(type_rows), ctx);
  return std::nullopt;
}

void SendColumns(const std::vector<ColumnFacts>& columns, ExecContext& ctx) {
  std::vector<Row> rows;
  rows.reserve(columns.size());
  for (const ColumnFacts& column : columns) {
    const DataType& type = column.type;
    const bool numeric = HasPrecision(type.base);
    const bool paddable = IsPaddable(type.base);
    Value scale = numeric ? ScaleValue(type) : Value(SysPadded("", 5));
    if (const int64_t* digits = std::get_if<int64_t>(&scale))
      scale = SysPadded(std::to_string(*digits), 5);
    rows.push_back(
        {column.name, column.type_name, YesNo(column.computed), SysInt(StorageLength(type)),
         SysPadded(numeric ? std::to_string(TypePrecision(type)) : "", 5), std::move(scale),
         YesNo(column.nullable), std::string(paddable ? "no" : "(n/a)"),
         std::string(paddable ? YesNo(column.nullable) : "(n/a)"),
         CollationOf(type, column.collation)});
  }
  SendHelpRows(kHelpColumns, std::move(rows), ctx);
}

void SendIdentityAndGuid(const Table* table, const std::vector<ColumnFacts>& columns,
                         ExecContext& ctx) {
  std::vector<Row> identity;
  std::vector<Row> guid;
  for (const ColumnFacts& column : columns) {
    if (column.identity && table) {
      const Column& defined = table->columns[column.colid - 1];
      identity.push_back({column.name, std::to_string(defined.identity_seed),
                          std::to_string(defined.identity_increment), SysInt(0)});
    }
    if (column.rowguidcol) guid.push_back({column.name});
  }
  if (identity.empty())
    identity.push_back({"No identity column defined.", Value(), Value(), Value()});
  if (guid.empty()) guid.push_back({"No rowguidcol column defined."});
  SendHelpRows(kHelpIdentity, std::move(identity), ctx);
  SendHelpRows(kHelpRowGuidCol, std::move(guid), ctx);
}

void SendParameters(const std::vector<ColumnFacts>& parameters, ExecContext& ctx) {
  std::vector<Row> rows;
  for (const ColumnFacts& parameter : parameters) {
    const DataType& type = parameter.type;
    const TypeFamily family = Family(type);
    const bool sized = family == TypeFamily::kCharacter || family == TypeFamily::kBinary;
    const bool scaled = family == TypeFamily::kExact || family == TypeFamily::kMoney ||
                        family == TypeFamily::kInteger;
    rows.push_back({parameter.name, parameter.type_name, SysInt(StorageLength(type)),
                    SysInt(sized ? type.length : TypePrecision(type)),
                    scaled ? SysInt(TypeScale(type)) : Value(), SysInt(parameter.colid),
                    CollationOf(type, parameter.collation)});
  }
  SendHelpRows(kHelpParameters, std::move(rows), ctx);
}

Status HelpObject(Database& db, const ObjectRef& object, std::string_view given, ExecContext& ctx) {
  SendHelpRows(kHelpObjectRow,
               {{object.name, object.owner, std::string(HelpObjectType(object.xtype)),
                 std::string(kSysCreationDate)}},
               ctx);
  SystemScope scope{db, ctx};
  switch (object.kind) {
    case ObjectKind::kTable:
    case ObjectKind::kSystemTable:
    case ObjectKind::kView: {
      std::vector<ColumnFacts> columns = ObjectColumns(object, scope);
      SendColumns(columns, ctx);
      const bool table = object.kind != ObjectKind::kView;
      SendIdentityAndGuid(table ? object.table : nullptr, columns, ctx);
      if (!table) break;
      SendHelpRows(kHelpFilegroup, {{std::string("PRIMARY")}}, ctx);
      if (!object.table) break;
      SendIndexRows(*object.table, ctx);
      SendConstraintRows(*object.table, db, given, /*object_row=*/false, ctx);
      break;
    }
    case ObjectKind::kProcedure:
    case ObjectKind::kFunction: {
      std::vector<ColumnFacts> parameters = ObjectColumns(object, scope);
      if (!parameters.empty()) SendParameters(parameters, ctx);
      break;
    }
    default:
      break;
  }
  return std::nullopt;
}

}  // namespace

Status SpHelp(const ProcArgs& args, ExecContext& ctx) {
  Database* db = ctx.CurrentDatabase();
  if (!db) return Raise(Msg::kInternalError, {"no current database"});
  if (!args.Given("@objname")) return HelpDatabase(*db, ctx);
  const std::string given = args.Text("@objname");
  if (std::optional<ObjectRef> object = FindHelpObject(*db, given, ctx))
    return HelpObject(*db, *object, given, ctx);
  // Not an object: a user type, or a system type.
  if (const UserType* type = db->FindType(given, ctx.collation())) {
    SendHelpRows(kHelpOneType,
                 {TypeRow(type->name, type->base, type->nullable, type->default_name,
                          type->rule_name, db->collation)},
                 ctx);
    return std::nullopt;
  }
  if (std::optional<BaseType> base = FindBaseType(given)) {
    DataType type = DefaultType(*base);
    if (Info(*base).sized) type.length = MaxLength(*base);
    SendHelpRows(kHelpOneType, {TypeRow(Info(*base).name, type, true, "", "", db->collation)}, ctx);
    return std::nullopt;
  }
  return Raise(Msg::kObjectNotInDatabase, {given, db->name});
}

}  // namespace server
