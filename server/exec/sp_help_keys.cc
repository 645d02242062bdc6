// sp_helpindex and sp_helpconstraint: a table's indexes, its constraints
// and the foreign keys that reference it, as sp_help shows them too.

#include <algorithm>

#include "server/exec/help_procedures.h"
#include "server/types/collation.h"

namespace server {

namespace {

using namespace sys_type;

constexpr SystemColumn kHelpIndexColumns[] = {
    {"index_name", kSysname}, {"index_description", VarChar(210)}, {"index_keys", NVarChar(2078)}};

constexpr SystemColumn kHelpObjectName[] = {{"Object Name", NVarChar(776)}};

constexpr SystemColumn kHelpConstraintColumns[] = {
    {"constraint_type", NVarChar(146)}, {"constraint_name", kSysname},
    {"delete_action", NVarChar(9)},     {"update_action", NVarChar(9)},
    {"status_enabled", VarChar(8)},     {"status_for_replication", VarChar(19)},
    {"constraint_keys", NVarChar(2078)}};

constexpr SystemColumn kHelpReferencedBy[] = {
    {"Table is referenced by foreign key", NVarChar(1533)}};

std::string JoinKeys(const std::vector<std::string>& columns) {
  std::string keys;
  for (const std::string& column : columns) keys += (keys.empty() ? "" : ", ") + column;
  return keys;
}

// "clustered, unique, primary key located on PRIMARY": the index's
// properties in the order SQL Server lists them.
std::string IndexDescription(const Index& index) {
  std::string text = index.clustered ? "clustered" : "nonclustered";
  if (index.ignore_dup_key) text += ", ignore duplicate keys";
  if (index.unique) text += ", unique";
  if (index.kind == IndexKind::kPrimaryKey) text += ", primary key";
  if (index.kind == IndexKind::kUnique) text += ", unique key";
  return text + " located on PRIMARY";
}

std::string ReplicationStatus(bool not_for_replication) {
  return not_for_replication ? "Not_For_Replication" : "Is_For_Replication";
}

// One constraint's row, with the REFERENCES line a foreign key adds.
struct ConstraintEntry {
  std::string name;
  Row row;
  std::optional<Row> references;
};

std::vector<ConstraintEntry> ConstraintEntries(const Table& table, Database& db) {
  const std::string na = "(n/a)";
  std::vector<ConstraintEntry> entries;
  for (const Index& index : table.indexes) {
    if (index.kind == IndexKind::kIndex) continue;
    std::string type = index.kind == IndexKind::kPrimaryKey ? "PRIMARY KEY" : "UNIQUE";
    type += index.clustered ? " (clustered)" : " (non-clustered)";
    entries.push_back(
        {index.name, {type, index.name, na, na, na, na, JoinKeys(index.columns)}, std::nullopt});
  }
  for (const CheckConstraint& check : table.checks) {
    std::string type =
        check.column.empty() ? "CHECK Table Level" : "CHECK on column " + check.column;
    entries.push_back({check.name,
                       {type, check.name, na, na, std::string("Enabled"),
                        ReplicationStatus(check.not_for_replication), "(" + check.text + ")"},
                       std::nullopt});
  }
  for (const Column& column : table.columns) {
    if (column.default_name.empty()) continue;
    entries.push_back({column.default_name,
                       {"DEFAULT on column " + column.name, column.default_name, na, na, na, na,
                        "(" + column.default_text + ")"},
                       std::nullopt});
  }
  for (const ForeignKey& key : table.foreign_keys) {
    const std::string blank = " ";
    Row references{blank,
                   blank,
                   blank,
                   blank,
                   blank,
                   blank,
                   "REFERENCES " + db.name + "." + key.ref_owner + "." + key.ref_table + " (" +
                       JoinKeys(key.ref_columns) + ")"};
    entries.push_back({key.name,
                       {std::string("FOREIGN KEY"), key.name, std::string("No Action"),
                        std::string("No Action"), std::string("Enabled"),
                        ReplicationStatus(key.not_for_replication), JoinKeys(key.columns)},
                       std::move(references)});
  }
  return entries;
}

const Table* HelpTable(const ProcArgs& args, ExecContext& ctx, Database*& db, Status& status) {
  db = ctx.CurrentDatabase();
  const std::string given = args.Text("@objname");
  std::optional<ObjectRef> object = db ? FindHelpObject(*db, given, ctx) : std::nullopt;
  if (!object) {
    status = Raise(Msg::kObjectNotInDatabase, {given, db ? db->name : ""});
    return nullptr;
  }
  if (object->kind != ObjectKind::kTable || !object->table) {
    if (object->kind == ObjectKind::kView || object->kind == ObjectKind::kSystemTable)
      return nullptr;
    status = Raise(Msg::kNotATable, {given});
    return nullptr;
  }
  return object->table;
}

}  // namespace

void SendIndexRows(const Table& table, ExecContext& ctx) {
  if (table.indexes.empty()) {
    HelpInform(Raise(Msg::kNoIndexes), ctx);
    return;
  }
  std::vector<const Index*> indexes;
  for (const Index& index : table.indexes) indexes.push_back(&index);
  const Collation& collation = ctx.collation();
  std::stable_sort(indexes.begin(), indexes.end(), [&](const Index* a, const Index* b) {
    return collation.Compare(a->name, b->name) < 0;
  });
  std::vector<Row> rows;
  for (const Index* index : indexes)
    rows.push_back({index->name, IndexDescription(*index), JoinKeys(index->columns)});
  SendHelpRows(kHelpIndexColumns, std::move(rows), ctx);
}

void SendConstraintRows(const Table& table, Database& db, std::string_view given, bool object_row,
                        ExecContext& ctx) {
  if (object_row) SendHelpRows(kHelpObjectName, {{std::string(given)}}, ctx);
  std::vector<ConstraintEntry> entries = ConstraintEntries(table, db);
  const Collation& collation = ctx.collation();
  std::stable_sort(entries.begin(), entries.end(),
                   [&](const ConstraintEntry& a, const ConstraintEntry& b) {
                     return collation.Compare(a.name, b.name) < 0;
                   });
  if (entries.empty()) {
    HelpInform(Raise(Msg::kNoConstraints), ctx);
  } else {
    std::vector<Row> rows;
    for (ConstraintEntry& entry : entries) {
      rows.push_back(std::move(entry.row));
      if (entry.references) rows.push_back(std::move(*entry.references));
    }
    SendHelpRows(kHelpConstraintColumns, std::move(rows), ctx);
  }
  std::vector<Row> referencing;
  for (const auto& other : db.tables) {
    for (const ForeignKey& key : other->foreign_keys) {
      if (collation.Equal(key.ref_table, table.name) && collation.Equal(key.ref_owner, table.owner))
        referencing.push_back({db.name + "." + other->owner + "." + other->name + ": " + key.name});
    }
  }
  if (referencing.empty()) {
    HelpInform(Raise(Msg::kNoReferencingKeys), ctx);
    return;
  }
  std::stable_sort(referencing.begin(), referencing.end(), [&](const Row& a, const Row& b) {
    return collation.Compare(std::get<std::string>(a[0]), std::get<std::string>(b[0])) < 0;
  });
  SendHelpRows(kHelpReferencedBy, std::move(referencing), ctx);
}

Status SpHelpIndex(const ProcArgs& args, ExecContext& ctx) {
  Database* db = nullptr;
  Status status;
  const Table* table = HelpTable(args, ctx, db, status);
  if (status) return status;
  if (!table) {
    // Views and system tables have no indexes here.
    HelpInform(Raise(Msg::kNoIndexes), ctx);
    return std::nullopt;
  }
  SendIndexRows(*table, ctx);
  return std::nullopt;
}

Status SpHelpConstraint(const ProcArgs& args, ExecContext& ctx) {
  Database* db = nullptr;
  Status status;
  const Table* table = HelpTable(args, ctx, db, status);
  if (status) return status;
  if (!table) return Raise(Msg::kNotATable, {args.Text("@objname")});
  const bool object_row = !EqualNoCase(args.Text("@nomsg"), "nomsg");
  SendConstraintRows(*table, *db, args.Text("@objname"), object_row, ctx);
  return std::nullopt;
}

}  // namespace server
