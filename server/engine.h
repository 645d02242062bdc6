#ifndef TAVORA_SERVER_ENGINE_H_
#define TAVORA_SERVER_ENGINE_H_

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_set>
#include <variant>
#include <vector>

namespace server {

// A message as SQL Server sends it: native number, severity, state, text and
// the line of the batch it refers to (counted from 1). Errors have severity
// 11 and above; informational messages 10 and below.
struct SqlError {
  int number = 0;
  int severity = 0;
  int state = 1;
  std::string message;
  int line = 1;

  friend bool operator==(const SqlError&, const SqlError&) = default;
};

// One cell. Integer types and bit are int64_t, float and real double,
// character types std::string (UTF-8), binary types, image and timestamp
// bytes. decimal, numeric, money and smallmoney travel as their exact text
// ("32", "31.9900"), datetime as "2001-01-01 00:00:00.000" and
// uniqueidentifier as "11111111-1111-1111-1111-111111111111"; the column's
// type name in ResultSet::types tells them apart from character data.
using Value = std::variant<std::monostate, int64_t, double, std::string, std::vector<uint8_t>>;

// The rows of one SELECT.
struct ResultSet {
  std::vector<std::string> columns;
  // SQL type of each column as SQL Server names it ("int", "varchar(32)").
  std::vector<std::string> types;
  std::vector<std::vector<Value>> rows;
  // The statement that produced it: its position in BatchOutcome::row_counts.
  size_t statement = 0;
};

// What one batch produced.
// An error and its place in the batch: it happened before the DONE of
// statement number `statement` (the row_counts size then).
struct PlacedError {
  SqlError error;
  size_t statement = 0;
};

struct BatchOutcome {
  std::vector<ResultSet> results;   // one per SELECT, in order
  std::vector<SqlError> messages;   // informational (severity <= 10), in order
  std::vector<int64_t> row_counts;  // one per statement run (-1 when not applicable)
  std::optional<SqlError> error;    // the first error, if any
  // Every error, in order. As in SQL Server, most errors end only their
  // statement and the batch goes on; `ends_batch` tells whether the last
  // one ended the batch (a conversion error, a missing object, ...).
  std::vector<PlacedError> errors;
  bool ends_batch = false;
  bool changed = false;  // whether the catalog changed (persist after such a batch)

  // Records `error` where the batch is now.
  void AddError(SqlError error, bool ends) {
    if (!this->error) this->error = error;
    errors.push_back({std::move(error), row_counts.size()});
    ends_batch = ends;
  }
};

// One argument of a procedure call whose values come typed, as a remote
// procedure call sends them: the value in Value's forms and its type named
// as ResultSet::types names it. Never turned into T-SQL text.
struct CallArgument {
  std::string name;  // "@name"; empty when given by position
  std::string type;  // "int", "nvarchar(10)", "decimal(10,2)", ...
  Value value;
  bool output = false;
  bool is_default = false;  // the parameter's default applies
};

struct ProcedureCall {
  // The procedure as T-SQL names it: one to three parts, delimited where
  // needed ("[dbo].[p]"). sp_executesql runs its statement text.
  std::string procedure;
  std::vector<CallArgument> arguments;
  // Only the shape is asked for, as sp_prepare asks it: the call runs under
  // FMTONLY (results carry their columns and no rows, nothing changes), and
  // a prepared statement's parameters without a value are NULL.
  bool describe_only = false;
};

// An OUTPUT argument after the call: the value of the procedure's
// parameter, typed as the procedure declares it.
struct CallOutput {
  size_t argument = 0;  // position in ProcedureCall::arguments
  std::string type;
  Value value;
};

struct CallResult {
  std::optional<int64_t> status;  // the return status; none when the call failed
  std::vector<CallOutput> outputs;
};

// The rows of a bulk load message, each value in Value's forms and typed as
// the client described its column ("int", "varchar(10)", ...).
struct BulkRows {
  std::vector<std::string> types;
  std::vector<std::vector<Value>> rows;
};

// Fixed properties of the server; they are configuration, not catalog
// content, so they come from the caller each time a server is made or loaded.
struct ServerOptions {
  std::string name = "TAVORA";
  // Identifier and data comparisons: SQL_Latin1_General_CP1_CI_AS when false,
  // SQL_Latin1_General_CP1_CS_AS when true.
  bool case_sensitive = false;
  bool full_text_installed = true;
  std::string master_phyname = "C:\\Program Files\\Microsoft SQL Server\\MSSQL\\Data\\master.mdf";
  std::string sa_password;
};

// The names a client gives of itself when it logs in.
struct ClientNames {
  std::string host_name;
  std::string app_name;
};

struct ServerState;
struct Session;
struct ExecContext;
class Store;
class LockTable;
enum class LockMode;

// How a batch waits for another session's lock. Called with the caller's
// own lock on the engine held; it releases that lock while it waits, and
// returns when woken, at `until`, or sooner; false when the batch is to stop
// waiting because its client cancelled it or left.
using LockWait = std::function<bool(std::chrono::steady_clock::time_point until)>;

// The in-process SQL Server 2000 stand-in: a catalog, the sessions connected
// to it, and a T-SQL front end for the statements the datasets send and the
// queries people run. Rows and the catalog live in a store (an SQLite
// database in a file, or in memory); each batch is one transaction of it, so
// a batch's changes are durable when Execute returns, or none of them are.
// Not thread-safe: callers serialise every call under one lock, which a
// batch that waits for another session's lock releases (see LockWait).
class Engine {
 public:
  // A fresh server in memory, holding master, model, msdb and tempdb.
  explicit Engine(ServerOptions options);
  ~Engine();
  Engine(const Engine&) = delete;
  Engine& operator=(const Engine&) = delete;

  // The server kept in the store file at `path`, made fresh (and written)
  // when the file does not exist yet. A file that is not a store, holds a
  // catalog that cannot be read, or was written by a newer version gives a
  // message saying so; the file is left as it is.
  static std::variant<std::unique_ptr<Engine>, std::string> Open(const std::string& path,
                                                                 ServerOptions options);
  // A server made from Save's text, kept in the store at `path` (":memory:"
  // for memory), which must not hold a server yet. A text that is not such a
  // state, or holds inconsistent content, gives a message saying what is
  // wrong; it never crashes.
  static std::variant<std::unique_ptr<Engine>, std::string> Import(const std::string& path,
                                                                   std::string_view text,
                                                                   ServerOptions options);
  // Import into memory.
  static std::variant<std::unique_ptr<Engine>, std::string> Load(std::string_view text,
                                                                 ServerOptions options);

  // Logs in. Trusted logins are accepted under any user name; "sa" needs the
  // configured password; anything else fails with error 18456 "Login failed
  // for user 'x'.". `server_name` is the name the client reached the server
  // by: the session's replication statements accept it as well as the
  // server's own name. The session starts in master.
  //
  // `client` is the host and application names the client gave; a caller
  // in this process gives none, and counts as a client on the server's own
  // machine.
  std::variant<int, SqlError> Login(const std::string& user, const std::string& password,
                                    bool trusted, const std::string& server_name,
                                    const std::optional<ClientNames>& client = std::nullopt);
  // Ends a session; an unknown id is ignored. A session that is not logged
  // out keeps its current database in use (DROP DATABASE then fails). A
  // transaction it left open is rolled back, and its locks are released. A
  // session whose batch is waiting for a lock (on another thread) stops
  // waiting, and is logged out when that batch ends.
  void Logout(int session);

  // Called whenever a session releases locks, so that batches waiting in
  // LockWait try again.
  void OnLocksReleased(std::function<void()> wake);

  // Runs ONE batch (the caller splits on GO) on the session's connection.
  // Sessions lock whole tables, as SQL Server 2000 locks rows: a statement
  // waits for the locks of other sessions' uncommitted changes through
  // `wait`, for as long as the session's LOCK_TIMEOUT allows, and without
  // `wait` fails with error 1222 at once; one that would wait for a session
  // waiting for it is a deadlock, and one of them gets error 1205. A
  // syntax error or a misplaced CREATE VIEW/PROCEDURE/... stops the batch
  // before any statement runs; otherwise statements run in order until the
  // first error, whose own changes are undone. What the batch changed is
  // then committed, unless it belongs to a transaction still open (BEGIN
  // TRAN ... COMMIT may span batches); when committing fails (a full disk)
  // nothing of the batch since its last commit remains, an open transaction
  // is rolled back, and the error says so. The session keeps its current
  // database (USE) afterwards. An unknown session gets error 18456.
  BatchOutcome Execute(int session, std::string_view batch, const LockWait& wait = {});

  // Runs one procedure call with typed arguments as Execute runs a batch
  // of one EXEC: a user procedure, a system one or sp_executesql, each
  // argument converted to its parameter's type as SQL Server converts
  // (8114 when it cannot be). `result` gets the return status and the
  // OUTPUT arguments' values unless the call failed.
  BatchOutcome Call(int session, const ProcedureCall& call, CallResult& result,
                    const LockWait& wait = {});

  // Stores the rows a session's INSERT BULK announced, as one batch whose
  // row count is the rows stored. Without such an announcement just
  // before, or with `malformed` (why the client's stream could not be
  // read), the load is refused and the announcement is gone.
  BatchOutcome BulkLoad(int session, const BulkRows& rows, const LockWait& wait = {},
                        const std::string& malformed = {});

  // The session's current database ("" for an unknown session).
  std::string CurrentDatabase(int session) const;

  // The whole server as one JSON text, rows included, sessions excluded.
  std::string Save() const;

  const ServerOptions& options() const;
  // Where the store is (":memory:" in memory).
  const std::string& store_path() const;

 private:
  class StoreTransactions;

  // A batch under way, which may be waiting for a lock.
  struct Running {
    BatchOutcome* outcome = nullptr;
    const LockWait* wait = nullptr;
    // How much of the batch came before the session's transaction began in
    // it (none when it began in an earlier batch).
    size_t before_transaction_results = 0;
    size_t before_transaction_counts = 0;
    bool victim = false;     // chosen as a deadlock's victim while it waited
    bool departing = false;  // logged out while it ran
  };

  Engine(std::unique_ptr<ServerState> state, std::unique_ptr<Store> store);
  // Execute and Call: `body` runs on the session as one batch, which then
  // commits, or is undone, as the batch's outcome says.
  BatchOutcome Run(int session, const LockWait& wait,
                   const std::function<std::optional<SqlError>(ExecContext&)>& body);
  Session* FindSession(int id) const;
  // Commits what the batch changed, keeps it for the session's open
  // transaction, or undoes it and says why.
  void Finish(Session& session, BatchOutcome& outcome);
  // Undoes everything the session changed since its last commit, its
  // transaction included, and reports `error` in place of what was undone.
  void Undo(Session& session, BatchOutcome& outcome, SqlError error);
  // Commits what the writer's store transaction holds, with the catalog as
  // it is now; the writer then holds nothing until it changes more.
  std::optional<SqlError> Checkpoint();
  // The store's side of StoreTransactions::StartChanging.
  std::optional<SqlError> BecomeWriter(Session& session);
  // Releases what the session holds to the end of its transaction (the
  // writer's role included, once its changes are committed or undone).
  void EndTransactionLocks(int session);
  std::optional<SqlError> Lock(Session& session, const std::string& resource, LockMode mode,
                               int level);
  // The one of a cycle of waiting sessions whose batch fails with 1205.
  int ChooseVictim(const std::vector<int>& cycle, int requester) const;
  void Wake() const;
  void LogoutNow(int session);
  // The catalog as the store holds it, in place of the one in memory. The
  // replaced objects live until no batch runs (retired_).
  std::optional<SqlError> ReloadCatalog();
  // The store ids of the tables the catalog has.
  std::unordered_set<int64_t> LiveTables() const;
  // What a store that failed earlier in the batch answers from then on.
  SqlError EarlierFailure() const;

  std::unique_ptr<ServerState> state_;
  std::unique_ptr<Store> store_;
  std::unique_ptr<StoreTransactions> transactions_;
  std::vector<std::unique_ptr<Session>> sessions_;
  int next_session_ = 51;
  std::unique_ptr<LockTable> locks_;
  std::map<int, Running> running_;
  std::function<void()> wake_;
  // The session whose changes the store's transaction holds (0: none; the
  // store then has no transaction open).
  int writer_ = 0;
  // Whether the store's catalog texts are the catalog as of the last
  // commit. In memory the catalog is written only where a transaction may
  // need it back, so a batch that changes it outside one makes this false.
  bool catalog_in_store_ = true;
  // How much of the writer's batch was committed when it started changing
  // or last committed: what a failure withdraws is what came after.
  size_t committed_results_ = 0;
  size_t committed_counts_ = 0;
  // Catalogs replaced by a rollback, kept while any batch runs: a batch
  // that waits, or the statement that rolled back, may still refer to them.
  std::vector<std::unique_ptr<ServerState>> retired_;
};

}  // namespace server

#endif  // TAVORA_SERVER_ENGINE_H_
