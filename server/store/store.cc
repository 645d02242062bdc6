#include "server/store/store.h"

#include <sqlite3.h>

#include <charconv>
#include <cstring>
#include <limits>

#include "server/types/data_type.h"

namespace server {

namespace {

constexpr char kFormat[] = "tavora-store";
constexpr char kCollationName[] = "tavora";
// Which order of character data the store's indexes were built in; a store
// built in an older one has its indexes rebuilt when it is opened.
constexpr int64_t kCollationOrder = 2;

int CompareText(void* collation, int a_size, const void* a, int b_size, const void* b) {
  return static_cast<const Collation*>(collation)->Compare(
      std::string_view(static_cast<const char*>(a), static_cast<size_t>(a_size)),
      std::string_view(static_cast<const char*>(b), static_cast<size_t>(b_size)));
}

std::string TableName(const Table& table) { return "r" + std::to_string(table.store_id); }

template <typename Number>
void AppendNumber(std::string& out, Number number) {
  char digits[24];
  auto [end, error] = std::to_chars(digits, digits + sizeof digits, number);
  out.append(digits, end);
}

std::string ColumnName(size_t c) { return "c" + std::to_string(c); }

// Character data compares under the server collation; everything else as
// SQLite compares it, which for the engine's canonical forms is equality.
bool Collated(const Column& column) {
  TypeFamily family = Family(column.type);
  return family == TypeFamily::kCharacter || family == TypeFamily::kText;
}

std::string ColumnDefinition(const Table& table, size_t c) {
  // No declared type: the column keeps each value's own storage class.
  std::string text = ColumnName(c);
  if (Collated(table.columns[c])) text += std::string(" COLLATE ") + kCollationName;
  return text;
}

std::string IndexName(const Table& table, const Index& index) {
  return TableName(table) + "_x" + std::to_string(index.index_id);
}

std::string IndexSql(const Table& table, const Index& index, const Collation& collation) {
  std::string sql = "CREATE INDEX " + IndexName(table, index) + " ON " + TableName(table) + " (";
  bool first = true;
  for (const std::string& name : index.columns) {
    int c = table.FindColumn(name, collation);
    if (c < 0) return "";
    sql += (first ? "" : ", ") + ColumnName(static_cast<size_t>(c));
    first = false;
  }
  return sql + ")";
}

// What the SQLite table of `table` must look like: its width, which columns
// are collated, and each index's id and column positions (what IndexSql
// writes), into `out`. It is worked out on every access, so it builds no SQL.
void WriteShape(const Table& table, const Collation& collation, std::string& out) {
  // Sized for the longest it can be and written through a pointer: this
  // runs for every row read or written.
  constexpr size_t kNumber = 24;
  size_t longest = kNumber + 1 + table.columns.size();
  for (const Index& index : table.indexes)
    longest += 1 + kNumber + index.columns.size() * (1 + kNumber);
  out.resize(longest);
  char* at = out.data();
  char* const end = at + longest;
  at = std::to_chars(at, end, table.columns.size()).ptr;
  *at++ = ':';
  for (const Column& column : table.columns) *at++ = Collated(column) ? 'c' : '-';
  for (const Index& index : table.indexes) {
    *at++ = ';';
    at = std::to_chars(at, end, index.index_id).ptr;
    for (const std::string& name : index.columns) {
      int c = table.FindColumn(name, collation);
      // IndexSql makes no index when a column is missing.
      if (c < 0) {
        *at++ = '?';
        break;
      }
      *at++ = ',';
      at = std::to_chars(at, end, c).ptr;
    }
  }
  out.resize(static_cast<size_t>(at - out.data()));
}

Status BindValue(sqlite3_stmt* stmt, int slot, const Value& value) {
  int rc = SQLITE_OK;
  if (const auto* i = std::get_if<int64_t>(&value)) {
    rc = sqlite3_bind_int64(stmt, slot, *i);
  } else if (const auto* d = std::get_if<double>(&value)) {
    rc = sqlite3_bind_double(stmt, slot, *d);
  } else if (const auto* s = std::get_if<std::string>(&value)) {
    rc = sqlite3_bind_text64(stmt, slot, s->data(), s->size(), SQLITE_STATIC, SQLITE_UTF8);
  } else if (const auto* b = std::get_if<std::vector<uint8_t>>(&value)) {
    // A null pointer would bind NULL, not an empty value.
    static const uint8_t kEmpty = 0;
    rc =
        sqlite3_bind_blob64(stmt, slot, b->empty() ? &kEmpty : b->data(), b->size(), SQLITE_STATIC);
  } else {
    rc = sqlite3_bind_null(stmt, slot);
  }
  if (rc != SQLITE_OK) return Raise(Msg::kInternalError, {sqlite3_errstr(rc)});
  return std::nullopt;
}

Value ColumnValue(sqlite3_stmt* stmt, int c) {
  switch (sqlite3_column_type(stmt, c)) {
    case SQLITE_INTEGER:
      return static_cast<int64_t>(sqlite3_column_int64(stmt, c));
    case SQLITE_FLOAT:
      return sqlite3_column_double(stmt, c);
    case SQLITE_TEXT: {
      const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(stmt, c));
      return std::string(text, static_cast<size_t>(sqlite3_column_bytes(stmt, c)));
    }
    case SQLITE_BLOB: {
      const auto* data = static_cast<const uint8_t*>(sqlite3_column_blob(stmt, c));
      return std::vector<uint8_t>(data, data + sqlite3_column_bytes(stmt, c));
    }
    default:
      return std::monostate{};
  }
}

// Column `c` of the current row into `out`: an integer over an integer, or
// text over text, is written in place, the common case of a scan. The
// column is fetched once (the store's connection holds no mutex, so the
// value needs none).
void ReadColumn(sqlite3_stmt* stmt, int c, Value& out) {
  sqlite3_value* value = sqlite3_column_value(stmt, c);
  switch (sqlite3_value_type(value)) {
    case SQLITE_INTEGER: {
      int64_t number = sqlite3_value_int64(value);
      if (auto* held = std::get_if<int64_t>(&out)) {
        *held = number;
      } else {
        out = number;
      }
      return;
    }
    case SQLITE_NULL:
      if (!std::holds_alternative<std::monostate>(out)) out = std::monostate{};
      return;
    case SQLITE_TEXT:
      if (auto* held = std::get_if<std::string>(&out)) {
        // The string's buffer is kept.
        const auto* text = reinterpret_cast<const char*>(sqlite3_value_text(value));
        held->assign(text, static_cast<size_t>(sqlite3_value_bytes(value)));
        return;
      }
      break;
    default:
      break;
  }
  out = ColumnValue(stmt, c);
}

// Resets a cached statement whatever way its user leaves; finalizes it
// instead when it is `own` (a read's own statement, not the cache's).
class Reset {
 public:
  explicit Reset(sqlite3_stmt* stmt, bool own = false) : stmt_(stmt), own_(own) {}
  ~Reset() {
    if (own_) {
      sqlite3_finalize(stmt_);
      return;
    }
    sqlite3_reset(stmt_);
    sqlite3_clear_bindings(stmt_);
  }
  Reset(const Reset&) = delete;
  Reset& operator=(const Reset&) = delete;

 private:
  sqlite3_stmt* stmt_;
  bool own_;
};

std::string Quoted(std::string_view name) {
  std::string out = "\"";
  for (char c : name) {
    out += c;
    if (c == '"') out += '"';
  }
  return out + "\"";
}

}  // namespace

std::variant<std::unique_ptr<Store>, std::string> Store::Open(const std::string& path,
                                                              Collation collation) {
  bool memory = path == kMemory;
  sqlite3* db = nullptr;
  int flags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX;
  if (!memory) flags |= SQLITE_OPEN_NOFOLLOW;
  int rc = sqlite3_open_v2(path.c_str(), &db, flags, nullptr);
  if (rc != SQLITE_OK) {
    std::string reason = db ? sqlite3_errmsg(db) : sqlite3_errstr(rc);
    sqlite3_close(db);
    return "Cannot open the store '" + path + "': " + reason + ".";
  }
  std::unique_ptr<Store> store(new Store(db, path, memory, collation));
  sqlite3_extended_result_codes(db, 1);
  sqlite3_create_collation_v2(db, kCollationName, SQLITE_UTF8, &store->collation_, CompareText,
                              nullptr);
  auto fail = [&path](const SqlError& error) {
    return "Cannot open the store '" + path + "': " + error.message;
  };
  // A file that is not an SQLite database fails on its first read.
  if (Status s = store->Exec(memory ? "PRAGMA journal_mode=MEMORY" : "PRAGMA journal_mode=WAL"))
    return fail(*s);
  if (Status s = store->Exec("PRAGMA synchronous=NORMAL")) return fail(*s);
  if (Status s = store->Exec(
          "CREATE TABLE IF NOT EXISTS meta (key TEXT PRIMARY KEY, value) WITHOUT ROWID;"
          "CREATE TABLE IF NOT EXISTS catalog (key TEXT PRIMARY KEY, body TEXT NOT NULL) "
          "WITHOUT ROWID;"))
    return fail(*s);
  sqlite3_stmt* read = nullptr;
  if (Status s = store->Prepare("SELECT key, value FROM meta", read)) return fail(*s);
  std::map<std::string, Value> meta;
  {
    Reset reset(read);
    while ((rc = sqlite3_step(read)) == SQLITE_ROW) {
      meta[reinterpret_cast<const char*>(sqlite3_column_text(read, 0))] = ColumnValue(read, 1);
    }
    if (rc != SQLITE_DONE) return fail(*store->Failure(rc, "reading its version"));
  }
  if (meta.empty()) {
    sqlite3_stmt* write = nullptr;
    if (Status s = store->Prepare("INSERT INTO meta VALUES ('format', '" + std::string(kFormat) +
                                      "'), ('version', " + std::to_string(kVersion) +
                                      "), ('collation', " + std::to_string(kCollationOrder) + ")",
                                  write))
      return fail(*s);
    Reset reset(write);
    if ((rc = sqlite3_step(write)) != SQLITE_DONE)
      return fail(*store->Failure(rc, "writing its version"));
    return store;
  }
  const auto* format = std::get_if<std::string>(&meta["format"]);
  const auto* version = std::get_if<int64_t>(&meta["version"]);
  if (!format || *format != kFormat || !version) {
    return "The file '" + path + "' is an SQLite database but not a tavora store.";
  }
  if (*version > kVersion) {
    return "The store '" + path + "' was written by a newer tavora (store version " +
           std::to_string(*version) + "; this program reads version " + std::to_string(kVersion) +
           " and older). Use that version, or move the data folder away.";
  }
  const auto* order = std::get_if<int64_t>(&meta["collation"]);
  if (!order || *order != kCollationOrder) {
    if (Status s = store->Exec("REINDEX " + std::string(kCollationName) +
                               "; INSERT OR REPLACE INTO meta VALUES ('collation', " +
                               std::to_string(kCollationOrder) + ")"))
      return fail(*s);
  }
  return store;
}

Store::Store(sqlite3* db, std::string path, bool in_memory, Collation collation)
    : db_(db), path_(std::move(path)), in_memory_(in_memory), collation_(collation) {}

Store::~Store() {
  for (auto& [sql, stmt] : statements_) sqlite3_finalize(stmt);
  if (started_) sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
  sqlite3_close(db_);
}

Status Store::Failure(int code, std::string_view doing) {
  failed_ = true;
  int primary = code & 0xFF;
  if (primary == SQLITE_FULL) return Raise(Msg::kStoreFull, {path_});
  std::string reason = std::string(doing) + ": " + sqlite3_errstr(code);
  const char* detail = sqlite3_errmsg(db_);
  if (detail && std::strcmp(detail, sqlite3_errstr(code)) != 0)
    reason += " (" + std::string(detail) + ")";
  return Raise(Msg::kStoreFailed, {path_, reason});
}

Status Store::Exec(std::string_view sql) {
  if (Status s = StartTransaction()) return s;
  if (Status s = TakeSavepoints()) return s;
  char* message = nullptr;
  int rc = sqlite3_exec(db_, std::string(sql).c_str(), nullptr, nullptr, &message);
  sqlite3_free(message);
  if (rc != SQLITE_OK) return Failure(rc, sql);
  return std::nullopt;
}

Status Store::Run(const std::string& sql) {
  sqlite3_stmt* stmt = nullptr;
  if (Status s = Prepare(sql, stmt)) return s;
  Reset reset(stmt);
  int rc = sqlite3_step(stmt);
  if (rc != SQLITE_DONE && rc != SQLITE_ROW) return Failure(rc, sql);
  return std::nullopt;
}

Status Store::Prepare(const std::string& sql, sqlite3_stmt*& out) {
  if (Status s = StartTransaction()) return s;
  auto found = statements_.find(sql);
  if (found != statements_.end()) {
    out = found->second;
    return std::nullopt;
  }
  int rc = sqlite3_prepare_v3(db_, sql.c_str(), static_cast<int>(sql.size()),
                              SQLITE_PREPARE_PERSISTENT, &out, nullptr);
  if (rc != SQLITE_OK) return Failure(rc, "preparing " + sql);
  statements_.emplace(sql, out);
  return std::nullopt;
}

Status Store::PrepareRead(const std::string& sql, sqlite3_stmt*& out, bool& own) {
  own = false;
  if (Status s = Prepare(sql, out)) return s;
  if (!sqlite3_stmt_busy(out)) return std::nullopt;
  // The cached statement is still stepping through rows further up the
  // stack: this nested read gets one of its own.
  int rc = sqlite3_prepare_v2(db_, sql.c_str(), static_cast<int>(sql.size()), &out, nullptr);
  if (rc != SQLITE_OK) return Failure(rc, "preparing " + sql);
  own = true;
  return std::nullopt;
}

Status Store::Begin() {
  failed_ = false;
  savepoints_.clear();
  lone_.reset();
  in_transaction_ = true;
  started_ = false;
  return std::nullopt;
}

Status Store::StartTransaction() {
  if (!in_transaction_ || started_) return std::nullopt;
  started_ = true;
  if (Status s = Run("BEGIN")) {
    started_ = false;
    return s;
  }
  return std::nullopt;
}

Status Store::Commit() {
  // A transaction that never used SQLite has nothing to commit.
  Status failure = started_ ? Run("COMMIT") : std::nullopt;
  if (!failure) {
    started_ = false;
    in_transaction_ = false;
    savepoints_.clear();
    lone_.reset();
    return std::nullopt;
  }
  Rollback();
  return failure;
}

void Store::Rollback() {
  // A failed COMMIT may already have ended the transaction.
  if (!sqlite3_get_autocommit(db_)) sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
  in_transaction_ = false;
  started_ = false;
  savepoints_.clear();
  lone_.reset();
  ForgetCachedState();
}

Status Store::Savepoint(std::string_view name) {
  savepoints_.push_back({std::string(name), false});
  return std::nullopt;
}

Status Store::TakeSavepoints(size_t end) {
  for (size_t i = 0; i < end && i < savepoints_.size(); ++i) {
    if (savepoints_[i].taken) continue;
    if (Status s = Run("SAVEPOINT " + Quoted(savepoints_[i].name))) return s;
    savepoints_[i].taken = true;
  }
  return std::nullopt;
}

Status Store::TakeSavepoints() {
  if (lone_) return SettleLoneInsert();
  return TakeSavepoints(savepoints_.size());
}

Status Store::SettleLoneInsert() {
  // A second write needs the savepoints: the lone row is taken off, the
  // savepoints it was written under are taken, and the row is written
  // again after them with the same id and values, so that SQLite then holds
  // exactly what taking them first would have left.
  LoneInsert lone = *lone_;
  lone_.reset();
  std::string table = "r" + std::to_string(lone.store_id);
  sqlite3_stmt* read = nullptr;
  if (Status s = Prepare("SELECT * FROM " + table + " WHERE id = ?1", read)) return s;
  Row row;
  {
    Reset reset(read);
    sqlite3_bind_int64(read, 1, lone.id);
    int rc = sqlite3_step(read);
    if (rc != SQLITE_ROW) return Failure(rc, "reading back a row of " + table);
    for (int c = 1; c < sqlite3_column_count(read); ++c) row.push_back(ColumnValue(read, c));
  }
  if (Status s = DeleteRow(table, lone.id)) return s;
  if (Status s = TakeSavepoints(lone.end)) return s;
  std::string sql = "INSERT INTO " + table + " VALUES (?1";
  for (size_t c = 0; c < row.size(); ++c) sql += ", ?" + std::to_string(c + 2);
  sqlite3_stmt* write = nullptr;
  if (Status s = Prepare(sql + ")", write)) return s;
  {
    Reset reset(write);
    sqlite3_bind_int64(write, 1, lone.id);
    for (size_t c = 0; c < row.size(); ++c) {
      if (Status s = BindValue(write, static_cast<int>(c + 2), row[c])) return s;
    }
    int rc = sqlite3_step(write);
    if (rc != SQLITE_DONE) return Failure(rc, "writing back a row of " + table);
  }
  return TakeSavepoints(savepoints_.size());
}

Status Store::DeleteRow(std::string_view table, RowId id, std::string_view shown) {
  sql_.assign("DELETE FROM ");
  sql_ += table;
  sql_ += " WHERE id = ?1";
  sqlite3_stmt* stmt = nullptr;
  if (Status s = Prepare(sql_, stmt)) return s;
  Reset reset(stmt);
  sqlite3_bind_int64(stmt, 1, id);
  int rc = sqlite3_step(stmt);
  if (rc != SQLITE_DONE)
    return Failure(rc, "deleting a row of " + std::string(shown.empty() ? table : shown));
  return std::nullopt;
}

size_t Store::FindSavepoint(std::string_view name) const {
  for (size_t i = savepoints_.size(); i-- > 0;) {
    if (savepoints_[i].name == name) return i;
  }
  return savepoints_.size();
}

void Store::Release(std::string_view name) {
  size_t i = FindSavepoint(name);
  if (i == savepoints_.size()) {
    (void)Run("RELEASE " + Quoted(name));
    return;
  }
  if (savepoints_[i].taken) (void)Run("RELEASE " + Quoted(name));
  savepoints_.resize(i);
  // The lone row now belongs to the savepoints still around it; once none
  // of those is pending, SQLite already has it where it belongs.
  if (lone_) {
    if (i <= lone_->first) {
      lone_.reset();
    } else {
      lone_->end = std::min(lone_->end, i);
    }
  }
}

void Store::RollbackTo(std::string_view name, bool keep) {
  size_t i = FindSavepoint(name);
  if (i == savepoints_.size() || savepoints_[i].taken) {
    (void)Run("ROLLBACK TO " + Quoted(name));
    if (!keep) (void)Run("RELEASE " + Quoted(name));
    // A lone row comes after every savepoint taken, so this undid it too.
    if (i < savepoints_.size()) lone_.reset();
  } else if (lone_ && i < lone_->end) {
    // Nothing else was written since this savepoint: taking the lone row
    // off undoes all of it.
    (void)DeleteRow("r" + std::to_string(lone_->store_id), lone_->id);
    lone_.reset();
  }
  if (i < savepoints_.size()) savepoints_.resize(keep ? i + 1 : i);
  ForgetCachedState();
}

int64_t Store::changes() const { return sqlite3_total_changes64(db_); }

void Store::ForgetCachedState() {
  shapes_.clear();
  absent_.clear();
  tables_.reset();
  catalog_known_ = false;
}

Status Store::EnsureTable(const Table& table, bool* exists) {
  const Collation& collation = collation_;
  if (exists) {
    *exists = !absent_.contains(table.store_id);
    if (!*exists) return std::nullopt;
  }
  WriteShape(table, collation, shape_);
  auto known = shapes_.find(table.store_id);
  if (known != shapes_.end() && known->second == shape_) return std::nullopt;
  std::string name = TableName(table);
  int64_t width = 0;
  // Once the row tables are listed, one not among them has no SQLite table
  // yet, and SQLite need not be asked.
  if (!tables_ || tables_->contains(table.store_id)) {
    sqlite3_stmt* info = nullptr;
    if (Status s = Prepare("SELECT count(*) FROM pragma_table_info(?1)", info)) return s;
    Reset reset(info);
    sqlite3_bind_text(info, 1, name.c_str(), -1, SQLITE_TRANSIENT);
    int rc = sqlite3_step(info);
    if (rc != SQLITE_ROW) return Failure(rc, "reading the columns of " + name);
    width = sqlite3_column_int64(info, 0);
  }
  if (width == 0 && exists) {
    // Only writing makes the SQLite table; until then there is nothing to read.
    *exists = false;
    absent_.insert(table.store_id);
    return std::nullopt;
  }
  absent_.erase(table.store_id);
  if (tables_) tables_->insert(table.store_id);
  const bool created = width == 0;
  if (created) {
    std::string sql = "CREATE TABLE " + name + " (id INTEGER PRIMARY KEY";
    for (size_t c = 0; c < table.columns.size(); ++c) sql += ", " + ColumnDefinition(table, c);
    if (Status s = Exec(sql + ")")) return s;
  } else {
    // Columns are only ever added at the end; id is the first.
    for (size_t c = static_cast<size_t>(width - 1); c < table.columns.size(); ++c) {
      if (Status s = Exec("ALTER TABLE " + name + " ADD COLUMN " + ColumnDefinition(table, c)))
        return s;
    }
  }
  // Indexes: drop what is no longer wanted, create what is missing.
  std::map<std::string, std::string> wanted;
  for (const Index& index : table.indexes) {
    std::string sql = IndexSql(table, index, collation);
    if (!sql.empty()) wanted[IndexName(table, index)] = sql;
  }
  std::vector<std::string> drop;
  // A table made just now has no indexes yet.
  if (!created) {
    sqlite3_stmt* indexes = nullptr;
    if (Status s = Prepare("SELECT name, sql FROM sqlite_schema WHERE type = 'index' AND "
                           "tbl_name = ?1 AND sql IS NOT NULL",
                           indexes))
      return s;
    Reset reset(indexes);
    sqlite3_bind_text(indexes, 1, name.c_str(), -1, SQLITE_TRANSIENT);
    int rc;
    while ((rc = sqlite3_step(indexes)) == SQLITE_ROW) {
      std::string index = reinterpret_cast<const char*>(sqlite3_column_text(indexes, 0));
      std::string sql = reinterpret_cast<const char*>(sqlite3_column_text(indexes, 1));
      auto it = wanted.find(index);
      if (it != wanted.end() && it->second == sql) {
        wanted.erase(it);
      } else {
        drop.push_back(index);
      }
    }
    if (rc != SQLITE_DONE) return Failure(rc, "reading the indexes of " + name);
  }
  for (const std::string& index : drop) {
    if (Status s = Exec("DROP INDEX " + index)) return s;
  }
  for (const auto& [index, sql] : wanted) {
    if (Status s = Exec(sql)) return s;
  }
  shapes_[table.store_id] = shape_;
  return std::nullopt;
}

Status Store::ReadRows(sqlite3_stmt* stmt, size_t width, const RowVisitor& visit,
                       const ColumnMask& wanted) {
  // Where each column of the statement goes in the row, and the columns
  // left NULL.
  std::vector<size_t> places, others;
  for (size_t c = 0; c < width; ++c) {
    if (wanted.empty() || (c < wanted.size() && wanted[c])) {
      places.push_back(c);
    } else {
      others.push_back(c);
    }
  }
  size_t present = std::min(places.size(), static_cast<size_t>(sqlite3_column_count(stmt) - 1));
  others.insert(others.end(), places.begin() + static_cast<ptrdiff_t>(present), places.end());
  // The row is reused from one to the next unless the visitor takes it:
  // the columns read are overwritten, the others stay NULL.
  Row row;
  int rc;
  while ((rc = sqlite3_step(stmt)) == SQLITE_ROW) {
    if (row.size() != width) {
      row.assign(width, Value());
    } else {
      for (size_t c : others) {
        if (!std::holds_alternative<std::monostate>(row[c])) row[c] = std::monostate{};
      }
    }
    RowId id = sqlite3_column_int64(stmt, 0);
    for (size_t c = 0; c < present; ++c) {
      ReadColumn(stmt, static_cast<int>(c + 1), row[places[c]]);
    }
    if (Status s = visit(id, row)) return s;
  }
  if (rc != SQLITE_DONE) return Failure(rc, "reading rows");
  return std::nullopt;
}

void Store::StartSelect(const Table& table, const ColumnMask& wanted) {
  if (wanted.empty()) {
    StartSql("SELECT * FROM ", table);
    return;
  }
  sql_.assign("SELECT id");
  for (size_t c = 0; c < table.columns.size(); ++c) {
    if (c >= wanted.size() || !wanted[c]) continue;
    sql_ += ", c";
    AppendNumber(sql_, c);
  }
  sql_ += " FROM r";
  AppendNumber(sql_, table.store_id);
}

Status Store::Scan(const Table& table, const RowVisitor& visit, const ColumnMask& wanted) {
  bool exists = true;
  if (Status s = EnsureTable(table, &exists); s || !exists) return s;
  StartSelect(table, wanted);
  sql_ += " ORDER BY id";
  sqlite3_stmt* stmt = nullptr;
  bool own = false;
  if (Status s = PrepareRead(sql_, stmt, own)) return s;
  Reset reading(stmt, own);
  return ReadRows(stmt, table.columns.size(), visit, wanted);
}

// Appends "c0 = ?1 AND c2 IS NULL": the condition that `columns` hold
// `key`, a NULL in the key matching NULL.
void AppendKeyCondition(std::string& sql, const std::vector<int>& columns,
                        const std::vector<Value>& key) {
  for (size_t k = 0; k < columns.size(); ++k) {
    if (k > 0) sql += " AND ";
    sql += 'c';
    AppendNumber(sql, columns[k]);
    if (std::holds_alternative<std::monostate>(key[k])) {
      sql += " IS NULL";
    } else {
      sql += " = ?";
      AppendNumber(sql, k + 1);
    }
  }
}

void Store::StartSql(std::string_view head, const Table& table) {
  sql_.assign(head);
  sql_ += 'r';
  AppendNumber(sql_, table.store_id);
}

Status Store::BindKey(sqlite3_stmt* stmt, const std::vector<Value>& key) {
  for (size_t k = 0; k < key.size(); ++k) {
    if (std::holds_alternative<std::monostate>(key[k])) continue;
    if (Status s = BindValue(stmt, static_cast<int>(k + 1), key[k])) return s;
  }
  return std::nullopt;
}

Status Store::Seek(const Table& table, const std::vector<int>& columns,
                   const std::vector<Value>& key, const RowVisitor& visit,
                   const ColumnMask& wanted) {
  bool exists = true;
  if (Status s = EnsureTable(table, &exists); s || !exists) return s;
  StartSelect(table, wanted);
  sql_ += " WHERE ";
  AppendKeyCondition(sql_, columns, key);
  sql_ += " ORDER BY id";
  sqlite3_stmt* stmt = nullptr;
  bool own = false;
  if (Status s = PrepareRead(sql_, stmt, own)) return s;
  Reset reading(stmt, own);
  if (Status s = BindKey(stmt, key)) return s;
  return ReadRows(stmt, table.columns.size(), visit, wanted);
}

Status Store::Fetch(const Table& table, const std::vector<RowId>& ids, const RowVisitor& visit,
                    const ColumnMask& wanted) {
  bool exists = true;
  if (Status s = EnsureTable(table, &exists); s || !exists) return s;
  StartSelect(table, wanted);
  sql_ += " WHERE id = ?1";
  sqlite3_stmt* stmt = nullptr;
  bool own = false;
  if (Status s = PrepareRead(sql_, stmt, own)) return s;
  Reset reading(stmt, own);
  for (RowId id : ids) {
    sqlite3_reset(stmt);
    sqlite3_bind_int64(stmt, 1, id);
    if (Status s = ReadRows(stmt, table.columns.size(), visit, wanted)) return s;
  }
  return std::nullopt;
}

Status Store::CountKey(const Table& table, const std::vector<int>& columns,
                       const std::vector<Value>& key, int64_t at_most, int64_t& count) {
  count = 0;
  bool exists = true;
  if (Status s = EnsureTable(table, &exists); s || !exists) return s;
  // Without a limit the count is SQLite's own aggregate, far cheaper per
  // row than going through a subquery.
  const bool limited = at_most != std::numeric_limits<int64_t>::max();
  StartSql(limited ? "SELECT count(*) FROM (SELECT 1 FROM " : "SELECT count(*) FROM ", table);
  sql_ += " WHERE ";
  AppendKeyCondition(sql_, columns, key);
  if (limited) {
    sql_ += " LIMIT ";
    AppendNumber(sql_, at_most);
    sql_ += ')';
  }
  sqlite3_stmt* stmt = nullptr;
  if (Status s = Prepare(sql_, stmt)) return s;
  Reset reset(stmt);
  if (Status s = BindKey(stmt, key)) return s;
  int rc = sqlite3_step(stmt);
  if (rc != SQLITE_ROW) return Failure(rc, "counting rows");
  count = sqlite3_column_int64(stmt, 0);
  return std::nullopt;
}

Status Store::Count(const Table& table, int64_t& count) {
  count = 0;
  bool exists = true;
  if (Status s = EnsureTable(table, &exists); s || !exists) return s;
  StartSql("SELECT count(*) FROM ", table);
  sqlite3_stmt* stmt = nullptr;
  if (Status s = Prepare(sql_, stmt)) return s;
  Reset reset(stmt);
  int rc = sqlite3_step(stmt);
  if (rc != SQLITE_ROW) return Failure(rc, "counting rows");
  count = sqlite3_column_int64(stmt, 0);
  return std::nullopt;
}

Status Store::Insert(const Table& table, const Row& row, RowId* id) {
  if (Status s = EnsureTable(table)) return s;
  // The first write under savepoints not taken yet may be a lone INSERT:
  // SQLite undoes a failed one by itself, and a rollback to them deletes
  // its row, so they are taken only if a second write comes.
  bool lone = !lone_ && !savepoints_.empty() && !savepoints_.back().taken;
  if (!lone) {
    if (Status s = TakeSavepoints()) return s;
  }
  StartSql("INSERT INTO ", table);
  sql_ += " VALUES (NULL";
  for (size_t c = 0; c < row.size(); ++c) {
    sql_ += ", ?";
    AppendNumber(sql_, c + 1);
  }
  sql_ += ')';
  sqlite3_stmt* stmt = nullptr;
  if (Status s = Prepare(sql_, stmt)) return s;
  Reset reset(stmt);
  for (size_t c = 0; c < row.size(); ++c) {
    if (Status s = BindValue(stmt, static_cast<int>(c + 1), row[c])) return s;
  }
  int rc = sqlite3_step(stmt);
  if (rc != SQLITE_DONE) return Failure(rc, "storing a row of " + table.name);
  RowId stored = sqlite3_last_insert_rowid(db_);
  if (id) *id = stored;
  if (lone) {
    size_t first = 0;
    while (savepoints_[first].taken) ++first;
    lone_ = LoneInsert{table.store_id, stored, first, savepoints_.size()};
  }
  return std::nullopt;
}

Status Store::Update(const Table& table, RowId id, const Row& row) {
  if (Status s = EnsureTable(table)) return s;
  if (Status s = TakeSavepoints()) return s;
  StartSql("UPDATE ", table);
  sql_ += " SET ";
  for (size_t c = 0; c < row.size(); ++c) {
    if (c > 0) sql_ += ", ";
    sql_ += 'c';
    AppendNumber(sql_, c);
    sql_ += " = ?";
    AppendNumber(sql_, c + 1);
  }
  sql_ += " WHERE id = ?";
  AppendNumber(sql_, row.size() + 1);
  sqlite3_stmt* stmt = nullptr;
  if (Status s = Prepare(sql_, stmt)) return s;
  Reset reset(stmt);
  for (size_t c = 0; c < row.size(); ++c) {
    if (Status s = BindValue(stmt, static_cast<int>(c + 1), row[c])) return s;
  }
  sqlite3_bind_int64(stmt, static_cast<int>(row.size() + 1), id);
  int rc = sqlite3_step(stmt);
  if (rc != SQLITE_DONE) return Failure(rc, "updating a row of " + table.name);
  return std::nullopt;
}

Status Store::Delete(const Table& table, RowId id) {
  if (Status s = EnsureTable(table)) return s;
  if (Status s = TakeSavepoints()) return s;
  return DeleteRow("r" + std::to_string(table.store_id), id, table.name);
}

Status Store::FirstDuplicate(const Table& table, const std::vector<int>& columns,
                             std::optional<Row>& key) {
  key.reset();
  bool exists = true;
  if (Status s = EnsureTable(table, &exists); s || !exists) return s;
  std::string list;
  for (size_t k = 0; k < columns.size(); ++k) {
    list += (k == 0 ? "" : ", ") + ColumnName(static_cast<size_t>(columns[k]));
  }
  // GROUP BY puts NULLs together, as a unique index counts them.
  sqlite3_stmt* stmt = nullptr;
  if (Status s = Prepare("SELECT min(id), " + list + " FROM " + TableName(table) + " GROUP BY " +
                             list + " HAVING count(*) > 1 ORDER BY 1 LIMIT 1",
                         stmt))
    return s;
  Reset reset(stmt);
  return ReadRows(stmt, columns.size(), [&key](RowId, Row& row) -> Status {
    key = std::move(row);
    return std::nullopt;
  });
}

Status Store::SweepTables(const std::unordered_set<int64_t>& live) {
  if (!tables_) {
    sqlite3_stmt* stmt = nullptr;
    if (Status s = Prepare(
            "SELECT name FROM sqlite_schema WHERE type = 'table' AND name GLOB 'r[0-9]*'", stmt))
      return s;
    std::unordered_set<int64_t> listed;
    Reset reset(stmt);
    int rc;
    while ((rc = sqlite3_step(stmt)) == SQLITE_ROW) {
      listed.insert(std::stoll(reinterpret_cast<const char*>(sqlite3_column_text(stmt, 0)) + 1));
    }
    if (rc != SQLITE_DONE) return Failure(rc, "listing tables");
    tables_ = std::move(listed);
  }
  std::vector<std::string> gone;
  for (int64_t id : *tables_) {
    if (!live.contains(id)) gone.push_back("r" + std::to_string(id));
  }
  for (const std::string& name : gone) {
    // Cached statements on the table would keep it from being dropped.
    for (auto it = statements_.begin(); it != statements_.end();) {
      if (it->first.find(" " + name + " ") != std::string::npos ||
          it->first.ends_with(" " + name)) {
        sqlite3_finalize(it->second);
        it = statements_.erase(it);
      } else {
        ++it;
      }
    }
    if (Status s = Exec("DROP TABLE " + name)) return s;
    shapes_.erase(std::stoll(name.substr(1)));
    tables_->erase(std::stoll(name.substr(1)));
  }
  return std::nullopt;
}

Status Store::LoadCatalog(std::map<std::string, std::string>& texts) {
  texts.clear();
  sqlite3_stmt* stmt = nullptr;
  if (Status s = Prepare("SELECT key, body FROM catalog", stmt)) return s;
  Reset reset(stmt);
  int rc;
  while ((rc = sqlite3_step(stmt)) == SQLITE_ROW) {
    texts[reinterpret_cast<const char*>(sqlite3_column_text(stmt, 0))] =
        std::string(reinterpret_cast<const char*>(sqlite3_column_text(stmt, 1)),
                    static_cast<size_t>(sqlite3_column_bytes(stmt, 1)));
  }
  if (rc != SQLITE_DONE) return Failure(rc, "reading the catalog");
  catalog_ = texts;
  catalog_known_ = true;
  return std::nullopt;
}

Status Store::WriteCatalog(const std::map<std::string, std::string>& texts) {
  if (!catalog_known_) {
    std::map<std::string, std::string> stored;
    if (Status s = LoadCatalog(stored)) return s;
  }
  if (Status s = TakeSavepoints()) return s;
  sqlite3_stmt* put = nullptr;
  sqlite3_stmt* remove = nullptr;
  if (Status s = Prepare("INSERT OR REPLACE INTO catalog VALUES (?1, ?2)", put)) return s;
  if (Status s = Prepare("DELETE FROM catalog WHERE key = ?1", remove)) return s;
  for (const auto& [key, text] : texts) {
    auto held = catalog_.find(key);
    if (held != catalog_.end() && held->second == text) continue;
    Reset reset(put);
    sqlite3_bind_text(put, 1, key.data(), static_cast<int>(key.size()), SQLITE_STATIC);
    sqlite3_bind_text64(put, 2, text.data(), text.size(), SQLITE_STATIC, SQLITE_UTF8);
    int rc = sqlite3_step(put);
    if (rc != SQLITE_DONE) {
      catalog_known_ = false;
      return Failure(rc, "writing the catalog");
    }
    catalog_[key] = text;
  }
  for (auto it = catalog_.begin(); it != catalog_.end();) {
    if (texts.contains(it->first)) {
      ++it;
      continue;
    }
    Reset reset(remove);
    sqlite3_bind_text(remove, 1, it->first.data(), static_cast<int>(it->first.size()),
                      SQLITE_STATIC);
    int rc = sqlite3_step(remove);
    if (rc != SQLITE_DONE) {
      catalog_known_ = false;
      return Failure(rc, "writing the catalog");
    }
    it = catalog_.erase(it);
  }
  return std::nullopt;
}

}  // namespace server
