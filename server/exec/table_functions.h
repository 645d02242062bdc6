#ifndef TAVORA_SERVER_EXEC_TABLE_FUNCTIONS_H_
#define TAVORA_SERVER_EXEC_TABLE_FUNCTIONS_H_

#include <span>
#include <string_view>

#include "server/exec/relation.h"

namespace server {

// Reads `FROM [owner.]f(args)`: an inline function's query run with the
// arguments as its parameters, or a multi-statement function's body run to
// fill the table variable it returns. 208 for a name that is no
// table-valued function.
Status OpenTableFunction(const FromItem& item, ExecContext& ctx, Relation& out);

// Reads `FROM ::fn_name(args)`, one of the server's own table-valued
// functions: fn_listextendedproperty and fn_helpcollations. 208 for any
// other name.
Status OpenSystemTableFunction(const FromItem& item, ExecContext& ctx, Relation& out);

// The collations this server has, as fn_helpcollations and sp_helpsort
// describe them.
struct ServerCollation {
  std::string_view name;
  std::string_view description;
};
std::span<const ServerCollation> ServerCollations();

}  // namespace server

#endif  // TAVORA_SERVER_EXEC_TABLE_FUNCTIONS_H_
