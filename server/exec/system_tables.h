#ifndef TAVORA_SERVER_EXEC_SYSTEM_TABLES_H_
#define TAVORA_SERVER_EXEC_SYSTEM_TABLES_H_

// The pieces the system tables and the INFORMATION_SCHEMA views are built
// from: each is a constant list of columns that reads like SQL Server 2000's
// documentation, and a function that makes its rows from the catalog when a
// query names it. Nothing here is stored: the catalog is the one truth.

#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "server/exec/relation.h"

namespace server {

struct SystemColumn {
  const char* name;
  DataType type;
};

// Types as the documentation writes them.
namespace sys_type {
constexpr DataType kSysname{BaseType::kNVarChar, 128, 0, 0};
constexpr DataType kInt{BaseType::kInt, 4, 10, 0};
constexpr DataType kSmallInt{BaseType::kSmallInt, 2, 5, 0};
constexpr DataType kTinyInt{BaseType::kTinyInt, 1, 3, 0};
constexpr DataType kBigInt{BaseType::kBigInt, 8, 19, 0};
constexpr DataType kBit{BaseType::kBit, 1, 1, 0};
constexpr DataType kDateTime{BaseType::kDateTime, 8, 23, 3};
constexpr DataType kImage{BaseType::kImage, 16, 0, 0};
constexpr DataType kSqlVariant{BaseType::kSqlVariant, 8016, 0, 0};
constexpr DataType Char(int n) { return {BaseType::kChar, n, 0, 0}; }
constexpr DataType VarChar(int n) { return {BaseType::kVarChar, n, 0, 0}; }
constexpr DataType NChar(int n) { return {BaseType::kNChar, n, 0, 0}; }
constexpr DataType NVarChar(int n) { return {BaseType::kNVarChar, n, 0, 0}; }
constexpr DataType Binary(int n) { return {BaseType::kBinary, n, 0, 0}; }
constexpr DataType VarBinary(int n) { return {BaseType::kVarBinary, n, 0, 0}; }
}  // namespace sys_type

// What a row builder may read: the database the query names, and the
// server and session it runs in.
struct SystemScope {
  Database& db;
  ExecContext& ctx;
};

using SystemRowBuilder = Status (*)(SystemScope& scope, std::vector<Row>& rows);

// One system table or INFORMATION_SCHEMA view.
struct SystemTableDef {
  const char* name;
  std::span<const SystemColumn> columns;
  SystemRowBuilder rows;
};

// The system tables of every database and of master, and the views of
// INFORMATION_SCHEMA; each family is its own list.
std::span<const SystemTableDef> ObjectSystemTables();       // sysobjects, syscolumns, ...
std::span<const SystemTableDef> TypeSystemTables();         // systypes
std::span<const SystemTableDef> KeySystemTables();          // sysindexes, sysforeignkeys, ...
std::span<const SystemTableDef> SecuritySystemTables();     // sysusers, sysprotects, ...
std::span<const SystemTableDef> StorageSystemTables();      // sysfiles, sysfilegroups, sysdepends
std::span<const SystemTableDef> ReplicationSystemTables();  // syspublications, sysarticles, ...
std::span<const SystemTableDef> MasterSystemTables();       // sysdatabases, syslogins, ...
std::span<const SystemTableDef> InformationSchemaViews();

// The definition of system table `name` (owner dbo) or, with `information_schema`,
// of that view; null when there is none.
const SystemTableDef* FindSystemTable(std::string_view name, bool information_schema,
                                      const Collation& collation);

// Fills `out` with a system table's columns and rows.
Status BuildSystemTable(const SystemTableDef& def, Database& db, ExecContext& ctx, Relation& out);

// Facts about one column of a table, a view or a routine's parameter as the
// catalog and its tables show them (syscolumns, INFORMATION_SCHEMA.COLUMNS,
// the ODBC catalog procedures).
struct ColumnFacts {
  std::string name;
  int colid = 0;
  DataType type;
  std::string type_name;  // the user type's name, or the system type's
  int xusertype = 0;
  bool nullable = true;
  bool identity = false;
  bool computed = false;
  bool rowguidcol = false;
  bool output = false;  // a parameter's
  std::string collation;
  // The DEFAULT constraint, or else the default sp_bindefault bound (whose
  // text is its CREATE DEFAULT statement); the rule sp_bindrule bound.
  int default_id = 0;
  std::string default_text;  // "(expression)" as syscomments holds it, "" for none
  int rule_id = 0;
};

// The columns of a table or a view, in order; a procedure's or function's
// parameters (number 1 in syscolumns). A view that no longer opens has none.
std::vector<ColumnFacts> ObjectColumns(const ObjectRef& object, SystemScope& scope);

// A scalar function's declared result type; none for other modules.
std::optional<DataType> FunctionReturnType(const Module& module, Database& db, ExecContext& ctx);

// The xusertype of a column declared with `type` and user type `user_type`.
int UserTypeId(Database& db, const DataType& type, const std::string& user_type);

// systypes.xprec of a declared type: the exact types' declared precision,
// the fixed numeric types' own (10 for int), 0 for character and binary.
int TypePrecision(const DataType& type);
// systypes.xscale of a declared type: 3 for datetime, 4 for money.
int TypeScale(const DataType& type);
// The older TDS type code of syscolumns.type and systypes.type.
int LegacyTypeCode(BaseType base, bool nullable);
// systypes.usertype of a system type.
int LegacyUserType(BaseType base);

// The catalog keeps no creation times: every object shows this one.
inline constexpr const char* kSysCreationDate = "2000-08-06 01:29:12.250";

// Helpers for the row builders (names kept distinct: sources are compiled
// in batches).
inline Value SysInt(int64_t v) { return Value(v); }
// NULL for an empty text.
Value SysTextOrNull(const std::string& text);
// char(n) as SQL Server pads it.
// A database's files, as sysfiles lists them: 1 its data, 2 its log; ""
// for any other id.
std::string LogicalFileName(const Database& db, int64_t fileid);

// A login's security id, as syslogins shows it: 0x01 for sa, else the
// name's bytes.
std::vector<uint8_t> LoginSid(const std::string& login);

std::string SysPadded(std::string text, size_t width);
// The owner's user id (sysusers.uid): its place in the database's users.
int SysUserId(const Database& db, std::string_view owner);

}  // namespace server

#endif  // TAVORA_SERVER_EXEC_SYSTEM_TABLES_H_
