#ifndef TAVORA_SERVER_STORE_STORE_H_
#define TAVORA_SERVER_STORE_STORE_H_

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <variant>
#include <vector>

#include "server/catalog/table.h"
#include "server/errors.h"
#include "server/types/collation.h"

struct sqlite3;
struct sqlite3_stmt;

namespace server {

// Where a stored row sits in its table; rows are read back in this order,
// which is the order they were first stored in.
using RowId = int64_t;

// The server's durable store: one SQLite database holding the catalog (one
// JSON text for the server and one per database) and every user table's rows
// in a table of its own ("r" and the table's store id), with an SQLite index
// for each of the table's indexes. Values keep the engine's exact form:
// integers and bit as INTEGER, float and real as REAL, character data and
// the exact types (decimal, money, datetime, uniqueidentifier, as the
// engine's canonical text) as TEXT, binary data as BLOB. Character columns
// compare under the server collation, so an index seek finds what the
// engine's own comparison would.
//
// Uniqueness is the engine's to check (SQL Server counts NULLs as equal in a
// unique index, SQLite does not), so every SQLite index is a plain one used
// for seeks. A table's SQLite table and indexes follow its catalog entry
// lazily: each access brings them up to date, and SweepTables drops those of
// tables the catalog no longer has.
//
// Writes happen inside the transaction Begin opens; nothing is durable
// before Commit. In a file the journal is a write-ahead log with
// synchronous=NORMAL: a committed batch survives the process being killed,
// and a power cut may lose the last batches committed before it but never
// leaves a batch in part. Not thread-safe: the engine serialises calls.
class Store {
 public:
  static constexpr std::string_view kMemory = ":memory:";
  static constexpr int kVersion = 1;

  // Opens the store at `path`, creating it when it does not exist
  // (":memory:" for one that lives in memory). A file that is not such a
  // store, or one written by a newer version, is refused with a message
  // saying so; a symbolic link is never followed.
  static std::variant<std::unique_ptr<Store>, std::string> Open(const std::string& path,
                                                                Collation collation);
  ~Store();
  Store(const Store&) = delete;
  Store& operator=(const Store&) = delete;

  bool in_memory() const { return in_memory_; }
  const std::string& path() const { return path_; }

  // The transaction of one batch. Commit makes it durable; when that fails
  // the transaction is rolled back and the error says why (1105 for a full
  // disk). Savepoints nest inside it: a failed statement is rolled back to
  // the one taken before it.
  Status Begin();
  Status Commit();
  void Rollback();
  bool in_transaction() const { return in_transaction_; }
  // Whether the store failed since Begin: the batch cannot be committed.
  bool failed() const { return failed_; }
  Status Savepoint(std::string_view name);
  void Release(std::string_view name);
  // Undoes everything since savepoint `name` and releases it, unless `keep`,
  // which leaves it to roll back to again (the later ones are gone).
  void RollbackTo(std::string_view name, bool keep = false);
  // Rows written since the store was opened (rolled back ones included):
  // equal counts mean nothing was written in between.
  int64_t changes() const;

  using RowVisitor = std::function<Status(RowId, Row&)>;
  // Which of a table's columns a read fills in, by position; the others
  // are left NULL. Empty: every column. A query that names few of a wide
  // table's columns reads only those, and an index that holds them all
  // answers a seek without the table.
  using ColumnMask = std::vector<bool>;
  // Every row of `table` in stored order; `visit` may stop the scan by
  // returning an error, which Scan returns. A visitor may read the store
  // again, the same table included.
  Status Scan(const Table& table, const RowVisitor& visit, const ColumnMask& wanted = {});
  // The rows whose `columns` equal `key` (a NULL in the key matches NULL),
  // in stored order. The key must already have the columns' types.
  Status Seek(const Table& table, const std::vector<int>& columns, const std::vector<Value>& key,
              const RowVisitor& visit, const ColumnMask& wanted = {});
  // The rows stored at `ids`, in that order (each must be there).
  Status Fetch(const Table& table, const std::vector<RowId>& ids, const RowVisitor& visit,
               const ColumnMask& wanted = {});
  // How many rows `table` holds.
  Status Count(const Table& table, int64_t& count);
  // How many rows Seek would visit, counting no further than `at_most`.
  Status CountKey(const Table& table, const std::vector<int>& columns,
                  const std::vector<Value>& key, int64_t at_most, int64_t& count);
  Status Insert(const Table& table, const Row& row, RowId* id = nullptr);
  Status Update(const Table& table, RowId id, const Row& row);
  Status Delete(const Table& table, RowId id);
  // The first key (in stored order of its first row) that two rows share in
  // `columns`, NULLs counting as equal; nullopt when every key is unique.
  Status FirstDuplicate(const Table& table, const std::vector<int>& columns,
                        std::optional<Row>& key);
  // Drops the rows of every table whose store id is not in `live`.
  Status SweepTables(const std::unordered_set<int64_t>& live);

  // The catalog texts by key ("server", "database N"): Load reads them all,
  // WriteCatalog stores those that differ from what the store holds and
  // deletes the keys `texts` no longer has.
  Status LoadCatalog(std::map<std::string, std::string>& texts);
  Status WriteCatalog(const std::map<std::string, std::string>& texts);
  // Forgets what the store is believed to hold, after a rollback.
  void ForgetCachedState();

 private:
  class Statement;
  Store(sqlite3* db, std::string path, bool in_memory, Collation collation);
  // Runs one statement that returns no rows, prepared once.
  Status Run(const std::string& sql);

  // Runs SQL that writes (it takes the savepoints first).
  Status Exec(std::string_view sql);
  // Takes, in order, the savepoints asked for and not taken yet: every
  // write comes after them.
  Status TakeSavepoints();
  // Sends the transaction's BEGIN, before its first statement.
  Status StartTransaction();
  // Takes those of savepoints_[0, end) not taken yet.
  Status TakeSavepoints(size_t end);
  // Takes the savepoints a lone INSERT was written under, with its row
  // written again after them.
  Status SettleLoneInsert();
  // Deletes one row of the SQLite table `table` ("r" and its store id).
  // Deletes row `id` of SQLite table `table`; failures name it `shown`
  // (the table's own name) when given.
  Status DeleteRow(std::string_view table, RowId id, std::string_view shown = {});
  // The innermost savepoint called `name`, or savepoints_.size().
  size_t FindSavepoint(std::string_view name) const;
  // Starts sql_ with `head` and the table's SQLite name: the statements
  // run per row are looked up by their text, built without allocating.
  void StartSql(std::string_view head, const Table& table);
  // The cached prepared statement for `sql`.
  Status Prepare(const std::string& sql, sqlite3_stmt*& out);
  // The same for a read whose visitor may read again: when the cached
  // statement is in use by a read further up the stack, a new one that the
  // caller finalizes (`own`).
  Status PrepareRead(const std::string& sql, sqlite3_stmt*& out, bool& own);
  Status Failure(int code, std::string_view doing);
  // Brings the SQLite table of `table` in line with its catalog entry,
  // making it when it does not exist yet. With `exists`, for reading, a
  // missing table is not made: *exists says whether there is one.
  Status EnsureTable(const Table& table, bool* exists = nullptr);
  // Reads the rows `stmt` gives, column k+1 of it being the k-th column
  // `wanted` (or the k-th of all when it is empty).
  Status ReadRows(sqlite3_stmt* stmt, size_t width, const RowVisitor& visit,
                  const ColumnMask& wanted = {});
  // Starts sql_ with "SELECT id, <wanted columns> FROM" and the table.
  void StartSelect(const Table& table, const ColumnMask& wanted);
  // Binds a key's values to the ?N of KeyCondition.
  Status BindKey(sqlite3_stmt* stmt, const std::vector<Value>& key);

  sqlite3* db_;
  std::string path_;
  bool in_memory_;
  // Character data compares under it, in SQLite's indexes too.
  Collation collation_;
  bool in_transaction_ = false;
  // Whether SQLite's own transaction has begun: BEGIN goes with the first
  // statement the transaction runs, so a batch that changes only the
  // catalog in memory, or runs nothing on a table, costs SQLite nothing.
  bool started_ = false;
  bool failed_ = false;
  // The savepoints asked for, innermost last. One is taken in SQLite only
  // when something is written under it, so that a statement that writes
  // nothing costs none; those taken come before those not taken yet.
  struct PendingSavepoint {
    std::string name;
    bool taken = false;
  };
  std::vector<PendingSavepoint> savepoints_;
  // A row inserted as the first write under savepoints_[first, end), none
  // of them taken: see Insert.
  struct LoneInsert {
    int64_t store_id = 0;
    RowId id = 0;
    size_t first = 0;
    size_t end = 0;
  };
  std::optional<LoneInsert> lone_;
  std::string sql_;    // the text of the statement being looked up
  std::string shape_;  // the shape being checked
  std::unordered_map<std::string, sqlite3_stmt*> statements_;
  // Store id -> the shape its SQLite table was last brought to.
  std::unordered_map<int64_t, std::string> shapes_;
  // Tables known to have no SQLite table yet (nothing was ever written).
  std::unordered_set<int64_t> absent_;
  // The row tables SQLite has, once listed; kept up to date from then on.
  std::optional<std::unordered_set<int64_t>> tables_;
  // Catalog key -> the text the store holds.
  std::map<std::string, std::string> catalog_;
  bool catalog_known_ = false;
};

}  // namespace server

#endif  // TAVORA_SERVER_STORE_STORE_H_
