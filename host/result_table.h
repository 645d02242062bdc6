#ifndef TAVORA_HOST_RESULT_TABLE_H_
#define TAVORA_HOST_RESULT_TABLE_H_

#include <string>
#include <vector>

#include "harness/session.h"

namespace host {

// Column names and one row of values per record: a query result as every
// session back end hands it over.
struct ResultTable {
  std::vector<std::u16string> columns;
  std::vector<std::vector<harness::Variant>> rows;  // each as wide as `columns`
};

// The contract's result set over `table`. Positions count from 1; a row or
// column outside the table is error 9.
harness::ComPtr<harness::ResultSet> MakeResultSet(ResultTable table);

}  // namespace host

#endif  // TAVORA_HOST_RESULT_TABLE_H_
