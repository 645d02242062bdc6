#ifndef TAVORA_SERVER_CATALOG_SERVER_STATE_H_
#define TAVORA_SERVER_CATALOG_SERVER_STATE_H_

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "server/catalog/database.h"
#include "server/catalog/distributor.h"
#include "server/catalog/session_options.h"
#include "server/engine.h"
#include "server/types/collation.h"

namespace server {

// Everything the server keeps: its options, logins, databases and the
// replication distributor. Sessions are not part of it.
struct ServerState {
  explicit ServerState(ServerOptions server_options)
      : options(std::move(server_options)), collation(options.case_sensitive) {}

  ServerOptions options;
  Collation collation;
  std::vector<std::string> logins{"sa", "BUILTIN\\Administrators"};
  std::vector<std::unique_ptr<Database>> databases;
  std::optional<Distributor> distributor;
  int next_dbid = 5;
  int64_t next_store_id = 1;  // names the store's table of each new user table
  uint64_t guid_seed = 0x7461766F7261ull;
  uint64_t guid_counter = 0;

  Database* FindDatabase(std::string_view name);
  // The folder of the master device's physical file: where new database
  // files go (everything before the last backslash).
  std::string DataFolder() const;
  // A new uniqueidentifier value.
  std::string NewGuid();
  // Adds a database with the server's defaults and returns it.
  Database& AddDatabase(const std::string& name, bool system);
  // Takes the temporary tables of the sessions `ended` says have ended out
  // of tempdb, and returns them (a batch that is waiting may still hold
  // one, so the caller keeps them while batches run).
  std::vector<std::unique_ptr<Table>> TakeTempTables(const std::function<bool(int)>& ended);
};

// A session's T-SQL transaction: @@TRANCOUNT, the name the outermost BEGIN
// gave (inner BEGINs only count), and the savepoints since, in order; a
// name may repeat, and the latest one counts.
struct TransactionState {
  int count = 0;
  std::string name;
  std::vector<std::string> savepoints;
};

// One connection: its login, current database and the name it reached the
// server by.
struct Cursor;

struct InsertStmt;

struct Session {
  int id = 0;
  std::string login;
  std::string database = "master";
  std::string server_name;
  // What the client said of itself at login (HOST_NAME, APP_NAME).
  std::string host_name;
  std::string program_name;
  std::string net_library;  // how it reached the server, as sysprocesses shows it
  std::chrono::system_clock::time_point login_time;
  std::chrono::system_clock::time_point last_batch;  // when its latest batch began
  int64_t rowcount = 0;                              // @@ROWCOUNT
  std::optional<int64_t> identity;                   // @@IDENTITY
  // SCOPE_IDENTITY of the session's batches, which share one outermost
  // scope; procedures, triggers and sp_executesql have their own.
  std::optional<int64_t> scope_identity;
  int last_error = 0;       // @@ERROR
  SessionOptions options;   // SET
  uint64_t rand_state = 0;  // RAND's sequence, once seeded
  bool rand_seeded = false;
  TransactionState transaction;
  // The session's cursors: its global ones, and the local ones of the
  // batches and procedures running now, each marked with its scope.
  std::vector<std::shared_ptr<Cursor>> cursors;
  int cursor_scopes = 0;                // local scopes handed out so far
  int fetch_status = -1;                // @@FETCH_STATUS
  const Cursor* last_opened = nullptr;  // for @@CURSOR_ROWS; compared, never followed
  // An INSERT BULK whose rows the session's next message brings; any other
  // batch forgets it.
  std::shared_ptr<const InsertStmt> pending_bulk;
};

// A fresh server's state: master, tempdb, model and msdb.
std::unique_ptr<ServerState> NewServerState(ServerOptions options);

}  // namespace server

#endif  // TAVORA_SERVER_CATALOG_SERVER_STATE_H_
