#include "server/catalog/table.h"

namespace server {

int Table::FindColumn(std::string_view name, const Collation& collation) const {
  for (size_t i = 0; i < columns.size(); ++i) {
    if (collation.Equal(columns[i].name, name)) return static_cast<int>(i);
  }
  return -1;
}

Index* Table::FindIndex(std::string_view name, const Collation& collation) {
  for (Index& index : indexes) {
    if (collation.Equal(index.name, name)) return &index;
  }
  return nullptr;
}

const Index* Table::PrimaryKey() const {
  for (const Index& index : indexes) {
    if (index.kind == IndexKind::kPrimaryKey) return &index;
  }
  return nullptr;
}

int Table::TimestampColumn() const {
  for (size_t i = 0; i < columns.size(); ++i) {
    if (columns[i].type.base == BaseType::kTimestamp) return static_cast<int>(i);
  }
  return -1;
}

int Table::NextIndexId() const {
  // Index ids start at 2 (1 is the clustered index, 0 the heap).
  int next = 2;
  for (const Index& index : indexes) {
    if (index.index_id >= next) next = index.index_id + 1;
  }
  return next;
}

}  // namespace server
