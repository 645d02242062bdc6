#ifndef TAVORA_SERVER_EXEC_TRANSACTIONS_H_
#define TAVORA_SERVER_EXEC_TRANSACTIONS_H_

#include <string>

#include "server/exec/context.h"
#include "server/sql/ast.h"

namespace server {

// A session's transaction as SQL Server 2000 keeps it. The session holds
// @@TRANCOUNT and the names; the storage (ctx.transactions) is called only
// where data is at stake, and a failed call leaves the session as it was.

// BEGIN TRAN: one level more; the outermost level begins the storage's
// transaction and keeps `name`.
Status OpenTransaction(const std::string& name, ExecContext& ctx);

// Undoes the whole transaction and leaves @@TRANCOUNT at 0.
Status RollbackTransaction(ExecContext& ctx);

// COMMIT: one level less; the outermost level commits the storage's
// transaction. Without a transaction, error 3902.
Status CommitTransaction(ExecContext& ctx);

// What SET IMPLICIT_TRANSACTIONS ON does before `statement` runs: with no
// transaction open, the statements SQL Server 2000 lists (ALTER TABLE,
// CREATE, DELETE, DROP, FETCH, GRANT, INSERT, OPEN, REVOKE, SELECT from a
// table, TRUNCATE TABLE, UPDATE) begin one first. Then CREATE and DROP
// DATABASE, which a transaction cannot hold, fail with 226.
Status PrepareTransaction(const Statement& statement, ExecContext& ctx);

// Whether `error` ends the batch rather than only its statement, as in SQL
// Server 2000: the errors that end a transaction (below), a missing object
// or column (found as the statement is compiled), too deep a nesting, the
// server's own failures and refusals (50000), a transaction ended in a
// trigger, and severity 17 and above (resources, such as a full disk).
bool EndsBatch(const SqlError& error, const SessionOptions& options);

// After the batch failed with `error`: the errors that end a transaction in
// SQL Server 2000 roll it back here too. Under XACT_ABORT ON that is every
// run-time error (severity 11 and above but 15, which marks the errors SQL
// Server finds while compiling); otherwise a deadlock (1205), a conversion
// error, and under ARITHABORT ON an overflow or a division by zero, which
// abort the batch there.
void EndTransactionAfterError(const SqlError& error, ExecContext& ctx);

}  // namespace server

#endif  // TAVORA_SERVER_EXEC_TRANSACTIONS_H_
