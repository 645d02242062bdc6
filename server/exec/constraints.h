#ifndef TAVORA_SERVER_EXEC_CONSTRAINTS_H_
#define TAVORA_SERVER_EXEC_CONSTRAINTS_H_

#include <vector>

#include "server/exec/eval.h"
#include "server/sql/ast.h"

namespace server {

// A table's constraints, made ready once per statement and checked on the
// rows the statement leaves behind, before anything is stored. The errors
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
  // changed row; `final_rows` are all of the table's rows after the
  // statement (a foreign key may point at its own table).
  Status CheckRow(const Row& row, const std::vector<Row>& final_rows);
  // Unique keys among `final_rows`, reporting only duplicates that involve
  // a row marked in `changed`.
  Status CheckUnique(const std::vector<Row>& final_rows, const std::vector<bool>& changed);
  // Whether `row` would duplicate a key of an IGNORE_DUP_KEY index among
  // `rows` (such a row is dropped with message 3604, not refused).
  Status DuplicatesIgnoredKey(const Row& row, const std::vector<Row>& rows, bool& duplicate);
  // Foreign keys of any table that still refer to keys of `old_rows` that
  // `final_rows` no longer hold.
  Status CheckReferencedKeys(const std::vector<const Row*>& old_rows,
                             const std::vector<Row>& final_rows);

 private:
  static RowSchema TableSchemaOf(const Table& table);
  Status KeysEqual(const Row& a, const std::vector<int>& ca, const Table& ta, const Row& b,
                   const std::vector<int>& cb, const Table& tb, bool nulls_equal, bool& equal);

  Table& table_;
  Database& db_;
  ExecContext& ctx_;
  const char* statement_;
  RowSchema schema_;
  std::vector<ExprPtr> checks_;
};

}  // namespace server

#endif  // TAVORA_SERVER_EXEC_CONSTRAINTS_H_
