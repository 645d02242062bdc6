// sp_rename: a new name for an object, a column, an index or a user type.
// Everything in the catalog that names the renamed thing (foreign keys,
// index keys, bound types, articles) follows it; module texts keep the
// old name, as SQL Server's do. A table an article publishes keeps its name
// and its columns': subscribers know them by name. A view, procedure or
// function published as its schema or its execution may be renamed; its
// articles follow it.

#include "server/exec/help_procedures.h"
#include "server/exec/schema_binding.h"
#include "server/sql/expression_text.h"
#include "server/types/collation.h"

namespace server {

namespace {

void RenameInList(std::vector<std::string>& names, const std::string& from, const std::string& to,
                  const Collation& collation) {
  for (std::string& name : names) {
    if (collation.Equal(name, from)) name = to;
  }
}

void RenameTable(Database& db, Table& table, const std::string& to, const Collation& collation) {
  for (const auto& other : db.tables) {
    for (ForeignKey& key : other->foreign_keys) {
      if (collation.Equal(key.ref_table, table.name) && collation.Equal(key.ref_owner, table.owner))
        key.ref_table = to;
    }
  }
  table.name = to;
}

// Whether an article publishes the object `owner`.`name`.
bool PublishedByArticle(Database& db, const std::string& owner, const std::string& name,
                        const Collation& collation) {
  for (const Publication& publication : db.publications) {
    for (const Article& article : publication.articles) {
      if (collation.Equal(article.source_object, name) &&
          collation.Equal(article.source_owner, owner))
        return true;
    }
  }
  return false;
}

void RenameArticleSources(Database& db, const ObjectRef& object, const std::string& to,
                          const Collation& collation) {
  for (Publication& publication : db.publications) {
    for (Article& article : publication.articles) {
      if (collation.Equal(article.source_object, object.name) &&
          collation.Equal(article.source_owner, object.owner))
        article.source_object = to;
    }
  }
}

void RenameColumn(Database& db, Table& table, Column& column, const std::string& to,
                  const Collation& collation) {
  const std::string from = column.name;
  for (Index& index : table.indexes) RenameInList(index.columns, from, to, collation);
  for (ForeignKey& key : table.foreign_keys) RenameInList(key.columns, from, to, collation);
  auto renamed = [&](const std::string& name) { return collation.Equal(name, from); };
  for (CheckConstraint& check : table.checks) {
    if (collation.Equal(check.column, from)) check.column = to;
    check.text = RenamedInExpression(check.text, to, renamed);
  }
  for (Column& other : table.columns) {
    if (other.is_computed()) other.computed = RenamedInExpression(other.computed, to, renamed);
  }
  if (table.fulltext) {
    for (FullTextColumn& text_column : table.fulltext->columns) {
      if (collation.Equal(text_column.name, from)) text_column.name = to;
    }
  }
  for (const auto& other : db.tables) {
    for (ForeignKey& key : other->foreign_keys) {
      if (collation.Equal(key.ref_table, table.name) && collation.Equal(key.ref_owner, table.owner))
        RenameInList(key.ref_columns, from, to, collation);
    }
  }
  // Extended properties belong to the column, whatever it is called.
  for (ExtendedProperty& property : db.extended_properties) {
    if (property.major_id == table.id && property.minor_type == "COLUMN" &&
        collation.Equal(property.minor_name, from)) {
      property.minor_name = to;
    }
  }
  column.name = to;
}

void RenameIndex(Table& table, Index& index, const std::string& to) {
  if (table.fulltext && table.fulltext->key_index == index.name) table.fulltext->key_index = to;
  index.name = to;
}

void RenameType(Database& db, UserType& type, const std::string& to, const Collation& collation) {
  for (const auto& table : db.tables) {
    for (Column& column : table->columns) {
      if (collation.Equal(column.user_type, type.name)) column.user_type = to;
    }
  }
  type.name = to;
}

void RenameBindable(Database& db, Bindable& bindable, const std::string& to,
                    const Collation& collation) {
  for (UserType& type : db.types) {
    std::string& bound = bindable.is_rule ? type.rule_name : type.default_name;
    if (collation.Equal(bound, bindable.name)) bound = to;
  }
  for (const auto& table : db.tables) {
    for (Column& column : table->columns) {
      std::string& bound = bindable.is_rule ? column.bound_rule : column.bound_default;
      if (collation.Equal(bound, bindable.name)) bound = to;
    }
  }
  bindable.name = to;
}

// Renames what `object` stands for; false for what cannot be renamed.
bool RenameObject(Database& db, const ObjectRef& object, const std::string& to,
                  const Collation& collation) {
  Table* table = object.table;
  switch (object.kind) {
    case ObjectKind::kTable:
      RenameTable(db, *table, to, collation);
      return true;
    case ObjectKind::kView:
    case ObjectKind::kProcedure:
    case ObjectKind::kFunction:
      RenameArticleSources(db, object, to, collation);
      object.module->name = to;
      return true;
    case ObjectKind::kDefault:
    case ObjectKind::kRule:
      RenameBindable(db, *object.bindable, to, collation);
      return true;
    case ObjectKind::kTrigger:
      for (Trigger& trigger : table->triggers) {
        if (trigger.id == object.id) trigger.name = to;
      }
      return true;
    case ObjectKind::kPrimaryKey:
    case ObjectKind::kUnique:
      // The constraint and its index share the name.
      for (Index& index : table->indexes) {
        if (index.constraint_id == object.id) RenameIndex(*table, index, to);
      }
      return true;
    case ObjectKind::kCheck:
      for (CheckConstraint& check : table->checks) {
        if (check.id == object.id) check.name = to;
      }
      return true;
    case ObjectKind::kForeignKey:
      for (ForeignKey& key : table->foreign_keys) {
        if (key.id == object.id) key.name = to;
      }
      return true;
    case ObjectKind::kDefaultConstraint:
      for (Column& column : table->columns) {
        if (column.default_id == object.id) column.default_name = to;
      }
      return true;
    default:
      return false;
  }
}

// "table.part" or "owner.table.part": the table, and the part's name.
Table* TableOfPart(Database& db, const std::string& text, std::string& part,
                   const Collation& collation) {
  ObjectName name = ParseObjectText(text);
  if (name.parts < 2 || name.parts > 3) return nullptr;
  part = name.name;
  return db.FindTable(name.database, name.owner, collation);
}

}  // namespace

Status SpRename(const ProcArgs& args, ExecContext& ctx) {
  Database* db = ctx.CurrentDatabase();
  if (!db) return Raise(Msg::kInternalError, {"no current database"});
  if (!args.Given("@objname")) return Raise(Msg::kRenameNullName, {"@objname"});
  if (!args.Given("@newname")) return Raise(Msg::kRenameNullName, {"@newname"});
  const Collation& collation = ctx.collation();
  const std::string given = args.Text("@objname");
  const std::string to = args.Text("@newname");
  std::string kind = args.Text("@objtype");
  for (char& c : kind) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));

  if (kind == "COLUMN") {
    std::string part;
    Table* table = TableOfPart(*db, given, part, collation);
    int at = table ? table->FindColumn(part, collation) : -1;
    if (at < 0) return Raise(Msg::kRenameAmbiguous, {"COLUMN"});
    const Column& column = table->columns[at];
    if (PublishedByArticle(*db, table->owner, table->name, collation))
      return Raise(Msg::kAlterColumnBecause, {column.name, "REPLICATED"});
    // Replication and merge find a row by its ROWGUIDCOL column's name.
    if (column.rowguidcol) return Raise(Msg::kAlterColumnBecause, {column.name, "ROWGUIDCOL"});
    int clash = table->FindColumn(to, collation);
    if (clash >= 0 && clash != at) return Raise(Msg::kRenameNameInUse, {to, "COLUMN"});
    for (const Module& module : db->modules) {
      if (module.schema_bound &&
          ModuleNamesColumn(module, *table, table->columns[at].name, collation))
        return Raise(Msg::kRenameSchemaBound, {given});
    }
    HelpInform(Raise(Msg::kRenameCaution), ctx);
    RenameColumn(*db, *table, table->columns[at], to, collation);
  } else if (kind == "INDEX") {
    std::string part;
    Table* table = TableOfPart(*db, given, part, collation);
    Index* index = table ? table->FindIndex(part, collation) : nullptr;
    if (!index) return Raise(Msg::kRenameAmbiguous, {"INDEX"});
    Index* clash = table->FindIndex(to, collation);
    // A constraint's index carries the constraint's name, which is an object's.
    bool object_clash =
        index->kind != IndexKind::kIndex && db->FindObject(table->owner, to, collation);
    if ((clash && clash != index) || object_clash)
      return Raise(Msg::kRenameNameInUse, {to, "INDEX"});
    HelpInform(Raise(Msg::kRenameCaution), ctx);
    RenameIndex(*table, *index, to);
  } else if (kind == "USERDATATYPE") {
    UserType* type = db->FindType(given, collation);
    if (!type) return Raise(Msg::kRenameAmbiguous, {"USERDATATYPE"});
    UserType* clash = db->FindType(to, collation);
    if ((clash && clash != type) || FindBaseType(to))
      return Raise(Msg::kRenameNameInUse, {to, "USERDATATYPE"});
    HelpInform(Raise(Msg::kRenameCaution), ctx);
    RenameType(*db, *type, to, collation);
  } else if (kind.empty() || kind == "OBJECT") {
    std::optional<ObjectRef> object = FindHelpObject(*db, given, ctx);
    if (!object || object->kind == ObjectKind::kSystemTable) {
      // Without a type, a user type's name will do.
      UserType* type = kind.empty() ? db->FindType(given, collation) : nullptr;
      if (!type) {
        return Raise(Msg::kRenameNotFound,
                     {given, db->name, kind.empty() ? "(null)" : args.Text("@objtype")});
      }
      if (db->FindType(to, collation) || FindBaseType(to))
        return Raise(Msg::kRenameNameInUse, {to, "USERDATATYPE"});
      HelpInform(Raise(Msg::kRenameCaution), ctx);
      RenameType(*db, *type, to, collation);
    } else {
      if (object->kind == ObjectKind::kTable &&
          PublishedByArticle(*db, object->owner, object->name, collation))
        return Raise(Msg::kRenamePublished);
      std::optional<ObjectRef> clash = db->FindObject(object->owner, to, collation);
      if (clash && clash->id != object->id) return Raise(Msg::kRenameNameInUse, {to, "OBJECT"});
      if (BoundBy(*db, object->id)) return Raise(Msg::kRenameSchemaBound, {given});
      HelpInform(Raise(Msg::kRenameCaution), ctx);
      RenameObject(*db, *object, to, collation);
    }
  } else {
    return Raise(Msg::kRenameUnknownType, {args.Text("@objtype")});
  }
  ctx.MarkChanged();
  return std::nullopt;
}

}  // namespace server
