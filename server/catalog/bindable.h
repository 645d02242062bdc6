#ifndef TAVORA_SERVER_CATALOG_BINDABLE_H_
#define TAVORA_SERVER_CATALOG_BINDABLE_H_

#include <string>

namespace server {

// A default or a rule made with CREATE DEFAULT / CREATE RULE: a stand-alone
// object that sp_bindefault / sp_bindrule could attach to columns and user
// types.
struct Bindable {
  int id = 0;
  std::string name;
  std::string owner = "dbo";
  bool is_rule = false;
  std::string text;        // the CREATE statement, as syscomments holds it
  std::string expression;  // the value or condition after AS
};

}  // namespace server

#endif  // TAVORA_SERVER_CATALOG_BINDABLE_H_
