#ifndef TAVORA_SERVER_CATALOG_DATABASE_H_
#define TAVORA_SERVER_CATALOG_DATABASE_H_

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "server/catalog/bindable.h"
#include "server/catalog/fulltext_catalog.h"
#include "server/catalog/module.h"
#include "server/catalog/publication.h"
#include "server/catalog/table.h"
#include "server/catalog/user_type.h"
#include "server/types/collation.h"

namespace server {

// A permission granted on an object (sysprotects).
struct Permission {
  int object_id = 0;
  std::string privilege;             // SELECT, INSERT, UPDATE, DELETE, REFERENCES, EXECUTE
  std::vector<std::string> columns;  // empty for the whole object
  std::string grantee;
};

// An extended property (sysproperties): on a user (major_id 0), on an
// object, or on a part of a table such as a column.
struct ExtendedProperty {
  std::string user;        // level0 name
  int major_id = 0;        // the level1 object, 0 for a user's own property
  std::string minor_type;  // "" or "column", "index", "constraint", "trigger"
  std::string minor_name;
  std::string name;
  Value value;
};

// What a name in the objects' namespace (sysobjects) stands for.
enum class ObjectKind {
  kSystemTable,
  kTable,
  kView,
  kProcedure,
  kFunction,
  kTrigger,
  kDefault,
  kRule,
  kPrimaryKey,
  kUnique,
  kCheck,
  kForeignKey,
  kDefaultConstraint,
};

struct ObjectRef {
  ObjectKind kind = ObjectKind::kTable;
  int id = 0;
  std::string name;
  std::string owner;
  std::string xtype;  // sysobjects.xtype
  int parent_id = 0;
  Table* table = nullptr;  // the table itself, or the parent of a constraint or trigger
  Module* module = nullptr;
  Bindable* bindable = nullptr;
};

struct Database {
  int dbid = 0;
  std::string name;
  std::string data_file;  // physical file names, as sysdatabases.filename shows the first
  std::string log_file;
  std::string collation;
  bool system = false;
  bool publish = false;
  bool merge_publish = false;
  bool fulltext_enabled = false;
  bool distribution = false;
  int64_t dbts = 2000;  // last timestamp value handed out (@@DBTS)
  int next_object_id = 1977058079;
  int next_usertype = 257;
  int next_fulltext_catalog = 5;
  std::vector<std::string> users{"dbo", "guest"};
  std::vector<std::unique_ptr<Table>> tables;
  std::vector<Module> modules;
  std::vector<Bindable> bindables;
  std::vector<UserType> types;
  std::vector<FullTextCatalog> fulltext_catalogs;
  std::vector<Publication> publications;
  std::vector<Permission> permissions;
  std::vector<ExtendedProperty> extended_properties;

  // A fresh object id; ids are spread as SQL Server's look.
  int NewObjectId();
  bool HasUser(std::string_view user, const Collation& collation) const;

  // The object of that name in the namespace sysobjects covers (owner ""
  // means dbo), including constraints, triggers and system tables.
  std::optional<ObjectRef> FindObject(std::string_view owner, std::string_view name,
                                      const Collation& collation);
  std::optional<ObjectRef> FindObjectById(int id);
  // Every object, ordered by id.
  std::vector<ObjectRef> AllObjects();

  Table* FindTable(std::string_view owner, std::string_view name, const Collation& collation);
  UserType* FindType(std::string_view name, const Collation& collation);
  FullTextCatalog* FindFullTextCatalog(std::string_view name, const Collation& collation);
  Publication* FindPublication(std::string_view name, const Collation& collation);

  // Drops the permissions and extended properties that belong to an object.
  void ForgetObject(int id);
};

// Object ids of the system tables every database has (and master's own):
// small fixed numbers below any user object's.
inline constexpr int kSysObjectsId = 1;
inline constexpr int kSysColumnsId = 3;
inline constexpr int kSysCommentsId = 6;
inline constexpr int kSysFullTextCatalogsId = 19;
inline constexpr int kSysPropertiesId = 21;
inline constexpr int kSysDatabasesId = 30;
inline constexpr int kSysDevicesId = 34;

}  // namespace server

#endif  // TAVORA_SERVER_CATALOG_DATABASE_H_
