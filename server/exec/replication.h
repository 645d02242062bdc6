#ifndef TAVORA_SERVER_EXEC_REPLICATION_H_
#define TAVORA_SERVER_EXEC_REPLICATION_H_

#include <string>

#include "server/exec/context.h"

namespace server {

// Whether `name` is this server: its own name or the name the session
// reached it by (ASCII case-insensitive, as server names compare).
bool IsLocalServer(const std::string& name, const ExecContext& ctx);

// Whether this server is installed as a distributor with a distribution
// database and registered there as a publisher: what publications need.
bool PublisherReady(const ExecContext& ctx);

// The update trigger SQL Server adds to a published table for an article of
// a publication that allows queued updating.
std::string SyncTriggerName(const std::string& article);
std::string SyncTriggerText(const std::string& article, const Table& table);

// Removes a publication of `db` together with the sync triggers its
// articles added.
void RemovePublication(Database& db, const std::string& name, const Collation& collation);

}  // namespace server

#endif  // TAVORA_SERVER_EXEC_REPLICATION_H_
