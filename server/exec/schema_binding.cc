#include "server/exec/schema_binding.h"

#include <algorithm>
#include <variant>
#include <vector>

#include "server/exec/relation.h"
#include "server/sql/parser.h"

namespace server {

const Module* BoundBy(const Database& db, int id) {
  for (const Module& module : db.modules) {
    if (std::find(module.bound_ids.begin(), module.bound_ids.end(), id) != module.bound_ids.end())
      return &module;
  }
  return nullptr;
}

bool ModuleNamesColumn(const Module& module, const Table& table, const std::string& column,
                       const Collation& collation) {
  if (std::find(module.bound_ids.begin(), module.bound_ids.end(), table.id) ==
      module.bound_ids.end())
    return false;
  auto parsed = ParseBody(module.text, module.quoted_identifier);
  if (!std::holds_alternative<Batch>(parsed)) return true;
  const Batch& batch = std::get<Batch>(parsed);
  const auto* create =
      batch.statements.empty() ? nullptr : std::get_if<CreateModuleStmt>(&batch.statements[0].node);
  if (!create) return true;
  std::vector<const SelectStmt*> selects;
  if (create->select) selects.push_back(create->select.get());
  for (const auto& select : create->body_selects) selects.push_back(select.get());
  for (const SelectStmt* select : selects) {
    NamedColumns named = ColumnsNamedBy(*select, collation);
    if (named.all || named.Names(table.name, column, collation)) return true;
    // Qualified by an alias: any qualifier will do.
    std::string suffix = "." + collation.Key(column);
    for (const std::string& name : named.qualified) {
      if (name.size() > suffix.size() && name.ends_with(suffix)) return true;
    }
  }
  return false;
}

}  // namespace server
