#ifndef TAVORA_SERVER_CATALOG_USER_TYPE_H_
#define TAVORA_SERVER_CATALOG_USER_TYPE_H_

#include <string>

#include "server/types/data_type.h"

namespace server {

// A user-defined data type made with sp_addtype: a system type with a
// length and a nullability that columns of the type take by default.
struct UserType {
  int usertype = 0;  // systypes.xusertype, from 257
  std::string name;
  std::string owner = "dbo";
  DataType base;
  bool nullable = true;
  std::string default_name;  // bound default, "" when none
  std::string rule_name;     // bound rule, "" when none
};

}  // namespace server

#endif  // TAVORA_SERVER_CATALOG_USER_TYPE_H_
