#ifndef TAVORA_SERVER_CATALOG_PUBLICATION_H_
#define TAVORA_SERVER_CATALOG_PUBLICATION_H_

#include <string>
#include <vector>

#include "server/engine.h"

namespace server {

// A system procedure argument kept as given (name with @, value), so that
// publications, articles and distribution databases keep every option
// their creator set.
struct Setting {
  std::string name;
  Value value;
};

struct Article {
  int id = 0;
  std::string name;
  std::string source_owner = "dbo";
  std::string source_object;
  std::string type;  // "logbased", "table", "view schema only", ...
  std::vector<Setting> settings;
};

enum class PublicationKind { kTransactional, kSnapshot, kMerge };

struct Publication {
  int id = 0;
  std::string name;
  PublicationKind kind = PublicationKind::kTransactional;
  bool allow_queued_tran = false;
  std::vector<Setting> settings;
  std::vector<Article> articles;
};

}  // namespace server

#endif  // TAVORA_SERVER_CATALOG_PUBLICATION_H_
