// The store under load, on a data folder in a temporary directory (a store
// file with its write-ahead log): loading a million rows in batches of a
// thousand, then, at that size, a one-row INSERT batch and a lookup by
// primary key. Beside them the same work on SQLite alone, set up as the
// store sets up a file, so that the engine's share of each cost shows.
#include <benchmark/benchmark.h>
#include <sqlite3.h>

#include <array>
#include <chrono>
#include <cstdint>
#include <exception>
#include <filesystem>
#include <memory>
#include <random>
#include <stdexcept>
#include <string>
#include <string_view>
#include <system_error>
#include <variant>
#include <vector>

#include "bench/peak_memory.h"
#include "bench/temp_folder.h"
#include "server/data_folder.h"

namespace {

constexpr int64_t kTableRows = 1'000'000;
constexpr int64_t kRowsPerBatch = 1'000;
constexpr int kTenths = 10;

// Every column follows from the key, so a lookup can check what it read.
// The text forms are the ones the store keeps for money and datetime.
struct SampleRow {
  explicit SampleRow(int64_t key)
      : id(key),
        quantity(key % 1000),
        name("item " + std::to_string(key)),
        price(std::to_string(key % 100000) + ".2500"),
        stamp("2001-01-" + std::to_string(10 + key % 19) + " 10:30:00.000") {}

  // As an INSERT statement for the table both sides use.
  std::string Insert() const {
    return "INSERT INTO t VALUES (" + std::to_string(id) + ", " + std::to_string(quantity) + ", '" +
           name + "', " + price + ", '" + stamp + "')";
  }

  int64_t id;
  int64_t quantity;
  std::string name;
  std::string price;
  std::string stamp;
};

// Lookups hit keys spread over the loaded rows, the same ones on each side.
class KeyPicker {
 public:
  int64_t Next() { return keys_(random_); }

 private:
  std::mt19937_64 random_{20010101};
  std::uniform_int_distribution<int64_t> keys_{1, kTableRows};
};

// Loads rows 1..rows with `load(first, count)` per batch and times each
// tenth: a rate that falls as the table grows shows in the last one.
template <class LoadBatch>
std::array<double, kTenths> LoadTimedByTenths(LoadBatch load, int64_t rows = kTableRows) {
  using Clock = std::chrono::steady_clock;
  std::array<double, kTenths> seconds{};
  const int64_t tenth_rows = rows / kTenths;
  for (int tenth = 0; tenth < kTenths; ++tenth) {
    Clock::time_point start = Clock::now();
    for (int64_t first = tenth * tenth_rows + 1; first <= (tenth + 1) * tenth_rows;
         first += kRowsPerBatch) {
      load(first, kRowsPerBatch);
    }
    seconds[tenth] = std::chrono::duration<double>(Clock::now() - start).count();
  }
  return seconds;
}

// The bytes of the database at `path` and of its write-ahead log.
double DatabaseBytes(const std::filesystem::path& path) {
  double bytes = 0;
  for (const std::filesystem::path& file : {path, std::filesystem::path(path.string() + "-wal")}) {
    std::error_code missing;
    uintmax_t size = std::filesystem::file_size(file, missing);
    if (!missing) bytes += static_cast<double>(size);
  }
  return bytes;
}

void ReportLoad(benchmark::State& state, int64_t rows, const std::array<double, kTenths>& seconds,
                const bench::PeakMemoryGrowth& memory, const std::filesystem::path& database) {
  const double tenth_rows = static_cast<double>(rows / kTenths);
  state.counters["rows"] =
      benchmark::Counter(static_cast<double>(rows), benchmark::Counter::kIsIterationInvariantRate);
  state.counters["first_tenth_rows/s"] = tenth_rows / seconds.front();
  state.counters["last_tenth_rows/s"] = tenth_rows / seconds.back();
  state.counters["file_bytes"] = benchmark::Counter(
      DatabaseBytes(database), benchmark::Counter::kDefaults, benchmark::Counter::kIs1024);
  memory.Report(state);
}

// The embedded server on a data folder of its own, holding bench.dbo.t.
class EngineTable {
 public:
  EngineTable() : folder_("tavora-store-bench") {
    auto opened = server::DataFolder::Open((folder_.path() / "data").string(), {});
    if (auto* why = std::get_if<std::string>(&opened)) throw std::runtime_error(*why);
    server_ = std::move(std::get<std::unique_ptr<server::DataFolder>>(opened));
    auto login = server_->engine().Login("bench", "", true, "TAVORA");
    if (auto* error = std::get_if<server::SqlError>(&login))
      throw std::runtime_error(error->message);
    session_ = std::get<int>(login);
    Run("CREATE DATABASE bench");
    Run("USE bench");
    Run("CREATE TABLE t (id int PRIMARY KEY, quantity int, name varchar(40), price money, "
        "stamp datetime)");
  }

  // Runs one batch; one the server refuses ends the benchmark.
  server::BatchOutcome Run(std::string_view batch) {
    server::BatchOutcome outcome = server_->Execute(session_, batch);
    if (outcome.error) {
      throw std::runtime_error(outcome.error->message +
                               " (batch: " + std::string(batch.substr(0, 120)) + ")");
    }
    return outcome;
  }

  // One batch of `count` single-row INSERTs: the server, as SQL Server 2000,
  // takes one row per VALUES list.
  void InsertBatch(int64_t first, int64_t count) {
    std::string batch;
    for (int64_t id = first; id < first + count; ++id) batch += SampleRow(id).Insert() + "\r\n";
    Run(batch);
  }

  void InsertOne() { Run(SampleRow(next_id_++).Insert()); }

  std::filesystem::path database() const { return server_->StoreFile(); }

  void SelectOne(int64_t id) {
    server::BatchOutcome outcome =
        Run("SELECT id, quantity, name, price, stamp FROM t WHERE id = " + std::to_string(id));
    if (outcome.results.size() != 1 || outcome.results[0].rows.size() != 1 ||
        outcome.results[0].rows[0][0] != server::Value(id)) {
      throw std::runtime_error("the lookup of " + std::to_string(id) + " did not find its row");
    }
  }

 private:
  // Declared first, so the server has closed its store when it is removed.
  bench::TempFolder folder_;
  std::unique_ptr<server::DataFolder> server_;
  int session_ = 0;
  int64_t next_id_ = kTableRows + 1;
};

// The same table in a bare SQLite database with the store's settings for a
// file (write-ahead log, synchronous=NORMAL) and every statement prepared
// once. With `store_layout` it has the shape the store gives a table (a row
// number as SQLite's key, a plain index on the primary key column, no
// declared types); without it the primary key is SQLite's own row key.
class RawTable {
 public:
  explicit RawTable(bool store_layout) : folder_("tavora-sqlite-bench") {
    const std::string path = database().string();
    if (sqlite3_open_v2(path.c_str(), &db_,
                        SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX,
                        nullptr) != SQLITE_OK) {
      throw std::runtime_error("cannot open " + path);
    }
    Exec("PRAGMA journal_mode=WAL");
    Exec("PRAGMA synchronous=NORMAL");
    if (store_layout) {
      Exec("CREATE TABLE t (rid INTEGER PRIMARY KEY, id, quantity, name, price, stamp)");
      Exec("CREATE INDEX t_id ON t (id)");
      insert_ = Prepare("INSERT INTO t VALUES (NULL, ?1, ?2, ?3, ?4, ?5)");
      select_ = Prepare("SELECT * FROM t WHERE id = ?1 ORDER BY rid");
      id_column_ = 1;
    } else {
      Exec("CREATE TABLE t (id INTEGER PRIMARY KEY, quantity, name, price, stamp)");
      insert_ = Prepare("INSERT INTO t VALUES (?1, ?2, ?3, ?4, ?5)");
      select_ = Prepare("SELECT * FROM t WHERE id = ?1");
    }
    begin_ = Prepare("BEGIN");
    commit_ = Prepare("COMMIT");
  }
  ~RawTable() {
    for (sqlite3_stmt* stmt : {begin_, commit_, insert_, select_}) sqlite3_finalize(stmt);
    sqlite3_close(db_);
  }
  RawTable(const RawTable&) = delete;
  RawTable& operator=(const RawTable&) = delete;

  // `count` rows in one transaction.
  void InsertBatch(int64_t first, int64_t count) {
    Step(begin_, SQLITE_DONE);
    for (int64_t id = first; id < first + count; ++id) Insert(SampleRow(id));
    Step(commit_, SQLITE_DONE);
  }

  void InsertOne() { InsertBatch(next_id_++, 1); }

  std::filesystem::path database() const { return folder_.path() / "raw.db"; }

  // Reads the row's columns out, as the store does for the engine.
  void SelectOne(int64_t id) {
    sqlite3_bind_int64(select_, 1, id);
    bool found = sqlite3_step(select_) == SQLITE_ROW;
    found = found && sqlite3_column_int64(select_, id_column_) == id;
    int64_t read = 0;
    for (int c = 0; found && c < sqlite3_column_count(select_); ++c) {
      if (sqlite3_column_type(select_, c) == SQLITE_TEXT) {
        std::string text(reinterpret_cast<const char*>(sqlite3_column_text(select_, c)),
                         static_cast<size_t>(sqlite3_column_bytes(select_, c)));
        read += static_cast<int64_t>(text.size());
      } else {
        read += sqlite3_column_int64(select_, c);
      }
    }
    benchmark::DoNotOptimize(read);
    sqlite3_reset(select_);
    if (!found) throw std::runtime_error("the lookup of " + std::to_string(id) + " failed");
  }

 private:
  void Exec(const char* sql) {
    if (sqlite3_exec(db_, sql, nullptr, nullptr, nullptr) != SQLITE_OK)
      throw std::runtime_error(std::string(sql) + ": " + sqlite3_errmsg(db_));
  }

  sqlite3_stmt* Prepare(const char* sql) {
    sqlite3_stmt* stmt = nullptr;
    if (sqlite3_prepare_v3(db_, sql, -1, SQLITE_PREPARE_PERSISTENT, &stmt, nullptr) != SQLITE_OK)
      throw std::runtime_error(std::string(sql) + ": " + sqlite3_errmsg(db_));
    return stmt;
  }

  void Step(sqlite3_stmt* stmt, int expected) {
    int rc = sqlite3_step(stmt);
    sqlite3_reset(stmt);
    if (rc != expected) throw std::runtime_error(sqlite3_errmsg(db_));
  }

  void Insert(const SampleRow& row) {
    sqlite3_bind_int64(insert_, 1, row.id);
    sqlite3_bind_int64(insert_, 2, row.quantity);
    sqlite3_bind_text(insert_, 3, row.name.data(), static_cast<int>(row.name.size()),
                      SQLITE_STATIC);
    sqlite3_bind_text(insert_, 4, row.price.data(), static_cast<int>(row.price.size()),
                      SQLITE_STATIC);
    sqlite3_bind_text(insert_, 5, row.stamp.data(), static_cast<int>(row.stamp.size()),
                      SQLITE_STATIC);
    Step(insert_, SQLITE_DONE);
  }

  bench::TempFolder folder_;
  sqlite3* db_ = nullptr;
  sqlite3_stmt* begin_ = nullptr;
  sqlite3_stmt* commit_ = nullptr;
  sqlite3_stmt* insert_ = nullptr;
  sqlite3_stmt* select_ = nullptr;
  int id_column_ = 0;
  int64_t next_id_ = kTableRows + 1;
};

// The loaded tables, made once per process: by the load benchmarks when they
// run, otherwise by the first benchmark that needs one.
std::unique_ptr<EngineTable> loaded_engine;
std::array<std::unique_ptr<RawTable>, 2> loaded_raw;

EngineTable& LoadedEngine() {
  if (!loaded_engine) {
    auto table = std::make_unique<EngineTable>();
    LoadTimedByTenths([&](int64_t first, int64_t count) { table->InsertBatch(first, count); });
    loaded_engine = std::move(table);
  }
  return *loaded_engine;
}

RawTable& LoadedRaw(bool store_layout) {
  std::unique_ptr<RawTable>& loaded = loaded_raw[store_layout ? 1 : 0];
  if (!loaded) {
    auto table = std::make_unique<RawTable>(store_layout);
    LoadTimedByTenths([&](int64_t first, int64_t count) { table->InsertBatch(first, count); });
    loaded = std::move(table);
  }
  return *loaded;
}

// Runs `body` as the benchmark's loop; a failure skips the benchmark with
// its reason rather than reporting a time for work not done.
template <class Body>
void Measure(benchmark::State& state, Body body) {
  for (auto _ : state) {
    try {
      body();
    } catch (const std::exception& e) {
      state.SkipWithError(e.what());
      break;
    }
  }
}

// A million rows into a fresh data folder, a thousand single-row INSERTs
// per batch; the first run's table serves the benchmarks at that size. The
// tenth of it is quicker to compare while changing the engine.
void BM_StoreLoadRows(benchmark::State& state) {
  const int64_t rows = state.range(0);
  std::unique_ptr<EngineTable> table;
  bench::PeakMemoryGrowth memory;
  std::array<double, kTenths> seconds{};
  Measure(state, [&] {
    table = std::make_unique<EngineTable>();
    seconds = LoadTimedByTenths(
        [&](int64_t first, int64_t count) { table->InsertBatch(first, count); }, rows);
  });
  if (state.error_occurred()) return;
  ReportLoad(state, rows, seconds, memory, table->database());
  if (!loaded_engine && rows == kTableRows) loaded_engine = std::move(table);
}
BENCHMARK(BM_StoreLoadRows)
    ->ArgName("rows")
    ->Arg(kTableRows)
    ->Arg(kTableRows / 10)
    ->Iterations(1)
    ->UseRealTime()
    ->Unit(benchmark::kSecond);

// The same rows into bare SQLite, a thousand per transaction.
void BM_SqliteLoadRows(benchmark::State& state) {
  const bool store_layout = state.range(0) != 0;
  const int64_t rows = state.range(1);
  std::unique_ptr<RawTable> table;
  bench::PeakMemoryGrowth memory;
  std::array<double, kTenths> seconds{};
  Measure(state, [&] {
    table = std::make_unique<RawTable>(store_layout);
    seconds = LoadTimedByTenths(
        [&](int64_t first, int64_t count) { table->InsertBatch(first, count); }, rows);
  });
  if (state.error_occurred()) return;
  ReportLoad(state, rows, seconds, memory, table->database());
  if (!loaded_raw[store_layout] && rows == kTableRows) loaded_raw[store_layout] = std::move(table);
}
BENCHMARK(BM_SqliteLoadRows)
    ->ArgNames({"store_layout", "rows"})
    ->Args({0, kTableRows})
    ->Args({1, kTableRows})
    ->Args({0, kTableRows / 10})
    ->Args({1, kTableRows / 10})
    ->Iterations(1)
    ->UseRealTime()
    ->Unit(benchmark::kSecond);

// The loaded table `get` gives, or null when it cannot be made (the
// benchmark is then skipped with the reason).
template <class Get>
auto Loaded(benchmark::State& state, Get get) -> decltype(&get()) {
  try {
    return &get();
  } catch (const std::exception& e) {
    state.SkipWithError(e.what());
    return nullptr;
  }
}

// One batch holding one single-row INSERT into the million-row table; the
// table grows by a row each time.
void BM_StoreInsertOneRow(benchmark::State& state) {
  EngineTable* table = Loaded(state, LoadedEngine);
  if (table) Measure(state, [&] { table->InsertOne(); });
}
BENCHMARK(BM_StoreInsertOneRow)->UseRealTime()->Unit(benchmark::kMicrosecond);

// A one-row INSERT batch into an empty table while the server holds
// `tables` other tables, in a database of their own: what the size of the
// catalog adds to a batch that changes rows only.
void BM_StoreInsertOneRowBesideTables(benchmark::State& state) {
  std::unique_ptr<EngineTable> table;
  try {
    table = std::make_unique<EngineTable>();
    std::string batch;
    for (int64_t k = 0; k < state.range(0); ++k) {
      batch += "CREATE TABLE t" + std::to_string(k) +
               " (id int PRIMARY KEY, name varchar(40) NOT NULL, price money NULL)\r\n";
    }
    table->Run("CREATE DATABASE other");
    table->Run("USE other");
    if (!batch.empty()) table->Run(batch);
    table->Run("USE bench");
  } catch (const std::exception& e) {
    state.SkipWithError(e.what());
    return;
  }
  Measure(state, [&] { table->InsertOne(); });
}
BENCHMARK(BM_StoreInsertOneRowBesideTables)
    ->ArgName("tables")
    ->Arg(0)
    ->Arg(1000)
    ->UseRealTime()
    ->Unit(benchmark::kMicrosecond);

// One row in a transaction of its own.
void BM_SqliteInsertOneRow(benchmark::State& state) {
  RawTable* table = Loaded(state, [&]() -> RawTable& { return LoadedRaw(state.range(0) != 0); });
  if (table) Measure(state, [&] { table->InsertOne(); });
}
BENCHMARK(BM_SqliteInsertOneRow)
    ->ArgName("store_layout")
    ->Arg(0)
    ->Arg(1)
    ->UseRealTime()
    ->Unit(benchmark::kMicrosecond);

// One batch `SELECT ... FROM t WHERE id = n` on the million-row table.
void BM_StoreSelectByKey(benchmark::State& state) {
  EngineTable* table = Loaded(state, LoadedEngine);
  KeyPicker keys;
  if (table) Measure(state, [&] { table->SelectOne(keys.Next()); });
}
BENCHMARK(BM_StoreSelectByKey)->UseRealTime()->Unit(benchmark::kMicrosecond);

void BM_SqliteSelectByKey(benchmark::State& state) {
  RawTable* table = Loaded(state, [&]() -> RawTable& { return LoadedRaw(state.range(0) != 0); });
  KeyPicker keys;
  if (table) Measure(state, [&] { table->SelectOne(keys.Next()); });
}
BENCHMARK(BM_SqliteSelectByKey)
    ->ArgName("store_layout")
    ->Arg(0)
    ->Arg(1)
    ->UseRealTime()
    ->Unit(benchmark::kMicrosecond);

}  // namespace
