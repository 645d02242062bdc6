#ifndef TAVORA_SERVER_EXEC_DML_COMMON_H_
#define TAVORA_SERVER_EXEC_DML_COMMON_H_

#include <string>

#include "server/exec/context.h"
#include "server/sql/ast.h"

namespace server {

// The user table an INSERT, UPDATE or DELETE changes: 208 when there is
// none, 259 for a system table, 50000 for a view.
Status ResolveTargetTable(const ObjectName& name, ExecContext& ctx, Database*& db, Table*& table);

// "db.owner.table", as error 515 names a table.
std::string QualifiedName(const Database& db, const Table& table);

// The next timestamp value of a database, as the 8 bytes a timestamp column holds.
Value TimestampValue(int64_t dbts);

// A column's default: its DEFAULT constraint evaluated, or NULL.
Status ColumnDefault(const Column& column, ExecContext& ctx, Value& out);

}  // namespace server

#endif  // TAVORA_SERVER_EXEC_DML_COMMON_H_
