// The four tests over the real ODBC path (driver manager, TDS driver, our
// listener on loopback) beside its floor: as many logins and as many batches
// as one cycle makes, through the same driver to the same listener, every
// batch an empty one that the server answers with a bare DONE.
#include <benchmark/benchmark.h>
#include <sql.h>
#include <sqlext.h>

#include <algorithm>
#include <filesystem>
#include <memory>
#include <nlohmann/json.hpp>
#include <stdexcept>
#include <string>
#include <variant>

#include "harness/error.h"
#include "harness/test_library.h"
#include "harness/utf.h"
#include "host/batch_splitter.h"
#include "host/harness_classes.h"
#include "host/odbc_session.h"
#include "library/library.h"
#include "server/data_folder.h"
#include "server/tds/listener.h"
#include "tests/e2e/odbc_driver.h"

namespace {

// A listener in front of a server in memory, and the suite whose tests run
// against it.
struct OdbcBench {
  OdbcBench() {
    const std::string failure = tavora::testing::UsePrivateOdbcDriver();
    if (!failure.empty()) throw std::runtime_error(failure);
    auto opened = server::DataFolder::Open(std::string(server::DataFolder::kMemory), {});
    if (auto* why = std::get_if<std::string>(&opened)) throw std::runtime_error(*why);
    folder = std::move(std::get<std::unique_ptr<server::DataFolder>>(opened));
    listener = std::make_unique<server::tds::Listener>(*folder, server::tds::ListenerOptions{});
    const uint16_t port = listener->Start();
    settings.server = harness::FromUtf8("127.0.0.1," + std::to_string(port));
    settings.user = u"sa";
    workspace_folder = std::filesystem::temp_directory_path() / "tavora-odbc-bench-workspace";
    std::filesystem::create_directories(workspace_folder);
    workspace = host::MakeWorkspace(workspace_folder.string());
    suite = tavora::MakeLibrary()->GetSuite(0);
    CountRoundTrips();
  }

  // One cycle: Create and Delete of every test.
  void Cycle() {
    for (int i = 0; i < suite->TestCount(); ++i) {
      harness::ComPtr<harness::IDataset> dataset = suite->GetTest(i)->Dataset();
      dataset->Create(u"", workspace.get(), nullptr);
      dataset->Delete(u"", nullptr);
    }
  }

  // The logins and batches of one cycle, counted on the record back end,
  // which answers the datasets' queries as the server does mid-cycle (each
  // Delete finds its database): a login per Open and a batch per
  // GO-separated part of each Execute and Query.
  void CountRoundTrips() {
    auto record = std::make_shared<host::RecordBackend>();
    host::InstallHarnessClasses(settings, host::RecordSessions(record));
    Cycle();
    for (const auto& entry : record->transcript.entries()) {
      const std::string call = entry["call"];
      if (call == "Open") ++logins;
      if (call == "Execute" || call == "Query") {
        batches += static_cast<int>(
            host::SplitBatches(harness::FromUtf8(entry["text"].get<std::string>())).size());
      }
    }
  }

  std::unique_ptr<server::DataFolder> folder;
  std::unique_ptr<server::tds::Listener> listener;
  host::Settings settings;
  std::filesystem::path workspace_folder;
  harness::ComPtr<harness::Workspace> workspace;
  harness::ComPtr<harness::ITestSuite> suite;
  int logins = 0;
  int batches = 0;
};

OdbcBench& TheBench() {
  static OdbcBench bench;
  return bench;
}

void BM_FourTestCycleOdbc(benchmark::State& state) {
  OdbcBench& b = TheBench();
  auto record = std::make_shared<host::RecordBackend>();
  host::InstallHarnessClasses(b.settings, [record] {
    return host::MakeTranscribedSession(host::MakeOdbcSession(), record);
  });
  for (auto _ : state) {
    try {
      b.Cycle();
    } catch (const harness::Error& e) {
      state.SkipWithError(e.what());
      break;
    }
    record->transcript.Clear();
  }
  state.counters["logins"] = b.logins;
  state.counters["batches"] = b.batches;
  // The other benchmarks expect the record back end.
  host::InstallHarnessClasses(host::Settings{},
                              host::RecordSessions(std::make_shared<host::RecordBackend>()));
}
BENCHMARK(BM_FourTestCycleOdbc)->Unit(benchmark::kMillisecond);

// One login and logout, the part of the cycle's cost an empty batch does not
// show: the cycle opens a session for every Create and Delete.
void BM_OpenCloseOdbc(benchmark::State& state) {
  OdbcBench& b = TheBench();
  const std::u16string connection =
      u"DRIVER=SQL Server;SERVER=" + b.settings.server + u";UID=sa;PWD=;Trusted_Connection=No";
  for (auto _ : state) {
    harness::ComPtr<harness::SqlSession> session = host::MakeOdbcSession();
    session->SetLoginTimeout(15);
    try {
      session->Open(connection);
      session->Close();
    } catch (const harness::Error& e) {
      state.SkipWithError(e.what());
      break;
    }
  }
}
BENCHMARK(BM_OpenCloseOdbc)->Unit(benchmark::kMicrosecond);

// The floor: per cycle as many logins as the cycle makes, each followed by
// an empty batch (a blank), and the rest of the cycle's batches empty too,
// on the last connection; every login through the driver manager, as a
// session's Open goes.
void BM_EmptyBatchFloorOdbc(benchmark::State& state) {
  OdbcBench& b = TheBench();
  SQLHENV env = SQL_NULL_HENV;
  SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env);
  SQLSetEnvAttr(env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
  // A session pins the protocol version in the environment, as the cycle's do.
  host::MakeOdbcSession();
  std::u16string connection =
      u"DRIVER=SQL Server;SERVER=" + b.settings.server + u";UID=sa;PWD=;Trusted_Connection=No";
  std::vector<SQLWCHAR> wide(connection.begin(), connection.end());
  wide.push_back(0);
  SQLWCHAR blank[] = {u' ', 0};
  auto empty_batch = [&](SQLHSTMT stmt) {
    SQLRETURN rc = SQLExecDirectW(stmt, blank, SQL_NTS);
    while (rc != SQL_NO_DATA && SQL_SUCCEEDED(rc)) rc = SQLMoreResults(stmt);
    SQLFreeStmt(stmt, SQL_CLOSE);
    return rc != SQL_ERROR;
  };
  bool failed = false;
  for (auto _ : state) {
    int batches_left = b.batches;
    for (int login = 0; login < b.logins && !failed; ++login) {
      SQLHDBC dbc = SQL_NULL_HDBC;
      SQLHSTMT stmt = SQL_NULL_HSTMT;
      SQLAllocHandle(SQL_HANDLE_DBC, env, &dbc);
      if (!SQL_SUCCEEDED(SQLDriverConnectW(dbc, nullptr, wide.data(), SQL_NTS, nullptr, 0, nullptr,
                                           SQL_DRIVER_NOPROMPT))) {
        state.SkipWithError("cannot connect to the listener");
        failed = true;
      } else {
        SQLAllocHandle(SQL_HANDLE_STMT, dbc, &stmt);
        const int here = login + 1 == b.logins ? std::max(batches_left, 1) : 1;
        for (int i = 0; i < here && !failed; ++i) {
          if (!empty_batch(stmt)) {
            state.SkipWithError("the empty batch failed");
            failed = true;
          }
        }
        batches_left -= here;
        SQLFreeHandle(SQL_HANDLE_STMT, stmt);
        SQLDisconnect(dbc);
      }
      SQLFreeHandle(SQL_HANDLE_DBC, dbc);
    }
    if (failed) break;
  }
  SQLFreeHandle(SQL_HANDLE_ENV, env);
  state.counters["logins"] = b.logins;
  state.counters["batches"] = b.batches;
}
BENCHMARK(BM_EmptyBatchFloorOdbc)->Unit(benchmark::kMillisecond);

// Every row of every result the statement has, as a tool reads them: how
// many, or -1 when a call failed.
int DrainResults(SQLHSTMT stmt, SQLRETURN rc) {
  int rows = 0;
  while (SQL_SUCCEEDED(rc)) {
    SQLSMALLINT columns = 0;
    SQLNumResultCols(stmt, &columns);
    if (columns > 0) {
      while (SQL_SUCCEEDED(rc = SQLFetch(stmt))) ++rows;
      if (rc == SQL_ERROR) break;
    }
    rc = SQLMoreResults(stmt);
  }
  SQLFreeStmt(stmt, SQL_CLOSE);
  return rc == SQL_NO_DATA ? rows : -1;
}

// What a database tool asks first, on the Standard dataset's database: the
// columns of its largest table (SQLColumns, that is sp_columns), its sp_help,
// and the list of tables (SQLTables, that is sp_tables). One connection.
void BM_CatalogOdbc(benchmark::State& state) {
  OdbcBench& b = TheBench();
  auto record = std::make_shared<host::RecordBackend>();
  host::InstallHarnessClasses(b.settings, [record] {
    return host::MakeTranscribedSession(host::MakeOdbcSession(), record);
  });
  harness::ComPtr<harness::IDataset> dataset = b.suite->GetTest(0)->Dataset();
  SQLHENV env = SQL_NULL_HENV;
  SQLHDBC dbc = SQL_NULL_HDBC;
  SQLHSTMT stmt = SQL_NULL_HSTMT;
  try {
    dataset->Create(u"", b.workspace.get(), nullptr);
    SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env);
    SQLSetEnvAttr(env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
    SQLAllocHandle(SQL_HANDLE_DBC, env, &dbc);
    std::string connection = "DRIVER=SQL Server;SERVER=" + harness::ToUtf8(b.settings.server) +
                             ";UID=sa;PWD=;Trusted_Connection=No";
    if (!SQL_SUCCEEDED(SQLDriverConnect(dbc, nullptr, (SQLCHAR*)connection.c_str(), SQL_NTS,
                                        nullptr, 0, nullptr, SQL_DRIVER_NOPROMPT)))
      throw std::runtime_error("cannot connect to the listener");
    SQLAllocHandle(SQL_HANDLE_STMT, dbc, &stmt);
    // The dataset's database, whatever else the other benchmarks left.
    SQLCHAR name[129] = {};
    SQLLEN length = 0;
    if (!SQL_SUCCEEDED(SQLExecDirect(
            stmt,
            (SQLCHAR*)"SELECT name FROM master.dbo.sysdatabases WHERE name LIKE '%StandardDataset'",
            SQL_NTS)) ||
        !SQL_SUCCEEDED(SQLFetch(stmt)) ||
        !SQL_SUCCEEDED(SQLGetData(stmt, 1, SQL_C_CHAR, name, sizeof name, &length)))
      throw std::runtime_error("no dataset database");
    SQLFreeStmt(stmt, SQL_CLOSE);
    std::string use = std::string("USE [") + reinterpret_cast<char*>(name) + "]";
    if (DrainResults(stmt, SQLExecDirect(stmt, (SQLCHAR*)use.c_str(), SQL_NTS)) < 0)
      throw std::runtime_error("cannot use the dataset database");
    for (auto _ : state) {
      int rows = 0;
      switch (state.range(0)) {
        case 0:
          rows = DrainResults(stmt, SQLColumns(stmt, nullptr, 0, (SQLCHAR*)"dbo", SQL_NTS,
                                               (SQLCHAR*)"tblGeneric", SQL_NTS, nullptr, 0));
          break;
        case 1:
          rows = DrainResults(stmt,
                              SQLExecDirect(stmt, (SQLCHAR*)"EXEC sp_help 'tblGeneric'", SQL_NTS));
          break;
        default:
          rows = DrainResults(stmt, SQLTables(stmt, nullptr, 0, nullptr, 0, nullptr, 0,
                                              (SQLCHAR*)"'TABLE','VIEW'", SQL_NTS));
          break;
      }
      if (rows < 0) {
        state.SkipWithError("the catalog call failed");
        break;
      }
      state.counters["rows"] = rows;
    }
  } catch (const std::exception& e) {
    state.SkipWithError(e.what());
  }
  if (stmt) SQLFreeHandle(SQL_HANDLE_STMT, stmt);
  if (dbc) {
    SQLDisconnect(dbc);
    SQLFreeHandle(SQL_HANDLE_DBC, dbc);
  }
  if (env) SQLFreeHandle(SQL_HANDLE_ENV, env);
  try {
    dataset->Delete(u"", nullptr);
  } catch (const harness::Error&) {
    // Created only in part: nothing more to undo here.
  }
  host::InstallHarnessClasses(host::Settings{},
                              host::RecordSessions(std::make_shared<host::RecordBackend>()));
}
// 0: SQLColumns of tblGeneric, 1: sp_help of tblGeneric, 2: SQLTables.
BENCHMARK(BM_CatalogOdbc)->ArgName("call")->Arg(0)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond);

}  // namespace
