// sp_server_info, sp_databases, sp_table_privileges and
// sp_column_privileges: what ODBC asks of the server as a whole and of
// who may use a table.

#include <algorithm>

#include "server/exec/odbc_catalog.h"
#include "server/types/collation.h"

namespace server::odbc {

namespace {

using namespace sys_type;

constexpr SystemColumn kServerInfoColumns[] = {
    {"attribute_id", kInt},
    {"attribute_name", VarChar(60)},
    {"attribute_value", VarChar(255)},
};

constexpr SystemColumn kDatabasesColumns[] = {
    {"DATABASE_NAME", kSysname},
    {"DATABASE_SIZE", kInt},
    {"REMARKS", VarChar(254)},
};

constexpr SystemColumn kTablePrivilegesColumns[] = {
    {"TABLE_QUALIFIER", kSysname}, {"TABLE_OWNER", kSysname}, {"TABLE_NAME", kSysname},
    {"GRANTOR", kSysname},         {"GRANTEE", kSysname},     {"PRIVILEGE", VarChar(32)},
    {"IS_GRANTABLE", VarChar(3)},
};

constexpr SystemColumn kColumnPrivilegesColumns[] = {
    {"TABLE_QUALIFIER", kSysname}, {"TABLE_OWNER", kSysname},    {"TABLE_NAME", kSysname},
    {"COLUMN_NAME", kSysname},     {"GRANTOR", kSysname},        {"GRANTEE", kSysname},
    {"PRIVILEGE", VarChar(32)},    {"IS_GRANTABLE", VarChar(3)},
};

struct Attribute {
  int id;
  const char* name;
  const char* value;  // null: depends on the server (collation)
};

// SQL Server 2000's attributes, as this server answers them.
constexpr Attribute kAttributes[] = {
    {1, "DBMS_NAME", "Microsoft SQL Server"},
    {2, "DBMS_VER", "Microsoft SQL Server  2000 - 8.00.2039"},
    {10, "OWNER_TERM", "owner"},
    {11, "TABLE_TERM", "table"},
    {12, "MAX_OWNER_NAME_LENGTH", "128"},
    {13, "TABLE_LENGTH", "128"},
    {14, "MAX_QUAL_LENGTH", "128"},
    {15, "COLUMN_LENGTH", "128"},
    {16, "IDENTIFIER_CASE", "MIXED"},
    {17, "TX_ISOLATION", "2"},
    {18, "COLLATION_SEQ", nullptr},
    {19, "SAVEPOINT_SUPPORT", "Y"},
    {20, "MULTI_RESULT_SETS", "Y"},
    {22, "ACCESSIBLE_TABLES", "Y"},
    {100, "USERID_LENGTH", "128"},
    {101, "QUALIFIER_TERM", "database"},
    {102, "NAMED_TRANSACTIONS", "Y"},
    {103, "SPROC_AS_LANGUAGE", "Y"},
    {104, "ACCESSIBLE_SPROC", "Y"},
    {105, "MAX_INDEX_COLS", "16"},
    {106, "RENAME_TABLE", "Y"},
    {107, "RENAME_COLUMN", "Y"},
    {108, "DROP_COLUMN", "Y"},
    {109, "INCREASE_COLUMN_LENGTH", "Y"},
    {110, "DDL_IN_TRANSACTION", "Y"},
    {111, "DESCENDING_INDEXES", "Y"},
    {112, "SP_RENAME", "Y"},
    {113, "REMOTE_SPROC", "Y"},
    {500, "SYS_SPROC_VERSION", "8.00.2039"},
};

// What a table's owner holds, in the order the result lists privileges.
constexpr const char* kTablePrivileges[] = {"DELETE", "INSERT", "REFERENCES", "SELECT", "UPDATE"};
constexpr const char* kColumnPrivileges[] = {"INSERT", "REFERENCES", "SELECT", "UPDATE"};

// The database's size in KB: its two files' pages, as sysfiles has them.
constexpr int64_t kDatabaseKilobytes = (96 + 63) * 8;

// A user table or view by exact name (@table_name, @table_owner).
std::vector<const ObjectRef*> PrivilegeTables(const std::vector<ObjectRef>& objects,
                                              const NamePattern& name, const NamePattern& owner,
                                              const Collation& collation) {
  std::vector<const ObjectRef*> out;
  for (const ObjectRef& object : objects) {
    if ((object.kind == ObjectKind::kTable || object.kind == ObjectKind::kView) &&
        name.Matches(object.name, collation) && owner.Matches(object.owner, collation))
      out.push_back(&object);
  }
  return out;
}

// Orders by the text columns listed, under the collation.
void SortByText(std::vector<Row>& rows, std::initializer_list<int> keys,
                const Collation& collation) {
  std::stable_sort(rows.begin(), rows.end(), [&](const Row& a, const Row& b) {
    for (int i : keys) {
      int c = collation.Compare(std::get<std::string>(a[i]), std::get<std::string>(b[i]));
      if (c != 0) return c < 0;
    }
    return false;
  });
}

}  // namespace

Status SpServerInfo(const ProcArgs& args, ExecContext& ctx) {
  const bool one = args.Given("@attribute_id");
  const int64_t wanted = args.Int("@attribute_id");
  std::vector<Row> rows;
  for (const Attribute& attribute : kAttributes) {
    if (one && attribute.id != wanted) continue;
    std::string value = attribute.value ? attribute.value
                        : ctx.collation().case_sensitive()
                            ? "charset=iso_1 sort_order=dictionary_iso charset_num=1 "
                              "sort_order_num=51"
                            : "charset=iso_1 sort_order=nocase_iso charset_num=1 sort_order_num=52";
    rows.push_back({int64_t{attribute.id}, std::string(attribute.name), std::move(value)});
  }
  SendResult(kServerInfoColumns, std::move(rows), ctx);
  return std::nullopt;
}

Status SpDatabases(const ProcArgs&, ExecContext& ctx) {
  std::vector<Row> rows;
  for (const auto& database : ctx.server.databases)
    rows.push_back({database->name, kDatabaseKilobytes, Value()});
  SortByText(rows, {0}, ctx.collation());
  SendResult(kDatabasesColumns, std::move(rows), ctx);
  return std::nullopt;
}

Status SpTablePrivileges(const ProcArgs& args, ExecContext& ctx) {
  Database* db = nullptr;
  if (Status s = CatalogDatabase(args, "@table_qualifier", ctx, db)) return s;
  const Collation& collation = ctx.collation();
  std::vector<ObjectRef> objects = db->AllObjects();
  std::vector<Row> rows;
  for (const ObjectRef* object : PrivilegeTables(objects, NamePattern(args, "@table_name"),
                                                 NamePattern(args, "@table_owner"), collation)) {
    auto add = [&](const std::string& grantee, const char* privilege, bool grantable) {
      rows.push_back({db->name, object->owner, object->name, object->owner, grantee,
                      std::string(privilege), std::string(grantable ? "YES" : "NO")});
    };
    for (const char* privilege : kTablePrivileges) add(object->owner, privilege, true);
    // Grants on the whole object; those on some columns are column privileges.
    for (const Permission& permission : db->permissions) {
      if (permission.object_id != object->id || !permission.columns.empty()) continue;
      for (const char* privilege : kTablePrivileges) {
        if (EqualNoCase(permission.privilege, privilege)) add(permission.grantee, privilege, false);
      }
    }
  }
  SortByText(rows, {0, 1, 2, 5, 4}, collation);
  SendResult(kTablePrivilegesColumns, std::move(rows), ctx);
  return std::nullopt;
}

Status SpColumnPrivileges(const ProcArgs& args, ExecContext& ctx) {
  Database* db = nullptr;
  if (Status s = CatalogDatabase(args, "@table_qualifier", ctx, db)) return s;
  const Collation& collation = ctx.collation();
  std::vector<ObjectRef> objects = db->AllObjects();
  const ObjectRef* object = FindNamedTable(objects, args, collation, true);
  std::vector<Row> rows;
  if (object) {
    NamePattern column_name(args, "@column_name");
    SystemScope scope{*db, ctx};
    for (const ColumnFacts& column : ObjectColumns(*object, scope)) {
      if (!column_name.Matches(column.name, collation)) continue;
      auto add = [&](const std::string& grantee, const char* privilege, bool grantable) {
        rows.push_back({db->name, object->owner, object->name, column.name, object->owner, grantee,
                        std::string(privilege), std::string(grantable ? "YES" : "NO")});
      };
      for (const char* privilege : kColumnPrivileges) add(object->owner, privilege, true);
      for (const Permission& permission : db->permissions) {
        if (permission.object_id != object->id) continue;
        bool covers = permission.columns.empty();
        for (const std::string& granted : permission.columns)
          covers = covers || collation.Equal(granted, column.name);
        if (!covers) continue;
        for (const char* privilege : kColumnPrivileges) {
          if (EqualNoCase(permission.privilege, privilege))
            add(permission.grantee, privilege, false);
        }
      }
    }
  }
  SortByText(rows, {3, 6, 5}, collation);
  SendResult(kColumnPrivilegesColumns, std::move(rows), ctx);
  return std::nullopt;
}

}  // namespace server::odbc
