#ifndef TAVORA_SERVER_CATALOG_DISTRIBUTOR_H_
#define TAVORA_SERVER_CATALOG_DISTRIBUTOR_H_

#include <string>
#include <vector>

#include "server/catalog/publication.h"

namespace server {

struct DistributionDatabase {
  std::string name;
  std::vector<Setting> settings;  // folders, files, sizes and retentions as given
};

struct Publisher {
  std::string name;
  std::string distribution_db;
  std::string working_directory;
};

// The server's replication distributor: installed by sp_adddistributor,
// removed by sp_dropdistributor.
struct Distributor {
  std::string name;
  std::string password;
  std::vector<DistributionDatabase> databases;
  std::vector<Publisher> publishers;
};

}  // namespace server

#endif  // TAVORA_SERVER_CATALOG_DISTRIBUTOR_H_
