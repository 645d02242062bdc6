// Real client libraries against `tavora serve`, each with its default
// transaction settings: nothing a client does counts until it commits. The
// clients are the scripts in tests/e2e/clients, run by the system's
// interpreters with the Debian packages scripts/install-deps installs.

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "tests/e2e/client_run.h"
#include "tests/e2e/odbc_driver.h"
#include "tests/scratch_folder.h"
#include "tests/server/tds_test_client.h"

namespace host {
namespace {

namespace fs = std::filesystem;

using server::tds::testing::TavoraProcess;
using tavora::testing::ClientScript;
using tavora::testing::Lines;
using tavora::testing::Loads;
using tavora::testing::RunClient;
using tavora::testing::ScriptRun;

// The system's interpreters: the Debian packages install the libraries for
// them, not for whatever python3 comes first on PATH.
constexpr char kPython[] = "/usr/bin/python3";
constexpr char kPerl[] = "/usr/bin/perl";

// A fresh `tavora serve` in memory on a free port, and the private "SQL
// Server" driver registration the ODBC clients inherit.
class ClientLibrariesE2e : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(tavora::testing::UsePrivateOdbcDriver(), "");
    port_ = serve_.ListeningPort();
    ASSERT_NE(port_, 0);
  }

  std::string Port() const { return std::to_string(port_); }

  // Whether the system's Python can import `module`.
  bool PythonHas(const std::string& module) {
    return Loads(std::string(kPython) + " -c 'import " + module + "'");
  }

  TavoraProcess serve_{{"serve", "--port", "0", "--data", ":memory:"}};
  uint16_t port_ = 0;
};

struct Library {
  const char* name;
  const char* interpreter;
  const char* load;                 // interpreter options that load the library and stop
  const char* package;              // the Debian package that has it
  std::vector<std::string> script;  // the client script and its arguments before the port
};

void PrintTo(const Library& library, std::ostream* os) { *os << library.name; }

const Library kLibraries[] = {
    {"pymssql", kPython, "-c 'import pymssql'", "python3-pymssql", {"transactions.py", "pymssql"}},
    {"pyodbc", kPython, "-c 'import pyodbc'", "python3-pyodbc", {"transactions.py", "pyodbc"}},
    {"DBD_ODBC", kPerl, "-MDBD::ODBC -e 1", "libdbd-odbc-perl", {"transactions.pl"}},
};

class ClientLibraryE2e : public ClientLibrariesE2e,
                         public ::testing::WithParamInterface<Library> {};

// Connect, create a table and commit; an insert rolled back is gone, one
// committed is seen by a second connection, and one left uncommitted is gone
// once its connection is closed or its process has ended without closing.
TEST_P(ClientLibraryE2e, OnlyWhatTheClientCommitsIsKept) {
  const Library& library = GetParam();
  if (!Loads(std::string(library.interpreter) + " " + library.load)) {
    GTEST_SKIP() << library.name << " cannot be loaded: install Debian package " << library.package
                 << " (scripts/install-deps does)";
  }
  std::vector<std::string> command = {library.interpreter, ClientScript(library.script[0])};
  command.insert(command.end(), library.script.begin() + 1, library.script.end());
  command.push_back(Port());
  ScriptRun run = RunClient(command);
  ASSERT_EQ(run.status, 0) << run;
  EXPECT_EQ(run.out,
            "after rollback: []\n"
            "second connection: [2]\n"
            "after close: [2]\n"
            "after the process ended: [2]\n")
      << run;
}

INSTANTIATE_TEST_SUITE_P(Default, ClientLibraryE2e, ::testing::ValuesIn(kLibraries),
                         [](const ::testing::TestParamInfo<Library>& info) {
                           return std::string(info.param.name);
                         });

// While one connection holds an uncommitted insert, another connects and
// ends its own empty transactions at once, but its SELECT of the table fails
// with error 1222 once its LOCK_TIMEOUT runs out, and without a timeout
// completes when the first commits, seeing the row.
TEST_F(ClientLibrariesE2e, PyodbcReaderWaitsForTheWritersCommit) {
  if (!PythonHas("pyodbc")) GTEST_SKIP() << "pyodbc cannot be imported: install python3-pyodbc";
  ScriptRun run = RunClient({kPython, ClientScript("lock_wait.py"), Port()});
  ASSERT_EQ(run.status, 0) << run;
  std::vector<std::string> lines = Lines(run.out);
  ASSERT_EQ(lines.size(), 4u) << run;
  EXPECT_NE(lines[0].find("Lock request time out period exceeded. (1222)"), std::string::npos)
      << run;
  EXPECT_EQ(lines[1], "waited for LOCK_TIMEOUT: True") << run;
  EXPECT_EQ(lines[2], "waiting before the commit: True") << run;
  EXPECT_EQ(lines[3], "after the commit: [1]") << run;
}

// Parameters of every type a client binds come back from SELECT unchanged,
// in type and value, and procedures run by procedure calls.
TEST_F(ClientLibrariesE2e, PyodbcParametersRoundTripAndCallProcedures) {
  if (!PythonHas("pyodbc")) GTEST_SKIP() << "pyodbc cannot be imported: install python3-pyodbc";
  ScriptRun run = RunClient({kPython, ClientScript("parameters.py"), "pyodbc", Port()});
  ASSERT_EQ(run.status, 0) << run;
  EXPECT_EQ(run.out,
            "int same\nbigint same\ndecimal same\nfloat same\ndatetime same\nstr same\n"
            "unicode same\nbytes same\nNone same\nbool same\nuuid same\n"
            "where: [(1, )]\n"
            "call result: [(2, )]\n")
      << run;
}

// callproc runs a procedure with an OUTPUT parameter by a procedure call;
// lastrowid is SCOPE_IDENTITY() asked in a batch of its own.
TEST_F(ClientLibrariesE2e, PymssqlCallprocAndLastrowid) {
  if (!PythonHas("pymssql")) GTEST_SKIP() << "pymssql cannot be imported: install python3-pymssql";
  ScriptRun run = RunClient({kPython, ClientScript("parameters.py"), "pymssql", Port()});
  ASSERT_EQ(run.status, 0) << run;
  EXPECT_EQ(run.out,
            "int same\ndecimal same\nstr same\nunicode same\nNone same\n"
            "lastrowid: 1\n"
            "callproc output: (21, 42)\n")
      << run;
}

// The ODBC call escape with a bound return value and OUTPUT parameters, and
// a prepared query's fields known before it runs.
TEST_F(ClientLibrariesE2e, DbdOdbcReadsOutputParametersAndTheReturnValue) {
  if (!Loads(std::string(kPerl) + " -MDBD::ODBC -e 1"))
    GTEST_SKIP() << "DBD::ODBC cannot be loaded: install libdbd-odbc-perl";
  ScriptRun run = RunClient({kPerl, ClientScript("parameters.pl"), Port()});
  ASSERT_EQ(run.status, 0) << run;
  EXPECT_EQ(run.out,
            "status 7, out 15, note tripled 5\nselect: 42\nfields before execute: 2\nrow: 1,2\n"
            "describe failed: 208\n")
      << run;
}

// freebcp loads 10,000 rows through INSERT BULK and the bulk load stream,
// NULLs and text included, and copies them out again unchanged.
TEST_F(ClientLibrariesE2e, FreebcpLoadsAndUnloadsTenThousandRows) {
  if (!Loads("command -v freebcp")) GTEST_SKIP() << "freebcp is missing: install freetds-bin";
  const fs::path dir = tavora::testing::ScratchFolder("bulk_load");
  ScriptRun run = RunClient({"/bin/bash", ClientScript("bulk_load.sh"), Port(), dir.string()});
  ASSERT_EQ(run.status, 0) << run;
  EXPECT_EQ(run.out,
            "10000 rows copied.\n"
            "10000|40002000.00|8000|5000\n"
            "10000 rows copied.\n"
            "out same as in\n")
      << run;
}

// pyodbc's catalog functions read the ODBC catalog procedures: each gives
// the facts of a small database; and datetimes keep their milliseconds,
// which pyodbc sends once the type list says datetime has them.
TEST_F(ClientLibrariesE2e, PyodbcCatalogFunctionsDescribeTheDatabase) {
  if (!PythonHas("pyodbc")) GTEST_SKIP() << "pyodbc cannot be imported: install python3-pyodbc";
  ScriptRun run = RunClient({kPython, ClientScript("catalog.py"), Port()});
  ASSERT_EQ(run.status, 0) << run;
  EXPECT_EQ(run.out,
            "tables: [('customer', 'TABLE'), ('orders', 'TABLE')]\n"
            "columns: [('id', 'int identity', 10, 0), ('name', 'nvarchar', 40, 0), "
            "('joined', 'datetime', 23, 1), ('credit', 'decimal', 9, 1)]\n"
            "primary key: [('customer_id', 1, 'pk_orders'), ('line', 2, 'pk_orders')]\n"
            "foreign key: [('customer', 'id', 'orders', 'customer_id', 'fk_orders_customer')]\n"
            "statistics: [(None, None, None), ('pk_orders', 0, 'customer_id'), "
            "('pk_orders', 0, 'line'), ('ix_orders_note', 1, 'note')]\n"
            "row id: [('id', 'int identity')]\n"
            "procedures: ['add_customer;1']\n"
            "procedure columns: [('@RETURN_VALUE', 5, 'int'), ('@name', 1, 'nvarchar'), "
            "('@id', 2, 'int')]\n"
            "type info: 32 [('int identity', 4, 10), ('datetime', 93, 23)]\n"
            "inserted: [(1, 'ann', datetime.datetime(2004, 2, 29, 13, 45, 30, 123000)), "
            "(2, 'bob', None)]\n"
            "milliseconds: True\n")
      << run;
}

// SQLAlchemy's mssql dialect over pyodbc sees version 8 and reflects the
// tables, the view and the primary keys through INFORMATION_SCHEMA, without
// the system tables. It asks SCHEMA_NAME() when it connects, and reads
// columns, foreign keys, indexes and view text from SQL Server 2005's
// catalog views and with a common table expression, whatever the version:
// SQL Server 2000 has none of these, so each is refused with its error,
// never answered wrongly.
TEST_F(ClientLibrariesE2e, SqlalchemyReflectsTablesViewsAndPrimaryKeys) {
  if (!PythonHas("sqlalchemy") || !PythonHas("pyodbc"))
    GTEST_SKIP() << "sqlalchemy or pyodbc cannot be imported: install python3-sqlalchemy";
  ScriptRun run = RunClient({kPython, ClientScript("reflection.py"), Port()});
  ASSERT_EQ(run.status, 0) << run;
  const std::string no_function = "refused 'schema_name' is not a recognized function name. (195)";
  const std::string no_columns = "refused Invalid object name 'sys.computed_columns'. (208)";
  const std::string no_indexes = "refused Invalid object name 'sys.indexes'. (208)";
  const std::string no_with = "refused Incorrect syntax near the keyword 'WITH'. (156)";
  std::vector<std::string> expected = {
      "connect: " + no_function,
      "version: (8, 0, 2039)",
      "tables: ['customers', 'order_lines', 'orders']",
      "views: ['customer_orders']",
      "has table: ['orders']",
      "customer_orders definition: refused Invalid object name 'sys.sql_modules'. (208)",
  };
  for (std::string table : {"customers", "order_lines", "orders"}) {
    std::string key = table == "order_lines" ? "['order_id', 'line']" : "['id']";
    expected.push_back(table + " primary key: pk_" + table + " " + key);
    expected.push_back(table + " foreign keys: " + no_with);
    expected.push_back(table + " columns: " + no_columns);
    expected.push_back(table + " indexes: " + no_indexes);
  }
  expected.push_back("customer_orders columns: " + no_columns);
  expected.push_back("reflect: " + no_columns);
  EXPECT_EQ(Lines(run.out), expected) << run;
}

}  // namespace
}  // namespace host
