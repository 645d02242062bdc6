#ifndef TAVORA_SERVER_EXEC_LOCKS_H_
#define TAVORA_SERVER_EXEC_LOCKS_H_

#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace server {

// Lock modes, weakest first. Shared locks go together, an update lock goes
// with shared ones but not with another update lock, and an exclusive lock
// goes with nothing.
enum class LockMode { kShared, kUpdate, kExclusive };

// How long a lock is held: to the end of the session's transaction (or of
// its batch, outside one), or to the end of the statement at that nesting
// level (1 for a batch's own statements, more inside procedures).
inline constexpr int kTransactionLock = 0;

// What each session holds and waits for, by resource name, and the waits
// that close a cycle. Resources are names the engine makes up: the store's
// writer, a database's catalog, an object of a database. It decides and
// records; waiting itself is the engine's.
class LockTable {
 public:
  // Grants `mode` on `resource` when no other session holds a mode it does
  // not go with; a lock the session holds already is raised to the
  // stronger mode and the longer duration. False, with nothing changed,
  // when another session is in the way.
  bool TryLock(int session, const std::string& resource, LockMode mode, int level);
  // The sessions whose locks keep that request from being granted.
  std::vector<int> Blockers(int session, const std::string& resource, LockMode mode) const;
  bool Holds(int session, const std::string& resource) const;

  // Opens the scope of a statement of the session and returns its level,
  // which the statement's own locks are held at.
  int EnterStatement(int session);
  // Closes that scope, releasing the locks held to its end.
  void LeaveStatement(int session, int level);
  // The level of the session's innermost statement (0 between statements).
  int Level(int session) const;
  // Releases the locks the session holds to the end of its transaction.
  void ReleaseTransaction(int session);
  // Releases everything the session holds and forgets its wait.
  void Forget(int session);

  // Records that the session waits for `mode` on `resource`, until
  // StopWaiting.
  void Wait(int session, const std::string& resource, LockMode mode);
  void StopWaiting(int session);
  // The first session in the way of the session's wait; 0 when it waits for
  // nothing.
  int BlockedBy(int session) const;
  // The sessions of a cycle of waits that `session` is part of, itself
  // first; empty when there is none.
  std::vector<int> FindCycle(int session) const;

  // Every lock held, and every request waiting, by session then resource.
  struct Listed {
    int session;
    std::string resource;
    LockMode mode;
    bool waiting;
  };
  std::vector<Listed> List() const;

 private:
  struct Held {
    LockMode mode;
    int level;
  };
  struct Request {
    std::string resource;
    LockMode mode;
  };
  void Release(int session, bool (*which)(int level, int from), int from);
  bool FindPath(int from, int target, std::set<int>& seen, std::vector<int>& path) const;

  std::map<std::string, std::map<int, Held>> holders_;
  std::map<int, std::set<std::string>> held_by_;
  std::map<int, Request> waiting_;
  std::map<int, int> levels_;
};

// The names of what is locked.
// The store's writer: one session at a time changes anything, from its
// first change to its commit or rollback.
inline std::string WriterResource() { return "store"; }
// A database's catalog: its object definitions as sysobjects and the other
// system tables show them.
inline std::string CatalogResource(int dbid) { return "catalog " + std::to_string(dbid); }
// A table's rows, or a view or procedure.
inline std::string ObjectResource(int dbid, int id) {
  return "object " + std::to_string(dbid) + "." + std::to_string(id);
}

}  // namespace server

#endif  // TAVORA_SERVER_EXEC_LOCKS_H_
