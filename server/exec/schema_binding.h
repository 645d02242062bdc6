#ifndef TAVORA_SERVER_EXEC_SCHEMA_BINDING_H_
#define TAVORA_SERVER_EXEC_SCHEMA_BINDING_H_

// Schema binding: the objects a view or function created WITH SCHEMABINDING
// holds in place. Dropping, altering or renaming what it binds is refused.

#include <string>

#include "server/catalog/database.h"
#include "server/types/collation.h"

namespace server {

// A schema-bound module that depends on the object `id`, if any.
const Module* BoundBy(const Database& db, int id);

// Whether the schema-bound `module` names `column` of `table` (any column
// when its queries select *).
bool ModuleNamesColumn(const Module& module, const Table& table, const std::string& column,
                       const Collation& collation);

}  // namespace server

#endif  // TAVORA_SERVER_EXEC_SCHEMA_BINDING_H_
