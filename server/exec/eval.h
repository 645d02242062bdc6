#ifndef TAVORA_SERVER_EXEC_EVAL_H_
#define TAVORA_SERVER_EXEC_EVAL_H_

#include <string>
#include <vector>

#include "server/catalog/table.h"
#include "server/exec/context.h"
#include "server/sql/ast.h"

namespace server {

// The columns an expression may name: those of the objects a FROM clause
// reads (or a table's own columns for CHECK and computed columns).
struct RowSchema {
  std::string table_name;
  std::string alias;
  std::vector<std::string> names;
  std::vector<DataType> types;
  // Per column, the name its table is known by in the query (its alias, or
  // its own name). Empty for one table: `table_name` or `alias` then.
  std::vector<std::string> sources;
};

// The current row of an enclosing query, as a subquery sees it: columns
// the subquery does not have are looked for here, one level out at a time.
struct OuterRow {
  const RowSchema* schema = nullptr;
  const Row* row = nullptr;
  const OuterRow* next = nullptr;
  // Set when a subquery names one of these columns: it is correlated and
  // must be run again for every row.
  mutable bool referenced = false;
};

// Resolves the column names in `expr` to positions in `schema`, or in the
// enclosing queries' rows (207 for an unknown column, 107 for a prefix that
// names no table, 209 for a name two tables have). Without a schema any
// column name is error 128, as in VALUES lists and defaults. Subqueries are
// bound when they run.
Status BindColumns(const Expr& expr, const RowSchema* schema, const Collation& collation,
                   const OuterRow* outer = nullptr);

// Where an expression is evaluated: the current row, and for aggregates the
// rows they run over.
struct EvalScope {
  ExecContext& exec;
  const RowSchema* schema = nullptr;
  const Row* row = nullptr;
  const std::vector<const Row*>* group = nullptr;
  // Only the type is wanted: columns, constants and variables give NULLs of
  // their types, so nothing fails on a value (CASE types its results so).
  bool typing = false;
  // Evaluated only for its type or its errors (over a row of NULLs): the
  // warnings it would give are not sent.
  bool probe = false;
  // The enclosing queries' rows, for a subquery's correlated columns.
  const OuterRow* outer = nullptr;
  // GROUP BY ... WITH ROLLUP / CUBE: the columns this summary row stands
  // for all values of (GROUPING gives 1 for them).
  const std::vector<int>* rolled_up = nullptr;
};

// Computes a bound expression. Conditions give a bit: 1, 0, or NULL for
// unknown. A NULL result still carries the type the expression has, so an
// evaluation over a row of NULLs tells the type of a computed column.
Status Evaluate(const Expr& expr, const EvalScope& scope, Scalar& out);

// Whether a condition holds for the scope's row (unknown does not).
Status Test(const Expr& condition, const EvalScope& scope, bool& out);

bool HasAggregate(const Expr& expr);

// Orders two non-NULL values the way the server compares them, converting
// the one of lower type precedence (errors are the conversion's, or 306 for
// text, ntext and image). Negative, zero or positive.
Status CompareScalars(const Scalar& a, const Scalar& b, const Collation& collation, int& out);
// The collation an expression's value compares under when it names one
// with COLLATE (also through string concatenation, which keeps it); null
// when it does not.
const Collation* ExplicitCollation(const Expr& expr, const Collation& server);
// The collation two operands compare under: an explicit COLLATE on either
// side wins over the server's; two different explicit ones cannot be
// reconciled (446, naming `operation`).
Status OperandCollation(const Expr& a, const Expr& b, std::string_view operation,
                        const EvalScope& scope, const Collation*& out);
// How a collation conflict names a comparison operator: "equal to", ...
std::string_view CompareOperation(const std::string& op);
// The same from the two sides' explicit collations (null where none).
Status CollationOfPair(const Collation* left, const Collation* right, const Collation& server,
                       std::string_view operation, const Collation*& out);

// A bit value for a condition's outcome; empty is unknown (NULL).
Scalar BoolScalar(std::optional<bool> value);

}  // namespace server

#endif  // TAVORA_SERVER_EXEC_EVAL_H_
