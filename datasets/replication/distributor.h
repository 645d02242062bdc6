#ifndef TAVORA_DATASETS_REPLICATION_DISTRIBUTOR_H_
#define TAVORA_DATASETS_REPLICATION_DISTRIBUTOR_H_

#include <string>
#include <string_view>

#include "harness/session.h"

namespace tavora::replication {

// Makes `server` its own distributor (database "distribution", files in the
// server's data folder) and publisher, dropping any distributor there was.
// Fails with the first failing statement or query, or when the data folder
// cannot be found.
void SetUpDistributor(harness::SqlSession& session, const std::u16string& server);

// The folder of the master database's physical file: everything before the
// last backslash. A name without one fails with error 5 naming the file.
std::u16string DataFolder(std::u16string_view master_file);

// "EXEC sp_replicationdboption  @dbname='db', @optname='option',
// @value='true'" (or 'false'), in the server form.
std::u16string PublishingStatement(std::u16string_view database, std::u16string_view option,
                                   bool on);

}  // namespace tavora::replication

#endif  // TAVORA_DATASETS_REPLICATION_DISTRIBUTOR_H_
