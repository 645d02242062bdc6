// CREATE [UNIQUE] [CLUSTERED | NONCLUSTERED] INDEX.

#include "server/exec/eval.h"
#include "server/exec/executor.h"
#include "server/exec/locking.h"
#include "server/exec/relation.h"
#include "server/exec/temp_tables.h"

namespace server {

Status ExecuteCreateIndex(const CreateIndexStmt& stmt, ExecContext& ctx) {
  if (Status s = CheckFilegroup(stmt.filegroup)) return s;
  const Collation& collation = ctx.collation();
  const ObjectName target = ResolveTempName(stmt.table, ctx);
  Database* db = DatabaseOf(target, ctx);
  std::optional<ObjectRef> object;
  if (db) object = db->FindObject(target.owner, target.name, collation);
  // The statement locked its own database's definitions; tempdb's are
  // another's.
  if (object && db != ctx.CurrentDatabase()) {
    if (Status s = LockCatalogForChanging(*db, ctx)) return s;
  }
  if (object && object->kind == ObjectKind::kView)
    return Raise(Msg::kNotSupported, {"Indexes on views"});
  if (!object || object->kind != ObjectKind::kTable)
    return Raise(Msg::kInvalidObjectName, {stmt.table.Text()});
  Table& table = *object->table;
  Index* existing = table.FindIndex(stmt.name, collation);
  if (existing && !stmt.drop_existing) return Raise(Msg::kIndexExists, {table.name, stmt.name});
  if (!existing && stmt.drop_existing)
    return Raise(Msg::kIndexMissingForDropExisting, {stmt.name, table.name});
  Index index;
  index.name = existing ? existing->name : stmt.name;
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
  if (existing && existing->kind != IndexKind::kIndex) {
    // A constraint's index is rebuilt as the constraint defines it.
    bool same = stmt.unique && existing->columns.size() == index.columns.size();
    for (size_t i = 0; same && i < index.columns.size(); ++i)
      same = collation.Equal(existing->columns[i], index.columns[i]);
    if (!same) return Raise(Msg::kDropExistingConstraintChange, {existing->name});
    index.kind = existing->kind;
    index.constraint_id = existing->constraint_id;
  }
  if (stmt.clustered) {
    for (const Index& other : table.indexes) {
      if (other.clustered && &other != existing)
        return Raise(Msg::kSecondClusteredIndex, {table.name, other.name});
    }
  }
  index.index_id = stmt.clustered                        ? 1
                   : existing && existing->index_id != 1 ? existing->index_id
                                                         : table.NextIndexId();
  if (stmt.unique) {
    std::optional<Row> duplicate;
    if (Status s = ctx.store.FirstDuplicate(table, positions, duplicate)) return s;
    if (duplicate) {
      Scalar first{table.columns[positions[0]].type, (*duplicate)[0]};
      return Raise(Msg::kDuplicateKeyOnCreateIndex,
                   {std::to_string(index.index_id), ScalarText(first)});
    }
  }
  if (existing) {
    // Rebuilt in place: its extended properties and the full-text key that
    // names it stay.
    *existing = std::move(index);
  } else {
    table.indexes.push_back(std::move(index));
  }
  ctx.MarkChanged();
  ctx.outcome.row_counts.push_back(-1);
  return std::nullopt;
}

}  // namespace server
