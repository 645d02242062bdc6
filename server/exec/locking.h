#ifndef TAVORA_SERVER_EXEC_LOCKING_H_
#define TAVORA_SERVER_EXEC_LOCKING_H_

#include <string>
#include <vector>

#include "server/exec/context.h"

namespace server {

// The locks a statement takes, on whole tables. Other sessions' uncommitted
// changes are never read (but under READ UNCOMMITTED or NOLOCK): a reader
// waits for the writer's commit. Only one session at a time has uncommitted
// changes (TransactionControl::StartChanging), so what that session reads
// is committed or its own and needs no lock but the ones its isolation
// level holds to keep others from changing it.

// Before a statement looks up names or reads the system tables of `db`:
// waits out another session's uncommitted object definitions there.
Status LockCatalogForReading(const Database& db, ExecContext& ctx);
// Reading the rows of table `id` of `db`, for as long as the session's
// isolation level and the statement's table `hints` say.
Status LockForReading(const Database& db, int id, const std::vector<std::string>& hints,
                      ExecContext& ctx);
// Changing the rows of table `id` of `db`: held until they are committed.
Status LockForChanging(const Database& db, int id, ExecContext& ctx);
// Changing object definitions of `db`: held until they are committed.
Status LockCatalogForChanging(const Database& db, ExecContext& ctx);

}  // namespace server

#endif  // TAVORA_SERVER_EXEC_LOCKING_H_
