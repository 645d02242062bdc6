// DROP TABLE, VIEW, PROCEDURE, FUNCTION, TRIGGER, DEFAULT, RULE and INDEX.

#include <algorithm>

#include "server/exec/executor.h"
#include "server/exec/locking.h"
#include "server/exec/relation.h"
#include "server/exec/schema_binding.h"
#include "server/exec/system_procedures.h"
#include "server/exec/temp_tables.h"

namespace server {

namespace {

struct DropWord {
  DropKind kind;
  ObjectKind object;
  const char* word;  // the %S_MSG word of error 3701
};

constexpr DropWord kWords[] = {
    {DropKind::kTable, ObjectKind::kTable, "table"},
    {DropKind::kView, ObjectKind::kView, "view"},
    {DropKind::kProcedure, ObjectKind::kProcedure, "procedure"},
    {DropKind::kFunction, ObjectKind::kFunction, "function"},
    {DropKind::kTrigger, ObjectKind::kTrigger, "trigger"},
    {DropKind::kDefault, ObjectKind::kDefault, "default"},
    {DropKind::kRule, ObjectKind::kRule, "rule"},
    {DropKind::kIndex, ObjectKind::kTable, "index"},
};

const DropWord& WordFor(DropKind kind) {
  for (const DropWord& word : kWords) {
    if (word.kind == kind) return word;
  }
  return kWords[0];
}

Status DropIndex(const ObjectName& name, ExecContext& ctx) {
  // DROP INDEX [owner.]table.index
  Database* db = ctx.CurrentDatabase();
  std::string table_owner = name.parts >= 3 ? name.database : "";
  std::string table_name = name.owner;
  if (IsTempName(table_name)) {
    ObjectName temp;
    temp.name = table_name;
    temp = ResolveTempName(temp, ctx);
    db = ctx.server.FindDatabase(temp.database);
    table_name = temp.name;
    if (db) {
      if (Status s = LockCatalogForChanging(*db, ctx)) return s;
    }
  }
  Table* table = db ? db->FindTable(table_owner, table_name, ctx.collation()) : nullptr;
  Index* index = table ? table->FindIndex(name.name, ctx.collation()) : nullptr;
  if (!index) return Raise(Msg::kCannotDrop, {"drop", "index", name.owner + "." + name.name});
  if (index->kind != IndexKind::kIndex) {
    return Raise(
        Msg::kIndexForConstraint,
        {index->name, index->kind == IndexKind::kPrimaryKey ? "PRIMARY KEY" : "UNIQUE KEY"});
  }
  if (table->fulltext && ctx.collation().Equal(table->fulltext->key_index, index->name)) {
    return Raise(Msg::kNotSupported, {"Dropping the key index of a full-text index"});
  }
  std::erase_if(table->indexes, [index](const Index& i) { return &i == index; });
  return std::nullopt;
}

Status DropTable(Database& db, Table& table, const ObjectName& name, ExecContext& ctx) {
  const Collation& collation = ctx.collation();
  for (const Publication& publication : db.publications) {
    for (const Article& article : publication.articles) {
      if (collation.Equal(article.source_object, table.name))
        return Raise(Msg::kDatabaseReplicated, {"drop", "table", table.name});
    }
  }
  for (const auto& other : db.tables) {
    if (other.get() == &table) continue;
    for (const ForeignKey& fk : other->foreign_keys) {
      if (collation.Equal(fk.ref_table, table.name) && collation.Equal(fk.ref_owner, table.owner)) {
        return Raise(Msg::kReferencedByForeignKey, {table.name});
      }
    }
  }
  if (const Module* module = BoundBy(db, table.id)) {
    return Raise(Msg::kReferencedBySchemaBound, {"DROP TABLE", name.Text(), module->name});
  }
  db.ForgetObject(table.id);
  for (const Index& index : table.indexes) db.ForgetObject(index.constraint_id);
  for (const CheckConstraint& check : table.checks) db.ForgetObject(check.id);
  for (const ForeignKey& fk : table.foreign_keys) db.ForgetObject(fk.id);
  for (const Trigger& trigger : table.triggers) db.ForgetObject(trigger.id);
  std::erase_if(db.tables, [&table](const std::unique_ptr<Table>& t) { return t.get() == &table; });
  return std::nullopt;
}

}  // namespace

Status ExecuteDropObject(const DropObjectStmt& stmt, ExecContext& ctx) {
  for (const ObjectName& name : stmt.names) {
    if (stmt.kind == DropKind::kIndex) {
      if (Status s = DropIndex(name, ctx)) return s;
      ctx.MarkChanged();
      continue;
    }
    const DropWord& word = WordFor(stmt.kind);
    const ObjectName target = ResolveTempName(name, ctx);
    Database* db = DatabaseOf(target, ctx);
    std::optional<ObjectRef> object;
    if (db) object = db->FindObject(target.owner, target.name, ctx.collation());
    if (!object || object->kind != word.object)
      return Raise(Msg::kCannotDrop, {"drop", word.word, name.Text()});
    // The statement locked its own database's definitions; tempdb's are
    // another's.
    if (db != ctx.CurrentDatabase()) {
      if (Status s = LockCatalogForChanging(*db, ctx)) return s;
    }
    switch (object->kind) {
      case ObjectKind::kTable:
        if (Status s = DropTable(*db, *object->table, name, ctx)) return s;
        break;
      case ObjectKind::kView:
      case ObjectKind::kProcedure:
      case ObjectKind::kFunction: {
        if (const Module* module = BoundBy(*db, object->id)) {
          std::string verb =
              std::string("DROP ") + (object->kind == ObjectKind::kView ? "VIEW" : "FUNCTION");
          return Raise(Msg::kReferencedBySchemaBound, {verb, name.Text(), module->name});
        }
        int id = object->id;
        db->ForgetObject(id);
        std::erase_if(db->modules, [id](const Module& m) { return m.id == id; });
        break;
      }
      case ObjectKind::kTrigger: {
        int id = object->id;
        db->ForgetObject(id);
        std::erase_if(object->table->triggers, [id](const Trigger& t) { return t.id == id; });
        break;
      }
      default: {
        // A default or rule stays while anything is bound to it.
        if (const char* bound = BoundTo(*db, *object->bindable, ctx.collation()))
          return Raise(Msg::kBoundObjectInUse, {word.word, object->name, bound});
        int id = object->id;
        std::string dropped = object->name;
        db->ForgetObject(id);
        std::erase_if(db->bindables, [id](const Bindable& b) { return b.id == id; });
        for (UserType& type : db->types) {
          if (type.default_name == dropped) type.default_name.clear();
          if (type.rule_name == dropped) type.rule_name.clear();
        }
        break;
      }
    }
    ctx.MarkChanged();
  }
  ctx.outcome.row_counts.push_back(-1);
  return std::nullopt;
}

}  // namespace server
