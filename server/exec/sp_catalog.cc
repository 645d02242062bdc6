// The ODBC catalog procedures' list, and those that describe tables:
// sp_tables, sp_columns, sp_pkeys and sp_fkeys.

#include <algorithm>

#include "server/exec/odbc_catalog.h"
#include "server/types/collation.h"

namespace server {

namespace odbc {

namespace {

using namespace sys_type;

constexpr SystemColumn kTablesColumns[] = {
    {"TABLE_QUALIFIER", kSysname}, {"TABLE_OWNER", kSysname}, {"TABLE_NAME", kSysname},
    {"TABLE_TYPE", VarChar(32)},   {"REMARKS", VarChar(254)},
};

constexpr SystemColumn kColumnsColumns[] = {
    {"TABLE_QUALIFIER", kSysname},
    {"TABLE_OWNER", kSysname},
    {"TABLE_NAME", kSysname},
    {"COLUMN_NAME", kSysname},
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

constexpr SystemColumn kPKeysColumns[] = {
    {"TABLE_QUALIFIER", kSysname}, {"TABLE_OWNER", kSysname}, {"TABLE_NAME", kSysname},
    {"COLUMN_NAME", kSysname},     {"KEY_SEQ", kSmallInt},    {"PK_NAME", kSysname},
};

constexpr SystemColumn kFKeysColumns[] = {
    {"PKTABLE_QUALIFIER", kSysname}, {"PKTABLE_OWNER", kSysname},     {"PKTABLE_NAME", kSysname},
    {"PKCOLUMN_NAME", kSysname},     {"FKTABLE_QUALIFIER", kSysname}, {"FKTABLE_OWNER", kSysname},
    {"FKTABLE_NAME", kSysname},      {"FKCOLUMN_NAME", kSysname},     {"KEY_SEQ", kSmallInt},
    {"UPDATE_RULE", kSmallInt},      {"DELETE_RULE", kSmallInt},      {"FK_NAME", kSysname},
    {"PK_NAME", kSysname},           {"DEFERRABILITY", kSmallInt},
};

constexpr const char* kTableTypes[] = {"SYSTEM TABLE", "TABLE", "VIEW"};

// ODBC's SQL_NO_ACTION and SQL_NOT_DEFERRABLE: the server has no cascading
// actions and checks every constraint at once.
constexpr int64_t kNoAction = 1;
constexpr int64_t kNotDeferrable = 7;

const char* TableType(ObjectKind kind) {
  switch (kind) {
    case ObjectKind::kSystemTable:
      return kTableTypes[0];
    case ObjectKind::kTable:
      return kTableTypes[1];
    case ObjectKind::kView:
      return kTableTypes[2];
    default:
      return nullptr;
  }
}

// @table_type: a list such as "'TABLE','VIEW'"; the quotes are optional.
std::vector<std::string> TableTypeList(const std::string& text) {
  std::vector<std::string> types;
  std::string item;
  auto flush = [&] {
    size_t from = item.find_first_not_of(" '\"");
    size_t to = item.find_last_not_of(" '\"");
    if (from != std::string::npos) types.push_back(ToUpper(item.substr(from, to - from + 1)));
    item.clear();
  };
  for (char c : text) {
    if (c == ',') {
      flush();
    } else {
      item += c;
    }
  }
  flush();
  return types;
}

// Sorts rows by the text of the first `keys` columns under the collation,
// then by the integer in `last` when that is not negative.
void SortRows(std::vector<Row>& rows, size_t keys, int last, const Collation& collation) {
  std::stable_sort(rows.begin(), rows.end(), [&](const Row& a, const Row& b) {
    for (size_t i = 0; i < keys; ++i) {
      const auto* x = std::get_if<std::string>(&a[i]);
      const auto* y = std::get_if<std::string>(&b[i]);
      if (!x || !y) {
        if (!x != !y) return !x;  // NULL first
        continue;
      }
      int c = collation.Compare(*x, *y);
      if (c != 0) return c < 0;
    }
    return last >= 0 && std::get<int64_t>(a[last]) < std::get<int64_t>(b[last]);
  });
}

Value Name(const std::string& name) { return Value(name); }

// The special calls that list catalogs, owners or table types rather than
// tables: an empty argument among them means "none", '%' "every".
bool ListOnly(const ProcArgs& args, Database& db, ExecContext& ctx) {
  auto is = [&args](std::string_view param, const char* text) {
    return args.Given(param) && args.Text(param) == text;
  };
  bool no_name = is("@table_name", "");
  std::vector<Row> rows;
  if (is("@table_qualifier", "%") && is("@table_owner", "") && no_name) {
    for (const auto& database : ctx.server.databases) {
      if (EqualNoCase(database->name, "model")) continue;
      rows.push_back({Name(database->name), Value(), Value(), Value(), Value()});
    }
    SortRows(rows, 1, -1, ctx.collation());
  } else if (is("@table_qualifier", "") && is("@table_owner", "%") && no_name) {
    std::vector<std::string> owners;
    for (const ObjectRef& object : db.AllObjects()) {
      if (!TableType(object.kind)) continue;
      bool seen = false;
      for (const std::string& owner : owners)
        seen = seen || ctx.collation().Equal(owner, object.owner);
      if (!seen) owners.push_back(object.owner);
    }
    for (const std::string& owner : owners)
      rows.push_back({Value(), owner, Value(), Value(), Value()});
    std::stable_sort(rows.begin(), rows.end(), [&](const Row& a, const Row& b) {
      return ctx.collation().Compare(std::get<std::string>(a[1]), std::get<std::string>(b[1])) < 0;
    });
  } else if (is("@table_qualifier", "") && is("@table_owner", "") && no_name &&
             is("@table_type", "%")) {
    for (const char* type : kTableTypes)
      rows.push_back({Value(), Value(), Value(), std::string(type), Value()});
  } else {
    return false;
  }
  SendResult(kTablesColumns, std::move(rows), ctx);
  return true;
}

}  // namespace

Status SpTables(const ProcArgs& args, ExecContext& ctx) {
  Database* db = ctx.CurrentDatabase();
  if (!db) return Raise(Msg::kDatabaseNotFoundOnUse, {ctx.session.database});
  if (ListOnly(args, *db, ctx)) return std::nullopt;
  if (Status s = CatalogDatabase(args, "@table_qualifier", ctx, db)) return s;
  const Collation& collation = ctx.collation();
  NamePattern name(args, "@table_name");
  NamePattern owner(args, "@table_owner");
  std::vector<std::string> types;
  if (args.Given("@table_type")) types = TableTypeList(args.Text("@table_type"));
  std::vector<Row> rows;
  for (const ObjectRef& object : db->AllObjects()) {
    const char* type = TableType(object.kind);
    if (!type || !name.Matches(object.name, collation) || !owner.Matches(object.owner, collation))
      continue;
    if (args.Given("@table_type") && std::find(types.begin(), types.end(), type) == types.end())
      continue;
    rows.push_back(
        {Name(db->name), Name(object.owner), Name(object.name), std::string(type), Value()});
  }
  // By type, then qualifier, owner and name.
  std::stable_sort(rows.begin(), rows.end(), [&](const Row& a, const Row& b) {
    for (int i : {3, 0, 1, 2}) {
      int c = collation.Compare(std::get<std::string>(a[i]), std::get<std::string>(b[i]));
      if (c != 0) return c < 0;
    }
    return false;
  });
  SendResult(kTablesColumns, std::move(rows), ctx);
  return std::nullopt;
}

Status SpColumns(const ProcArgs& args, ExecContext& ctx) {
  Database* db = nullptr;
  if (Status s = CatalogDatabase(args, "@table_qualifier", ctx, db)) return s;
  const Collation& collation = ctx.collation();
  const bool odbc3 = args.Int("@ODBCVer") >= 3;
  NamePattern table(args, "@table_name");
  NamePattern owner(args, "@table_owner");
  NamePattern column_name(args, "@column_name");
  SystemScope scope{*db, ctx};
  std::vector<Row> rows;
  for (const ObjectRef& object : db->AllObjects()) {
    if (object.kind != ObjectKind::kTable && object.kind != ObjectKind::kView) continue;
    if (!table.Matches(object.name, collation) || !owner.Matches(object.owner, collation)) continue;
    for (const ColumnFacts& column : ObjectColumns(object, scope)) {
      if (!column_name.Matches(column.name, collation)) continue;
      OdbcColumnType type = DescribeColumn(column, odbc3);
      rows.push_back({Name(db->name), Name(object.owner), Name(object.name), Name(column.name),
                      type.data_type, type.type_name, type.precision, type.length, type.scale,
                      type.radix, int64_t{column.nullable ? 1 : 0}, Value(),
                      SysTextOrNull(column.default_text), type.sql_data_type, type.datetime_sub,
                      type.octet_length, int64_t{column.colid},
                      std::string(column.nullable ? "YES" : "NO"), type.ss_data_type});
    }
  }
  SortRows(rows, 3, 16, collation);
  SendResult(kColumnsColumns, std::move(rows), ctx);
  return std::nullopt;
}

Status SpPKeys(const ProcArgs& args, ExecContext& ctx) {
  Database* db = nullptr;
  if (Status s = CatalogDatabase(args, "@table_qualifier", ctx, db)) return s;
  std::vector<ObjectRef> objects = db->AllObjects();
  const ObjectRef* object = FindNamedTable(objects, args, ctx.collation(), false);
  std::vector<Row> rows;
  const Index* key = object ? object->table->PrimaryKey() : nullptr;
  if (key) {
    for (size_t i = 0; i < key->columns.size(); ++i) {
      int at = object->table->FindColumn(key->columns[i], ctx.collation());
      rows.push_back({Name(db->name), Name(object->owner), Name(object->name),
                      Name(object->table->columns[at].name), int64_t(i + 1), Name(key->name)});
    }
  }
  SendResult(kPKeysColumns, std::move(rows), ctx);
  return std::nullopt;
}

Status SpFKeys(const ProcArgs& args, ExecContext& ctx) {
  Database* db = ctx.CurrentDatabase();
  if (!db) return Raise(Msg::kDatabaseNotFoundOnUse, {ctx.session.database});
  const Collation& collation = ctx.collation();
  for (const char* qualifier : {"@pktable_qualifier", "@fktable_qualifier"}) {
    if (args.Given(qualifier) && !collation.Equal(args.Text(qualifier), db->name))
      return Raise(Msg::kQualifierNotCurrentDatabase);
  }
  const bool by_pk = args.Given("@pktable_name");
  const bool by_fk = args.Given("@fktable_name");
  if (!by_pk && !by_fk) return Raise(Msg::kNoKeyTableName);
  auto matches = [&](std::string_view side, const std::string& owner, const std::string& name) {
    std::string prefix = std::string("@") + std::string(side);
    if (args.Given(prefix + "table_name") &&
        !collation.Equal(args.Text(prefix + "table_name"), name))
      return false;
    return !args.Given(prefix + "table_owner") ||
           collation.Equal(args.Text(prefix + "table_owner"), owner);
  };
  std::vector<Row> rows;
  for (const auto& table : db->tables) {
    for (const ForeignKey& fk : table->foreign_keys) {
      Table* referenced = db->FindTable(fk.ref_owner, fk.ref_table, collation);
      if (!referenced || !matches("fk", table->owner, table->name) ||
          !matches("pk", referenced->owner, referenced->name))
        continue;
      // The referenced key: the primary key or unique constraint on those
      // columns.
      std::string pk_name;
      for (const Index& index : referenced->indexes) {
        if (index.kind == IndexKind::kIndex || index.columns.size() != fk.ref_columns.size())
          continue;
        bool same = true;
        for (size_t i = 0; i < index.columns.size(); ++i)
          same = same && collation.Equal(index.columns[i], fk.ref_columns[i]);
        if (same) pk_name = index.name;
      }
      for (size_t i = 0; i < fk.columns.size(); ++i) {
        int pk_at = referenced->FindColumn(fk.ref_columns[i], collation);
        int fk_at = table->FindColumn(fk.columns[i], collation);
        rows.push_back({Name(db->name), Name(referenced->owner), Name(referenced->name),
                        Name(referenced->columns[pk_at].name), Name(db->name), Name(table->owner),
                        Name(table->name), Name(table->columns[fk_at].name), int64_t(i + 1),
                        kNoAction, kNoAction, Name(fk.name),
                        pk_name.empty() ? Value() : Name(pk_name), kNotDeferrable});
      }
    }
  }
  // Ordered by the other side's table, then the key's columns in order.
  if (by_pk && !by_fk) {
    std::stable_sort(rows.begin(), rows.end(), [&](const Row& a, const Row& b) {
      for (int i : {4, 5, 6}) {
        int c = collation.Compare(std::get<std::string>(a[i]), std::get<std::string>(b[i]));
        if (c != 0) return c < 0;
      }
      return std::get<int64_t>(a[8]) < std::get<int64_t>(b[8]);
    });
  } else {
    SortRows(rows, 3, 8, collation);
  }
  SendResult(kFKeysColumns, std::move(rows), ctx);
  return std::nullopt;
}

// The procedures, with SQL Server 2000's parameter lists.
const std::vector<SystemProcedure>& Procedures() {
  constexpr ParamType T = ParamType::kText;
  constexpr ParamType I = ParamType::kInt;
  static const std::vector<SystemProcedure> kProcedures = {
      {"sp_tables",
       {{"@table_name", T, false, nullptr},
        {"@table_owner", T, false, nullptr},
        {"@table_qualifier", T, false, nullptr},
        {"@table_type", T, false, nullptr}},
       SpTables,
       true},
      {"sp_columns",
       {{"@table_name", T, true, nullptr},
        {"@table_owner", T, false, nullptr},
        {"@table_qualifier", T, false, nullptr},
        {"@column_name", T, false, nullptr},
        {"@ODBCVer", I, false, "2"}},
       SpColumns,
       true},
      {"sp_pkeys",
       {{"@table_name", T, true, nullptr},
        {"@table_owner", T, false, nullptr},
        {"@table_qualifier", T, false, nullptr}},
       SpPKeys,
       true},
      {"sp_fkeys",
       {{"@pktable_name", T, false, nullptr},
        {"@pktable_owner", T, false, nullptr},
        {"@pktable_qualifier", T, false, nullptr},
        {"@fktable_name", T, false, nullptr},
        {"@fktable_owner", T, false, nullptr},
        {"@fktable_qualifier", T, false, nullptr}},
       SpFKeys,
       true},
      {"sp_statistics",
       {{"@table_name", T, true, nullptr},
        {"@table_owner", T, false, nullptr},
        {"@table_qualifier", T, false, nullptr},
        {"@index_name", T, false, nullptr},
        {"@is_unique", T, false, nullptr},
        {"@accuracy", T, false, nullptr}},
       SpStatistics,
       true},
      {"sp_special_columns",
       {{"@table_name", T, true, nullptr},
        {"@table_owner", T, false, nullptr},
        {"@table_qualifier", T, false, nullptr},
        {"@col_type", T, false, nullptr},
        {"@scope", T, false, nullptr},
        {"@nullable", T, false, nullptr},
        {"@ODBCVer", I, false, "2"}},
       SpSpecialColumns,
       true},
      {"sp_stored_procedures",
       {{"@sp_name", T, false, nullptr},
        {"@sp_owner", T, false, nullptr},
        {"@sp_qualifier", T, false, nullptr}},
       SpStoredProcedures,
       true},
      {"sp_sproc_columns",
       {{"@procedure_name", T, false, nullptr},
        {"@procedure_owner", T, false, nullptr},
        {"@procedure_qualifier", T, false, nullptr},
        {"@column_name", T, false, nullptr},
        {"@ODBCVer", I, false, "2"}},
       SpSprocColumns,
       true},
      {"sp_datatype_info",
       {{"@data_type", I, false, "0"}, {"@ODBCVer", I, false, "2"}},
       SpDatatypeInfo,
       true},
      {"sp_server_info", {{"@attribute_id", I, false, nullptr}}, SpServerInfo, true},
      {"sp_table_privileges",
       {{"@table_name", T, true, nullptr},
        {"@table_owner", T, false, nullptr},
        {"@table_qualifier", T, false, nullptr}},
       SpTablePrivileges,
       true},
      {"sp_column_privileges",
       {{"@table_name", T, true, nullptr},
        {"@table_owner", T, false, nullptr},
        {"@table_qualifier", T, false, nullptr},
        {"@column_name", T, false, nullptr}},
       SpColumnPrivileges,
       true},
      {"sp_databases", {}, SpDatabases, true},
  };
  return kProcedures;
}

}  // namespace odbc

const std::vector<SystemProcedure>& OdbcCatalogProcedures() { return odbc::Procedures(); }

}  // namespace server
