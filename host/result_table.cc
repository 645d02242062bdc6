#include "host/result_table.h"

#include <utility>

#include "harness/error.h"

namespace host {

namespace {

class TableResultSet final : public harness::ComObject<harness::ResultSet> {
 public:
  explicit TableResultSet(ResultTable table) : table_(std::move(table)) {}

  int32_t RowCount() override { return static_cast<int32_t>(table_.rows.size()); }
  harness::Variant Value(int32_t row, int32_t column) override {
    if (row < 1 || row > RowCount()) harness::RaiseRuntime(harness::errors::kSubscript);
    return table_.rows[row - 1][Column(column)];
  }
  int32_t ColumnCount() override { return static_cast<int32_t>(table_.columns.size()); }
  std::u16string ColumnName(int32_t column) override { return table_.columns[Column(column)]; }

 private:
  // The index of a column position; error 9 outside the table.
  size_t Column(int32_t column) {
    if (column < 1 || column > ColumnCount()) harness::RaiseRuntime(harness::errors::kSubscript);
    return static_cast<size_t>(column - 1);
  }

  ResultTable table_;
};

}  // namespace

harness::ComPtr<harness::ResultSet> MakeResultSet(ResultTable table) {
  return harness::MakeObject<TableResultSet>(std::move(table));
}

}  // namespace host
