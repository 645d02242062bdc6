#ifndef TAVORA_SERVER_CATALOG_MODULE_H_
#define TAVORA_SERVER_CATALOG_MODULE_H_

#include <string>
#include <vector>

#include "server/types/data_type.h"

namespace server {

enum class ModuleType { kView, kProcedure, kScalarFunction, kInlineFunction, kTableFunction };

struct ModuleParameter {
  std::string name;  // with @
  DataType type;
  bool has_default = false;
  std::string default_text;  // the default value as written
  bool output = false;
};

// A view, stored procedure or user-defined function: kept as the text it
// was created with. Procedure and function bodies are not checked against
// the catalog when created; views and schema-bound objects are, and a
// schema-bound object records what it binds to.
struct Module {
  int id = 0;
  std::string name;
  std::string owner = "dbo";
  ModuleType type = ModuleType::kView;
  std::string text;  // the CREATE statement, as syscomments holds it
  std::string body;  // procedures: the statements after AS
  bool encrypted = false;
  bool schema_bound = false;
  // SET ANSI_NULLS as it was when the module was created: its body runs so.
  bool ansi_nulls = true;
  // SET QUOTED_IDENTIFIER as it was: its text is always read so.
  bool quoted_identifier = true;
  std::vector<int> bound_ids;  // objects a schema-bound module references
  std::vector<ModuleParameter> parameters;
};

// The sysobjects xtype of a module ("V", "P", "FN", "IF", "TF").
const char* ModuleXtype(ModuleType type);

}  // namespace server

#endif  // TAVORA_SERVER_CATALOG_MODULE_H_
