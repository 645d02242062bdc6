// Typical queries on a million-row table joined to a ten-thousand-row one,
// on the embedded server in memory and on SQLite through its C API in the
// same run, so that each query's cost reads as a ratio of SQLite's.
//
//   big (id int PRIMARY KEY, small_id int, quantity int, name varchar(20))
//   small (id int PRIMARY KEY, category int, name varchar(20))
//
// The rows follow from their keys, so both sides hold the same data and
// each query's answer can be checked against the other side's.

#include <benchmark/benchmark.h>
#include <sqlite3.h>

#include <memory>
#include <stdexcept>
#include <string>
#include <variant>

#include "server/engine.h"
#include "server/types/cell_text.h"

namespace {

constexpr int64_t kBigRows = 1'000'000;
constexpr int64_t kSmallRows = 10'000;

// The queries, in the dialect both sides share.
constexpr const char* kLookup = "SELECT id, small_id, quantity, name FROM big WHERE id = 654321";
constexpr const char* kJoin =
    "SELECT COUNT(*) FROM big b JOIN small s ON b.small_id = s.id WHERE s.category = 7";
constexpr const char* kGroup =
    "SELECT small_id, COUNT(*), SUM(quantity) FROM big GROUP BY small_id";
constexpr const char* kTop =
    "SELECT TOP 100 id, name FROM big ORDER BY quantity DESC, id";  // SQLite: LIMIT
constexpr const char* kTopSqlite = "SELECT id, name FROM big ORDER BY quantity DESC, id LIMIT 100";

class EngineTables {
 public:
  EngineTables() : engine_(server::ServerOptions{}) {
    auto login = engine_.Login("bench", "", true, "TAVORA");
    if (auto* error = std::get_if<server::SqlError>(&login))
      throw std::runtime_error(error->message);
    session_ = std::get<int>(login);
    Run("CREATE DATABASE q");
    Run("USE q");
    Run("CREATE TABLE digits (d int PRIMARY KEY)");
    for (int d = 0; d < 10; ++d) Run("INSERT INTO digits VALUES (" + std::to_string(d) + ")");
    Run("CREATE TABLE small (id int PRIMARY KEY, category int, name varchar(20))");
    Run("CREATE TABLE big (id int PRIMARY KEY, small_id int, quantity int, name varchar(20))");
    Run("CREATE INDEX big_small ON big (small_id)");  // as on the SQLite side
    // Rows made by joining the digits with themselves: the server's own
    // INSERT ... SELECT, far quicker than a million INSERT statements.
    std::string number = "a.d + 10 * b.d + 100 * c.d + 1000 * e.d";
    Run("INSERT INTO small SELECT " + number + " + 1, (" + number + ") % 100, 'small ' + CAST(" +
        number + " AS varchar(10)) FROM digits a, digits b, digits c, digits e");
    for (int block = 0; block < 100; ++block) {
      std::string id = std::to_string(block * kSmallRows) + " + " + number + " + 1";
      Run("INSERT INTO big SELECT " + id + ", (" + id + ") % " + std::to_string(kSmallRows) +
          " + 1, (" + id + ") % 997, 'item ' + CAST(" + id +
          " AS varchar(10)) FROM digits a, digits b, digits c, digits e");
    }
  }

  server::BatchOutcome Run(const std::string& batch) {
    server::BatchOutcome outcome = engine_.Execute(session_, batch);
    if (outcome.error) throw std::runtime_error(outcome.error->message + " in " + batch);
    return outcome;
  }
  // The number of rows the query returns and the first value of its first row.
  std::pair<size_t, std::string> Query(const char* sql) {
    server::BatchOutcome outcome = Run(sql);
    const auto& rows = outcome.results.at(0).rows;
    return {rows.size(), rows.empty() ? "" : server::CellText(rows[0][0])};
  }

 private:
  server::Engine engine_;
  int session_ = 0;
};

class SqliteTables {
 public:
  SqliteTables() {
    if (sqlite3_open(":memory:", &db_) != SQLITE_OK) throw std::runtime_error("sqlite3_open");
    Exec("CREATE TABLE small (id INTEGER PRIMARY KEY, category INT, name TEXT)");
    Exec("CREATE TABLE big (id INTEGER PRIMARY KEY, small_id INT, quantity INT, name TEXT)");
    Exec("CREATE INDEX big_small ON big (small_id)");  // a foreign key's index, on both sides
    Exec("BEGIN");
    InsertRows("INSERT INTO small VALUES (?, ?, ?)", kSmallRows,
               [](sqlite3_stmt* insert, int64_t i) {
                 sqlite3_bind_int64(insert, 1, i + 1);
                 sqlite3_bind_int64(insert, 2, i % 100);
                 return "small " + std::to_string(i);
               });
    InsertRows("INSERT INTO big VALUES (?, ?, ?, ?)", kBigRows,
               [](sqlite3_stmt* insert, int64_t i) {
                 int64_t id = i + 1;
                 sqlite3_bind_int64(insert, 1, id);
                 sqlite3_bind_int64(insert, 2, id % kSmallRows + 1);
                 sqlite3_bind_int64(insert, 3, id % 997);
                 return "item " + std::to_string(id);
               });
    Exec("COMMIT");
  }
  ~SqliteTables() { sqlite3_close(db_); }

  std::pair<size_t, std::string> Query(const char* sql) {
    sqlite3_stmt* stmt = Prepare(sql);
    size_t rows = 0;
    std::string first;
    while (sqlite3_step(stmt) == SQLITE_ROW) {
      if (rows++ == 0) first = reinterpret_cast<const char*>(sqlite3_column_text(stmt, 0));
    }
    sqlite3_finalize(stmt);
    return {rows, first};
  }

 private:
  // Rows 0..count-1 through `sql`: `bind` binds every value but the last,
  // the name, which it returns.
  template <class Bind>
  void InsertRows(const char* sql, int64_t count, Bind bind) {
    sqlite3_stmt* insert = Prepare(sql);
    const int last = sqlite3_bind_parameter_count(insert);
    for (int64_t i = 0; i < count; ++i) {
      std::string name = bind(insert, i);
      sqlite3_bind_text(insert, last, name.c_str(), -1, SQLITE_TRANSIENT);
      sqlite3_step(insert);
      sqlite3_reset(insert);
    }
    sqlite3_finalize(insert);
  }
  void Exec(const char* sql) {
    if (sqlite3_exec(db_, sql, nullptr, nullptr, nullptr) != SQLITE_OK)
      throw std::runtime_error(sqlite3_errmsg(db_));
  }
  sqlite3_stmt* Prepare(const char* sql) {
    sqlite3_stmt* stmt = nullptr;
    if (sqlite3_prepare_v2(db_, sql, -1, &stmt, nullptr) != SQLITE_OK)
      throw std::runtime_error(sqlite3_errmsg(db_));
    return stmt;
  }
  sqlite3* db_ = nullptr;
};

EngineTables* engine_tables = nullptr;
SqliteTables* sqlite_tables = nullptr;

EngineTables& Engine() {
  if (!engine_tables) engine_tables = new EngineTables();
  return *engine_tables;
}
SqliteTables& Sqlite() {
  if (!sqlite_tables) sqlite_tables = new SqliteTables();
  return *sqlite_tables;
}

// Runs one query on both sides once to check they agree, then times it on
// the side `sqlite` names.
void RunQuery(benchmark::State& state, const char* engine_sql, const char* sqlite_sql,
              bool sqlite) {
  try {
    auto expected = Sqlite().Query(sqlite_sql);
    auto got = Engine().Query(engine_sql);
    if (got != expected) {
      state.SkipWithError(("the server answered " + std::to_string(got.first) + " rows, first '" +
                           got.second + "'; SQLite " + std::to_string(expected.first) +
                           " rows, first '" + expected.second + "'")
                              .c_str());
      return;
    }
    for (auto _ : state) {
      auto result = sqlite ? Sqlite().Query(sqlite_sql) : Engine().Query(engine_sql);
      benchmark::DoNotOptimize(result);
    }
  } catch (const std::exception& e) {
    state.SkipWithError(e.what());
  }
}

void BM_QueryLookup(benchmark::State& state) { RunQuery(state, kLookup, kLookup, state.range(0)); }
void BM_QueryJoin(benchmark::State& state) { RunQuery(state, kJoin, kJoin, state.range(0)); }
void BM_QueryGroup(benchmark::State& state) { RunQuery(state, kGroup, kGroup, state.range(0)); }
void BM_QueryTop(benchmark::State& state) { RunQuery(state, kTop, kTopSqlite, state.range(0)); }

BENCHMARK(BM_QueryLookup)->ArgName("sqlite")->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_QueryJoin)->ArgName("sqlite")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_QueryGroup)->ArgName("sqlite")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_QueryTop)->ArgName("sqlite")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

}  // namespace
