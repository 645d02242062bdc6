// sp_addtype name, 'physical type', ['NULL' | 'NOT NULL'], [owner]: a user
// data type of the current database.

#include "server/exec/system_procedures.h"
#include "server/exec/type_resolution.h"
#include "server/sql/parser.h"
#include "server/types/collation.h"

namespace server {

Status SpAddType(const ProcArgs& args, ExecContext& ctx) {
  Database* db = ctx.CurrentDatabase();
  if (!db) return Raise(Msg::kDatabaseNotFoundOnUse, {ctx.session.database});
  const Collation& collation = ctx.collation();
  std::string name = args.Text("@typename");
  SqlError invalid = Raise(Msg::kInvalidProcedureOption, {args.procedure()});
  if (name.empty()) return invalid;
  if (FindBaseType(name) || EqualNoCase(name, "sysname") || db->FindType(name, collation)) {
    return Raise(Msg::kTypeExists, {name});
  }
  // The physical type is a system type, with its length or precision.
  auto parsed = ParseTypeText(args.Text("@phystype"));
  if (std::holds_alternative<SqlError>(parsed)) return invalid;
  const DeclaredType& declared = std::get<DeclaredType>(parsed);
  ResolvedType resolved;
  if (ResolveType(declared, nullptr, collation, TypeUse{}, resolved) ||
      resolved.type.base == BaseType::kTimestamp) {
    return invalid;
  }
  bool nullable = resolved.nullable.value_or(true);
  if (args.Given("@nulltype")) {
    std::string null_type;
    for (char c : args.Text("@nulltype")) {
      if (c != ' ') null_type += c;
    }
    if (EqualNoCase(null_type, "NULL")) {
      nullable = true;
    } else if (EqualNoCase(null_type, "NOTNULL") || EqualNoCase(null_type, "NONULL")) {
      nullable = false;
    } else {
      return invalid;
    }
  }
  std::string owner = args.Given("@owner") ? args.Text("@owner") : "dbo";
  if (!db->HasUser(owner, collation)) return invalid;
  UserType type;
  type.usertype = db->next_usertype++;
  type.name = name;
  type.owner = owner;
  type.base = resolved.type;
  type.nullable = nullable;
  db->types.push_back(std::move(type));
  ctx.MarkChanged();
  return std::nullopt;
}

}  // namespace server
