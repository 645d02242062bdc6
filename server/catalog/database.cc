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

bool OwnerMatches(std::string_view wanted, const std::string& owner, const Collation& collation) {
  return wanted.empty() ? owner == "dbo" : collation.Equal(wanted, owner);
}

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
      {kSysColumnsId, "syscolumns", false},
      {kSysCommentsId, "syscomments", false},
      {kSysFullTextCatalogsId, "sysfulltextcatalogs", false},
      {kSysPropertiesId, "sysproperties", false},
      {kSysDatabasesId, "sysdatabases", true},
      {kSysDevicesId, "sysdevices", true},
  };
  for (const SystemTable& system : kSystemTables) {
    if (system.master_only && db.name != "master") continue;
    ObjectRef ref{ObjectKind::kSystemTable, system.id, system.name, "dbo", "S", 0};
    if (visit(ref)) return;
  }
  for (auto& table : db.tables) {
    ObjectRef ref{ObjectKind::kTable, table->id, table->name, table->owner, "U", 0, table.get()};
    if (visit(ref)) return;
    for (Index& index : table->indexes) {
      if (index.kind == IndexKind::kIndex) continue;
      ObjectRef c{
          index.kind == IndexKind::kPrimaryKey ? ObjectKind::kPrimaryKey : ObjectKind::kUnique,
          index.constraint_id,
          index.name,
          table->owner,
          index.kind == IndexKind::kPrimaryKey ? "PK" : "UQ",
          table->id,
          table.get()};
      if (visit(c)) return;
    }
    for (CheckConstraint& check : table->checks) {
      ObjectRef c{ObjectKind::kCheck, check.id,   check.name, table->owner, "C",
                  table->id,          table.get()};
      if (visit(c)) return;
    }
    for (ForeignKey& fk : table->foreign_keys) {
      ObjectRef c{
          ObjectKind::kForeignKey, fk.id, fk.name, table->owner, "F", table->id, table.get()};
      if (visit(c)) return;
    }
    for (Column& column : table->columns) {
      if (column.default_name.empty()) continue;
      ObjectRef c{ObjectKind::kDefaultConstraint,
                  column.default_id,
                  column.default_name,
                  table->owner,
                  "D",
                  table->id,
                  table.get()};
      if (visit(c)) return;
    }
    for (Trigger& trigger : table->triggers) {
      ObjectRef c{ObjectKind::kTrigger, trigger.id, trigger.name, trigger.owner, "TR", table->id,
                  table.get()};
      if (visit(c)) return;
    }
  }
  for (Module& module : db.modules) {
    ObjectKind kind = module.type == ModuleType::kView        ? ObjectKind::kView
                      : module.type == ModuleType::kProcedure ? ObjectKind::kProcedure
                                                              : ObjectKind::kFunction;
    ObjectRef ref{kind, module.id, module.name, module.owner, ModuleXtype(module.type), 0};
    ref.module = &module;
    if (visit(ref)) return;
  }
  for (Bindable& bindable : db.bindables) {
    ObjectRef ref{bindable.is_rule ? ObjectKind::kRule : ObjectKind::kDefault,
                  bindable.id,
                  bindable.name,
                  bindable.owner,
                  bindable.is_rule ? "R" : "D",
                  0};
    ref.bindable = &bindable;
    if (visit(ref)) return;
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
  ForEachObject(*this, [&](ObjectRef& ref) {
    if (collation.Equal(ref.name, name) && OwnerMatches(owner, ref.owner, collation)) {
      found = ref;
      return true;
    }
    return false;
  });
  return found;
}

std::optional<ObjectRef> Database::FindObjectById(int id) {
  std::optional<ObjectRef> found;
  ForEachObject(*this, [&](ObjectRef& ref) {
    if (ref.id == id) {
      found = ref;
      return true;
    }
    return false;
  });
  return found;
}

std::vector<ObjectRef> Database::AllObjects() {
  std::vector<ObjectRef> all;
  ForEachObject(*this, [&](ObjectRef& ref) {
    all.push_back(ref);
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
