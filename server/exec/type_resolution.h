#ifndef TAVORA_SERVER_EXEC_TYPE_RESOLUTION_H_
#define TAVORA_SERVER_EXEC_TYPE_RESOLUTION_H_

#include <optional>
#include <string>
#include <vector>

#include "server/catalog/database.h"
#include "server/errors.h"
#include "server/sql/ast.h"

namespace server {

struct ResolvedType {
  DataType type;
  std::optional<bool> nullable;  // a user type's (or sysname's) own nullability
  std::string user_type;         // the user type's name, "" for a system type
};

// Where a type is declared; it decides the defaults and the error texts.
struct TypeUse {
  int ordinal = 1;        // "Column or parameter #n"
  std::string column;     // the column named by error 131
  bool for_cast = false;  // CAST/CONVERT: char types default to 30, unknown types are 243
};

// Resolves a declared type: a system type with its length, precision and
// scale checked (1001, 131, 2750, 2751, 2716), or a user type of `db`
// (2715 when there is none).
Status ResolveType(const DeclaredType& declared, Database* db, const Collation& collation,
                   const TypeUse& use, ResolvedType& out);

}  // namespace server

#endif  // TAVORA_SERVER_EXEC_TYPE_RESOLUTION_H_
