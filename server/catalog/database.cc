#include "server/catalog/database.h"

#include <algorithm>

namespace server {

const char* ModuleXtype(ModuleType type) {
  switch (type) {
    case ModuleType::kView:
      return "V";
    case ModuleType::kProcedure:
      return "P";
    case ModuleType::kScalarFunction:
      return "FN";
    case ModuleType::kInlineFunction:
      return "IF";
    case ModuleType::kTableFunction:
      return "TF";
  }
  return "V";
}

namespace {

bool OwnerMatches(std::string_view wanted, std::string_view owner, const Collation& collation) {
  return wanted.empty() ? owner == "dbo" : collation.Equal(wanted, owner);
}

// An object as ForEachObject shows it: names are views of the catalog's own
// strings, so that a lookup copies nothing until it has found its object.
struct ObjectView {
  ObjectKind kind;
  int id;
  std::string_view name;
  std::string_view owner;
  const char* xtype;
  int parent_id;
  Table* table = nullptr;
  Module* module = nullptr;
  Bindable* bindable = nullptr;

  ObjectRef Ref() const {
    return ObjectRef{kind,  id,     std::string(name), std::string(owner), xtype, parent_id,
                     table, module, bindable};
  }
};

// Calls `visit` for every object of the database until it returns true.
template <class Visit>
void ForEachObject(Database& db, Visit&& visit) {
  struct SystemTable {
    int id;
    const char* name;
    bool master_only;
  };
  static constexpr SystemTable kSystemTables[] = {
      {kSysObjectsId, "sysobjects", false},
      {2, "sysindexes", false},
      {kSysColumnsId, "syscolumns", false},
      {4, "systypes", false},
      {kSysCommentsId, "syscomments", false},
      {9, "syspermissions", false},
      {10, "sysusers", false},
      {12, "sysdepends", false},
      {14, "sysreferences", false},
      {15, "sysprotects", false},
      {16, "sysindexkeys", false},
      {17, "sysforeignkeys", false},
      {18, "sysconstraints", false},
      {kSysFullTextCatalogsId, "sysfulltextcatalogs", false},
      {kSysPropertiesId, "sysproperties", false},
      {kSysDatabasesId, "sysdatabases", true},
      {31, "syscharsets", true},
      {kSysDevicesId, "sysdevices", true},
      {36, "syslanguages", true},
      {38, "sysconfigures", true},
      {40, "sysservers", true},
      {41, "syslogins", true},
      {96, "sysfilegroups", false},
      {97, "sysfiles", false},
  };
  for (const SystemTable& system : kSystemTables) {
    if (system.master_only && db.name != "master") continue;
    if (visit(ObjectView{ObjectKind::kSystemTable, system.id, system.name, "dbo", "S", 0})) return;
  }
  for (auto& table : db.tables) {
    Table* t = table.get();
    if (visit(ObjectView{ObjectKind::kTable, t->id, t->name, t->owner, "U", 0, t})) return;
    for (Index& index : t->indexes) {
      if (index.kind == IndexKind::kIndex) continue;
      bool primary = index.kind == IndexKind::kPrimaryKey;
      if (visit(ObjectView{primary ? ObjectKind::kPrimaryKey : ObjectKind::kUnique,
                           index.constraint_id, index.name, t->owner, primary ? "PK" : "UQ", t->id,
                           t}))
        return;
    }
    for (CheckConstraint& check : t->checks) {
      if (visit(ObjectView{ObjectKind::kCheck, check.id, check.name, t->owner, "C", t->id, t}))
        return;
    }
    for (ForeignKey& fk : t->foreign_keys) {
      if (visit(ObjectView{ObjectKind::kForeignKey, fk.id, fk.name, t->owner, "F", t->id, t}))
        return;
    }
    for (Column& column : t->columns) {
      if (column.default_name.empty()) continue;
      if (visit(ObjectView{ObjectKind::kDefaultConstraint, column.default_id, column.default_name,
                           t->owner, "D", t->id, t}))
        return;
    }
    for (Trigger& trigger : t->triggers) {
      if (visit(ObjectView{ObjectKind::kTrigger, trigger.id, trigger.name, trigger.owner, "TR",
                           t->id, t}))
        return;
    }
  }
  for (Module& module : db.modules) {
    ObjectKind kind = module.type == ModuleType::kView        ? ObjectKind::kView
                      : module.type == ModuleType::kProcedure ? ObjectKind::kProcedure
                                                              : ObjectKind::kFunction;
    if (visit(ObjectView{kind, module.id, module.name, module.owner, ModuleXtype(module.type), 0,
                         nullptr, &module}))
      return;
  }
  for (Bindable& bindable : db.bindables) {
    if (visit(ObjectView{bindable.is_rule ? ObjectKind::kRule : ObjectKind::kDefault, bindable.id,
                         bindable.name, bindable.owner, bindable.is_rule ? "R" : "D", 0, nullptr,
                         nullptr, &bindable}))
      return;
  }
}

}  // namespace

int Database::NewObjectId() {
  int id = next_object_id;
  // Step by a large odd number so ids look like SQL Server's and stay positive.
  next_object_id = static_cast<int>((static_cast<int64_t>(next_object_id) + 16000057) % 2147483647);
  if (next_object_id < 100) next_object_id += 1000;
  return id;
}

bool Database::HasUser(std::string_view user, const Collation& collation) const {
  return std::any_of(users.begin(), users.end(),
                     [&](const std::string& u) { return collation.Equal(u, user); });
}

std::optional<ObjectRef> Database::FindObject(std::string_view owner, std::string_view name,
                                              const Collation& collation) {
  std::optional<ObjectRef> found;
  ForEachObject(*this, [&](const ObjectView& object) {
    if (collation.Equal(object.name, name) && OwnerMatches(owner, object.owner, collation)) {
      found = object.Ref();
      return true;
    }
    return false;
  });
  return found;
}

std::optional<ObjectRef> Database::FindObjectById(int id) {
  std::optional<ObjectRef> found;
  ForEachObject(*this, [&](const ObjectView& object) {
    if (object.id == id) {
      found = object.Ref();
      return true;
    }
    return false;
  });
  return found;
}

std::vector<ObjectRef> Database::AllObjects() {
  std::vector<ObjectRef> all;
  ForEachObject(*this, [&](const ObjectView& object) {
    all.push_back(object.Ref());
    return false;
  });
  std::stable_sort(all.begin(), all.end(),
                   [](const ObjectRef& a, const ObjectRef& b) { return a.id < b.id; });
  return all;
}

Table* Database::FindTable(std::string_view owner, std::string_view name,
                           const Collation& collation) {
  for (auto& table : tables) {
    if (collation.Equal(table->name, name) && OwnerMatches(owner, table->owner, collation))
      return table.get();
  }
  return nullptr;
}

UserType* Database::FindType(std::string_view name, const Collation& collation) {
  for (UserType& type : types) {
    if (collation.Equal(type.name, name)) return &type;
  }
  return nullptr;
}

FullTextCatalog* Database::FindFullTextCatalog(std::string_view name, const Collation& collation) {
  for (FullTextCatalog& catalog : fulltext_catalogs) {
    if (collation.Equal(catalog.name, name)) return &catalog;
  }
  return nullptr;
}

Publication* Database::FindPublication(std::string_view name, const Collation& collation) {
  for (Publication& publication : publications) {
    if (collation.Equal(publication.name, name)) return &publication;
  }
  return nullptr;
}

void Database::ForgetObject(int id) {
  std::erase_if(permissions, [id](const Permission& p) { return p.object_id == id; });
  std::erase_if(extended_properties, [id](const ExtendedProperty& p) { return p.major_id == id; });
}

}  // namespace server
