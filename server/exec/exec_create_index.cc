// CREATE [UNIQUE] [CLUSTERED | NONCLUSTERED] INDEX.

#include "server/exec/eval.h"
#include "server/exec/executor.h"
#include "server/exec/relation.h"

namespace server {

namespace {

// Whether two rows have equal keys; NULLs count as equal, as a unique index
// admits one NULL.
Status SameKey(const Row& a, const Row& b, const std::vector<int>& columns, const Table& table,
               const Collation& collation, bool& same) {
  same = true;
  for (int c : columns) {
    Scalar x{table.columns[c].type, a[c]}, y{table.columns[c].type, b[c]};
    if (x.is_null() || y.is_null()) {
      same = same && x.is_null() == y.is_null();
      continue;
    }
    int order = 0;
    if (Status s = CompareScalars(x, y, collation, order)) return s;
    same = same && order == 0;
  }
  return std::nullopt;
}

}  // namespace

Status ExecuteCreateIndex(const CreateIndexStmt& stmt, ExecContext& ctx) {
  const Collation& collation = ctx.collation();
  Database* db = DatabaseOf(stmt.table, ctx);
  std::optional<ObjectRef> object;
  if (db) object = db->FindObject(stmt.table.owner, stmt.table.name, collation);
  if (object && object->kind == ObjectKind::kView)
    return Raise(Msg::kNotSupported, {"Indexes on views"});
  if (!object || object->kind != ObjectKind::kTable)
    return Raise(Msg::kInvalidObjectName, {stmt.table.Text()});
  Table& table = *object->table;
  if (table.FindIndex(stmt.name, collation))
    return Raise(Msg::kIndexExists, {table.name, stmt.name});
  Index index;
  index.name = stmt.name;
  index.unique = stmt.unique;
  index.clustered = stmt.clustered;
  index.fill_factor = stmt.fill_factor;
  index.ignore_dup_key = stmt.ignore_dup_key;
  std::vector<int> positions;
  for (const std::string& name : stmt.columns) {
    int i = table.FindColumn(name, collation);
    if (i < 0) return Raise(Msg::kIndexColumnMissing, {name});
    TypeFamily family = Family(table.columns[i].type);
    if (family == TypeFamily::kText || family == TypeFamily::kImage)
      return Raise(Msg::kIndexOnText, {table.columns[i].name});
    for (int seen : positions) {
      if (seen == i) return Raise(Msg::kIndexDuplicateColumn, {table.columns[i].name});
    }
    positions.push_back(i);
    index.columns.push_back(table.columns[i].name);
  }
  if (stmt.clustered) {
    for (const Index& other : table.indexes) {
      if (other.clustered) return Raise(Msg::kSecondClusteredIndex, {table.name, other.name});
    }
  }
  index.index_id = stmt.clustered ? 1 : table.NextIndexId();
  if (stmt.unique) {
    for (size_t a = 0; a < table.rows.size(); ++a) {
      for (size_t b = a + 1; b < table.rows.size(); ++b) {
        bool same = false;
        if (Status s = SameKey(table.rows[a], table.rows[b], positions, table, collation, same))
          return s;
        if (same) {
          Scalar first{table.columns[positions[0]].type, table.rows[a][positions[0]]};
          return Raise(Msg::kDuplicateKeyOnCreateIndex,
                       {std::to_string(index.index_id), ScalarText(first)});
        }
      }
    }
  }
  table.indexes.push_back(std::move(index));
  ctx.MarkChanged();
  ctx.outcome.row_counts.push_back(-1);
  return std::nullopt;
}

}  // namespace server
