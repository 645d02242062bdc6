#ifndef TAVORA_SERVER_EXEC_ODBC_CATALOG_H_
#define TAVORA_SERVER_EXEC_ODBC_CATALOG_H_

// What the ODBC catalog procedures (sp_tables, sp_columns, sp_pkeys, ...)
// share: the database they read, the name patterns they take, the result
// set they send, and each type as ODBC describes it. Their rows are made
// from the catalog directly: clients call them on every connection and
// expect an answer in a few milliseconds.

#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "server/exec/system_procedures.h"
#include "server/exec/system_tables.h"

namespace server::odbc {

// The result columns of one procedure, as SQL Server 2000 documents them.
using ResultColumns = std::span<const SystemColumn>;

// Sends one result set (the rows in the columns' order) to the client.
void SendResult(ResultColumns columns, std::vector<Row> rows, ExecContext& ctx);

// The current database, which the procedures read; a qualifier argument
// must name it (15250).
Status CatalogDatabase(const ProcArgs& args, std::string_view qualifier_param, ExecContext& ctx,
                       Database*& db);

// A name pattern argument: LIKE's wildcards, and ODBC's escape "\" before
// a wildcard that stands for itself. An absent or NULL argument matches
// every name.
class NamePattern {
 public:
  NamePattern() = default;
  NamePattern(const ProcArgs& args, std::string_view param);
  explicit NamePattern(std::string_view pattern);

  bool Matches(std::string_view name, const Collation& collation) const;

 private:
  bool any_ = true;
  bool plain_ = false;   // no wildcard: compared as a name
  std::string pattern_;  // LIKE's form, escapes turned into [x]
};

// The user table (or, with `views`, view) an exact-name procedure
// (sp_pkeys, sp_statistics, ...) reads: @table_name, owned by @table_owner
// or by any owner when that is absent. Null when there is none.
const ObjectRef* FindNamedTable(const std::vector<ObjectRef>& objects, const ProcArgs& args,
                                const Collation& collation, bool views);

// A column of a declared type as ODBC describes it (sp_columns,
// sp_sproc_columns, sp_special_columns).
struct OdbcColumnType {
  int64_t data_type = 0;      // DATA_TYPE (ODBC 3 datetime codes when asked)
  std::string type_name;      // TYPE_NAME: "int identity", a user type's name
  Value precision;            // PRECISION: digits or characters
  Value length;               // LENGTH: bytes transferred
  Value scale;                // SCALE: NULL where a type has none
  Value radix;                // RADIX: 10 for numbers
  int64_t sql_data_type = 0;  // SQL_DATA_TYPE: 9 for the datetime types
  Value datetime_sub;         // SQL_DATETIME_SUB: 3 for the datetime types
  Value octet_length;         // CHAR_OCTET_LENGTH: character and binary types
  int64_t ss_data_type = 0;   // SS_DATA_TYPE: the older TDS code
};

OdbcColumnType DescribeColumn(const ColumnFacts& column, bool odbc3);

// The ODBC type code of a system type (ODBC 2's datetime codes, 11).
int OdbcDataType(BaseType base);
// ODBC 3 numbers the datetime types 93 where ODBC 2 has 11.
int OdbcDataTypeFor(BaseType base, bool odbc3);

// Handlers, by file.
Status SpTables(const ProcArgs& args, ExecContext& ctx);
Status SpColumns(const ProcArgs& args, ExecContext& ctx);
Status SpPKeys(const ProcArgs& args, ExecContext& ctx);
Status SpFKeys(const ProcArgs& args, ExecContext& ctx);
Status SpStatistics(const ProcArgs& args, ExecContext& ctx);
Status SpSpecialColumns(const ProcArgs& args, ExecContext& ctx);
Status SpStoredProcedures(const ProcArgs& args, ExecContext& ctx);
Status SpSprocColumns(const ProcArgs& args, ExecContext& ctx);
Status SpDatatypeInfo(const ProcArgs& args, ExecContext& ctx);
Status SpServerInfo(const ProcArgs& args, ExecContext& ctx);
Status SpTablePrivileges(const ProcArgs& args, ExecContext& ctx);
Status SpColumnPrivileges(const ProcArgs& args, ExecContext& ctx);
Status SpDatabases(const ProcArgs& args, ExecContext& ctx);

}  // namespace server::odbc

#endif  // TAVORA_SERVER_EXEC_ODBC_CATALOG_H_
