#ifndef TAVORA_SERVER_EXEC_QUERY_H_
#define TAVORA_SERVER_EXEC_QUERY_H_

#include <string>
#include <vector>

#include "server/exec/relation.h"

namespace server {

// Pieces of the query executor shared by its files.

// A text two values share exactly when the server finds them equal: under
// the collation, without trailing blanks, whatever a number's scale. NULLs
// share one. For grouping, DISTINCT, UNION and hash joins.
std::string GroupKey(const Scalar& value, const Collation& collation);

// Whether values of these two types can be matched by GroupKey rather than
// compared one pair at a time (both numbers without float, both character
// data, ...).
bool KeysComparable(const DataType& a, const DataType& b);

// Under ARITHABORT and ANSI_WARNINGS both OFF a failing computation sends
// a warning for each row it fails on: conditions are then tested exactly
// where they always were, never again on a row a sieve kept.
inline bool SendsRowWarnings(const ExecContext& ctx) {
  return !ctx.session.options.arithabort && !ctx.session.options.ansi_warnings;
}

// The conditions ANDed together in `where`.
void SplitConjuncts(const Expr* where, std::vector<const Expr*>& out);

// Whether `expr` holds a subquery.
bool HasSubquery(const Expr& expr);

// The first *= or =* in `expr`, if any.
const Expr* OuterJoinOperatorIn(const Expr& expr);

// Whether `expr` names a column anywhere (outside subqueries' own lists).
bool NamesAnyColumn(const Expr& expr);

// The position of a column in `schema` without binding it: -1 when it is
// not there or is there twice.
int LookupColumn(const Expr& column, const RowSchema& schema, const Collation& collation);

// The table an UPDATE or DELETE with a FROM clause changes, and the name
// it has there: its rows get a last column, kRowIdColumn, with the place
// each is stored at.
struct FromTarget {
  const Table* table = nullptr;
  std::string exposed;
};
inline constexpr std::string_view kRowIdColumn = "%%rowid";

// Opens FROM items as one relation. `where` narrows what is read unless
// `read_all`; `named` (not with a target, whose rows are written back
// whole) narrows the columns read. A `sieve` sees the rows of a FROM
// clause that is one user table, as they are read. `later`, the columns
// read once WHERE is applied, lets a join leave rows nothing reads empty.
Status OpenFrom(const std::vector<const FromItem*>& items, const Expr* where, bool read_all,
                ExecContext& ctx, const OuterRow* outer, Relation& out,
                const FromTarget* target = nullptr, const NamedColumns* named = nullptr,
                RowSieve* sieve = nullptr, const NamedColumns* later = nullptr);

// Opens the FROM clause of `select` (joins, derived tables, views, system
// tables) as one relation whose columns carry the names their tables are
// known by. `outer` is for a subquery's references out.
Status OpenFrom(const SelectStmt& select, ExecContext& ctx, const OuterRow* outer, Relation& out,
                RowSieve* sieve = nullptr);

}  // namespace server

#endif  // TAVORA_SERVER_EXEC_QUERY_H_
