#ifndef TAVORA_SERVER_EXEC_CONSTRAINTS_H_
#define TAVORA_SERVER_EXEC_CONSTRAINTS_H_

#include <vector>

#include "server/exec/eval.h"
#include "server/sql/ast.h"

namespace server {

// A table's constraints, made ready once per statement and checked once the
// statement has stored its rows, so that a row may refer to another the
// same statement stores; a failure is undone with the statement. The errors
// are SQL Server's: 547 for CHECK and FOREIGN KEY (from either side), 2627
// for PRIMARY KEY and UNIQUE, 2601 for a unique index.
class ConstraintChecker {
 public:
  // `statement` names the statement in error 547 ("INSERT", "UPDATE", "DELETE").
  ConstraintChecker(Table& table, Database& db, ExecContext& ctx, const char* statement)
      : table_(table), db_(db), ctx_(ctx), statement_(statement), schema_(TableSchemaOf(table)) {}

  // Parses and binds the CHECK constraints.
  Status Prepare();
  // CHECK constraints and the table's own foreign keys, for one new or
  // changed row.
  Status CheckRow(const Row& row);
  // Whether a unique key of any of `rows` (the new or changed ones) is held
  // by another row too; NULLs count as equal.
  Status CheckUnique(const std::vector<Row>& rows);
  // Whether `row`, not yet stored, would duplicate a key of an
  // IGNORE_DUP_KEY index (such a row is dropped with message 3604, not
  // refused).
  Status DuplicatesIgnoredKey(const Row& row, bool& duplicate);
  // Foreign keys of any table that still refer to keys of `old_rows` that
  // the table no longer holds.
  Status CheckReferencedKeys(const std::vector<Row>& old_rows);

 private:
  static RowSchema TableSchemaOf(const Table& table);
  // How many rows of `table` hold in `columns` the key that `row` holds in
  // `key_columns` of this table, counting no further than 2.
  Status CountWithKey(const Table& table, const std::vector<int>& columns, const Row& row,
                      const std::vector<int>& key_columns, size_t& count);

  Table& table_;
  Database& db_;
  ExecContext& ctx_;
  const char* statement_;
  RowSchema schema_;
  std::vector<ExprPtr> checks_;
  // The rules bound to columns, each made a condition on its column.
  struct BoundRule {
    ExprPtr condition;
    std::string column;
  };
  std::vector<BoundRule> rules_;
};

}  // namespace server

#endif  // TAVORA_SERVER_EXEC_CONSTRAINTS_H_
