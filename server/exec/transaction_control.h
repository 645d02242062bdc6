#ifndef TAVORA_SERVER_EXEC_TRANSACTION_CONTROL_H_
#define TAVORA_SERVER_EXEC_TRANSACTION_CONTROL_H_

#include <chrono>
#include <cstddef>
#include <string>

#include "server/errors.h"
#include "server/exec/locks.h"

namespace server {

struct Session;

// What the storage does for a session's T-SQL transaction, and the locks
// that keep sessions out of each other's uncommitted changes. The executor
// keeps @@TRANCOUNT, names and savepoint names itself and calls this only
// where data is at stake: once per outermost BEGIN and per outermost COMMIT
// or full rollback, and once per SAVE and per rollback to a savepoint. A
// call that fails with the store still sound changes nothing; one that
// finds the store failing leaves the batch to be undone whole.
class TransactionControl {
 public:
  virtual ~TransactionControl() = default;

  // Opens the session's transaction (@@TRANCOUNT goes from 0 to 1): what the
  // batch did before is committed, and every change the session makes from
  // now on, rows and catalog alike, can be undone together.
  virtual Status Begin(const Session& session) = 0;
  // Ends the transaction keeping its changes; once it returns they are
  // durable and visible to every session.
  virtual Status Commit(const Session& session) = 0;
  // Ends the transaction undoing every change since Begin, rows and catalog
  // alike (what the server holds in memory included).
  virtual Status Rollback(const Session& session) = 0;
  // Marks the point the next savepoint number stands for: the first Save
  // after Begin is savepoint 0, the next 1, and so on.
  virtual Status Save(const Session& session) = 0;
  // Undoes every change made since savepoint `savepoint` was saved. The
  // transaction stays open, that savepoint stays usable, and the ones saved
  // after it are gone (the next Save reuses the number after it).
  virtual Status RollbackTo(const Session& session, size_t savepoint) = 0;

  // Locks between sessions. A session that finds another's lock in its way
  // waits for as long as its LOCK_TIMEOUT allows (error 1222 after that),
  // unless the wait closes a cycle and it is chosen as the victim (1205);
  // where the caller cannot wait, the error comes at once.

  // Takes `mode` on `resource`, held to the end of the session's
  // transaction (kTransactionLock) or of its statement at `level`.
  virtual Status Lock(Session& session, const std::string& resource, LockMode mode, int level) = 0;
  // Makes the session the store's writer, which every statement that
  // changes something must be before it starts: one session's changes at a
  // time are uncommitted. Held until they are committed or undone.
  virtual Status StartChanging(Session& session) = 0;
  virtual bool Changing(const Session& session) const = 0;
  // The scope of one statement: the locks it takes to its own end are
  // released when it leaves.
  virtual int EnterStatement(const Session& session) = 0;
  virtual void LeaveStatement(const Session& session, int level) = 0;
  // The level of the session's innermost statement.
  virtual int StatementLevel(const Session& session) const = 0;
  // Lets the batch wait until `until` (WAITFOR), or only look whether its
  // client has cancelled it, letting other sessions run meanwhile. Fails
  // with the cancel when the client cancels or leaves.
  virtual Status Pause(Session& session, std::chrono::steady_clock::time_point until) = 0;
  // The session whose lock the session `id` is waiting for; 0 when it is
  // not waiting.
  virtual int BlockedBy(int id) const = 0;
  // What every session holds and waits for, as sp_lock shows it.
  virtual std::vector<LockTable::Listed> ListLocks() const = 0;
};

}  // namespace server

#endif  // TAVORA_SERVER_EXEC_TRANSACTION_CONTROL_H_
