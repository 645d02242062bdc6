#ifndef TAVORA_SERVER_CATALOG_FULLTEXT_CATALOG_H_
#define TAVORA_SERVER_CATALOG_FULLTEXT_CATALOG_H_

#include <string>

namespace server {

// A full-text catalog of a database (sysfulltextcatalogs). Tables register
// in it with sp_fulltext_table; the server never populates it.
struct FullTextCatalog {
  int id = 0;
  std::string name;
  std::string path;  // root path given at creation; "" for the server default
};

}  // namespace server

#endif  // TAVORA_SERVER_CATALOG_FULLTEXT_CATALOG_H_
