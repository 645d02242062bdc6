#ifndef TAVORA_SERVER_EXEC_DML_COMMON_H_
#define TAVORA_SERVER_EXEC_DML_COMMON_H_

#include <string>

#include "server/exec/context.h"
#include "server/exec/eval.h"
#include "server/exec/table_rows.h"
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

// UPDATE's or DELETE's target as written: its own name, or the alias a
// FROM item gives it (UPDATE a SET ... FROM t AS a).
ObjectName TargetName(const ObjectName& name, const std::vector<FromItem>& from,
                      const Collation& collation);

// The rows an UPDATE or DELETE changes, each with the row its expressions
// see: the table's own row (computed columns filled in), or with a FROM
// clause the first joined row the table's row is in.
struct TargetRow {
  StoredRow stored;
  const Row* seen = nullptr;
};
struct TargetRows {
  RowSchema schema;
  std::vector<Row> seen;
  std::vector<TargetRow> rows;
};

// Binds `exprs` (SET values) and `where` to what the statement reads, and
// collects the rows `where` keeps, at most SET ROWCOUNT's many.
Status SelectTargetRows(const Table& table, const ObjectName& name,
                        const std::vector<FromItem>& from, const Expr* where,
                        const std::vector<const Expr*>& exprs, ExecContext& ctx, TargetRows& out);

}  // namespace server

#endif  // TAVORA_SERVER_EXEC_DML_COMMON_H_
