#ifndef TAVORA_SERVER_EXEC_TABLE_ROWS_H_
#define TAVORA_SERVER_EXEC_TABLE_ROWS_H_

#include <string_view>
#include <vector>

#include "server/exec/context.h"
#include "server/sql/ast.h"
#include "server/store/store.h"

namespace server {

// A row as the store holds it, with its place there.
struct StoredRow {
  RowId id = 0;
  Row row;
};

// The rows of `table` that `where` (unbound, may be null) could keep, in
// stored order and as stored (computed columns not yet filled in). When the
// condition fixes every column of one of the table's indexes to a value
// known before any row is read (`column = literal`, `column = @variable`,
// ANDed with anything), only those rows are read; otherwise all of them.
// The caller still tests `where` on each row: the seek only narrows.
// `alias` is the name the statement gives the table, if any.
// Only the columns `wanted` holds are filled in (all when it is empty).
Status ReadTableRows(const Table& table, const Expr* where, std::string_view alias,
                     ExecContext& ctx, std::vector<StoredRow>& out,
                     const Store::ColumnMask& wanted = {});
// The same rows handed to `visit` one at a time, as they are read.
Status ReadTableRows(const Table& table, const Expr* where, std::string_view alias,
                     ExecContext& ctx, const Store::RowVisitor& visit,
                     const Store::ColumnMask& wanted = {});

// The rows of `table` whose columns `names` hold one of `keys`, read by
// seeking, when one of its indexes has exactly these columns (`used` says
// whether one had). A key that does not convert exactly to the columns'
// types finds nothing.
Status ReadRowsByKeys(const Table& table, const std::vector<std::string>& names,
                      const std::vector<std::vector<Scalar>>& keys, ExecContext& ctx,
                      std::vector<StoredRow>& out, bool& used,
                      const Store::ColumnMask& wanted = {});
Status ReadRowsByKeys(const Table& table, const std::vector<std::string>& names,
                      const std::vector<std::vector<Scalar>>& keys, ExecContext& ctx,
                      const Store::RowVisitor& visit, bool& used,
                      const Store::ColumnMask& wanted = {});

// `key` in the types of `columns`, for a seek: false when a value is NULL
// (which equals nothing) or does not convert exactly (no stored value can
// equal it).
bool ExactKey(const Table& table, const std::vector<int>& columns, const std::vector<Scalar>& key,
              const Collation& collation, std::vector<Value>& values);

// How many rows of `table` hold `key` in `columns`, NULLs matching NULLs,
// counting no further than `at_most`. The key is converted to the columns'
// types first; a value that does not convert exactly matches nothing.
Status CountRowsWithKey(const Table& table, const std::vector<int>& columns,
                        const std::vector<Scalar>& key, ExecContext& ctx, int64_t at_most,
                        int64_t& count);

}  // namespace server

#endif  // TAVORA_SERVER_EXEC_TABLE_ROWS_H_
