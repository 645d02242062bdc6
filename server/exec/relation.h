#ifndef TAVORA_SERVER_EXEC_RELATION_H_
#define TAVORA_SERVER_EXEC_RELATION_H_

#include <unordered_set>
#include <vector>

#include "server/exec/context.h"
#include "server/exec/eval.h"
#include "server/sql/ast.h"
#include "server/store/store.h"

namespace server {

// The rows one FROM clause reads, with their columns.
struct Relation {
  RowSchema schema;
  std::vector<Row> owned;
  const std::vector<Row>* rows = nullptr;  // `owned`, or a table's own rows
  // A user table's: the table, and where each of its rows is stored.
  const Table* table = nullptr;
  std::vector<RowId> ids;
  // Conditions of the WHERE clause the joins have applied (the old outer
  // joins' and those on their inner tables), which WHERE must not test again.
  std::vector<const Expr*> applied;
};

// The result of a query, before it becomes a ResultSet.
struct QueryResult {
  RowSchema schema;
  std::vector<Row> rows;
};

// Opens what a FROM clause names: a user table (computed columns filled
// in), a view (its query run), a system table or an INFORMATION_SCHEMA
// view (server/exec/system_tables.h). An unknown name is error 208.
// `where`, the statement's unbound condition when it has one, lets a user
// table be read by an index seek: the rows are then only those the
// condition could keep, and the caller still tests each.
// Reading a user table by key instead of whole: the columns (by name) and
// the keys wanted. Done only when one of the table's indexes has exactly
// these columns; `used` says whether it was.
struct KeyedRead {
  std::vector<std::string> columns;
  std::vector<std::vector<Scalar>> keys;
  bool used = false;
};

// The columns a query names anywhere (its subqueries included), by the
// collation's name key: a table read for it needs only those filled in.
// `all` when it takes whole rows (*, CHECKSUM(*)).
struct NamedColumns {
  bool all = false;
  std::unordered_set<std::string> unqualified;  // column
  std::unordered_set<std::string> qualified;    // exposed name "." column
  bool Names(const std::string& exposed, const std::string& column,
             const Collation& collation) const;
};
NamedColumns ColumnsNamedBy(const SelectStmt& select, const Collation& collation);
// Those its select list, GROUP BY, HAVING and ORDER BY name: what reads the
// FROM clause's rows once WHERE is done with them.
NamedColumns ColumnsReadAfterFrom(const SelectStmt& select, const Collation& collation);

// Sees a user table's rows as they are read, so that those a query cannot
// use are never kept: rows a condition of the WHERE clause rejects, or
// those TOP n ORDER BY cannot place among its first n.
class RowSieve {
 public:
  virtual ~RowSieve() = default;
  // Before the first row, with the columns as the query names them (the
  // table's exposed name as every column's source), which stay until the
  // last row is offered. False when the sieve has nothing to do on them:
  // every row is then kept.
  virtual bool Start(const RowSchema& schema) = 0;
  // One row, computed columns filled in; the sieve moves away what it
  // keeps. False when it gives up (an error it leaves for the query to meet
  // in its own order): the table is then read again with every row kept.
  virtual bool Offer(RowId id, Row& row) = 0;
  // What it kept, in the order offered.
  virtual void Finish(std::vector<RowId>& ids, std::vector<Row>& rows) = 0;
  // After Start, the columns Offer looks at (by position; empty for all).
  // When the read wants more, rows are offered with only these filled in,
  // and those kept are read again whole.
  virtual Store::ColumnMask Needs() const { return {}; }
};

// With `named`, a user table's columns the query does not name are left
// NULL. A `sieve` sees a user table's rows; other sources ignore it.
Status OpenRelation(const TableRef& ref, ExecContext& ctx, Relation& out,
                    const Expr* where = nullptr, KeyedRead* keyed = nullptr,
                    const NamedColumns* named = nullptr, RowSieve* sieve = nullptr);

// A user table read a key at a time: the inner side of a loop join.
struct TableSeeker {
  const Table* table = nullptr;
  RowSchema schema;  // as OpenRelation gives it
  Store::ColumnMask wanted;
  bool computed = false;  // has computed columns, filled in as rows are read
};

// Opens the user table `ref` names for seeks, locked as for reading it.
Status OpenTableSeeker(const TableRef& ref, const Table& table, ExecContext& ctx,
                       const NamedColumns* named, TableSeeker& out);

// Hands `visit` the rows whose `columns` hold `key` (already in the
// columns' types), in stored order.
Status SeekTable(const TableSeeker& seeker, const std::vector<int>& columns,
                 const std::vector<Value>& key, ExecContext& ctx, const Store::RowVisitor& visit);

// Runs a view's query in its own database: its rows under its column names.
Status OpenView(const Module& view, Database& db, ExecContext& ctx, Relation& out);

// The user table `ref` names, if it names one (not a view, a system table or
// a trigger's inserted or deleted); nothing is locked or read.
const Table* FindUserTable(const TableRef& ref, ExecContext& ctx);

// Runs a SELECT; a subquery's with the row of the query it is in.
Status RunSelect(const SelectStmt& select, ExecContext& ctx, QueryResult& out,
                 const OuterRow* outer = nullptr);

// The columns of a table as expressions see them.
RowSchema TableSchema(const Table& table);

// A copy of a stored row with its computed columns evaluated.
Status ComputeRow(const Table& table, const RowSchema& schema, ExecContext& ctx, Row& row);

// The database an object name points into: its database part, or the
// session's current database. Null when there is none.
Database* DatabaseOf(const ObjectName& name, ExecContext& ctx);

// Error `msg` carrying the statement's line.
SqlError ErrorAt(Msg msg, std::initializer_list<std::string_view> args, int line);

}  // namespace server

#endif  // TAVORA_SERVER_EXEC_RELATION_H_
