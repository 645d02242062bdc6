// The FreeTDS command-line tools (tsql, bsqldb) and unixODBC's isql over the
// TDS ODBC driver against `tavora serve`: the same query through each, its
// output exact. (freebcp has its own test among the client libraries.)

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "tests/e2e/client_run.h"
#include "tests/e2e/odbc_driver.h"
#include "tests/scratch_folder.h"
#include "tests/server/tds_test_client.h"

namespace host {
namespace {

using server::tds::testing::TavoraProcess;
using tavora::testing::ClientScript;
using tavora::testing::Loads;
using tavora::testing::RunClient;
using tavora::testing::ScriptRun;

// Integers, Unicode text, decimals, datetimes with milliseconds and NULLs,
// as each tool prints them: tsql and isql with a header line, bsqldb rows
// only (its header goes to standard error); datetimes in each tool's own
// format, isql's from the ODBC timestamp.
TEST(FreetdsToolsE2e, TsqlBsqldbAndIsqlPrintAQueryExactly) {
  for (const char* tool : {"tsql", "bsqldb", "isql"}) {
    if (!Loads(std::string("command -v ") + tool))
      GTEST_SKIP() << tool
                   << " is missing: install freetds-bin and unixodbc (scripts/install-deps)";
  }
  // isql finds the driver as "SQL Server" through the private registration.
  ASSERT_EQ(tavora::testing::UsePrivateOdbcDriver(), "");
  TavoraProcess serve({"serve", "--port", "0", "--data", ":memory:"});
  const uint16_t port = serve.ListeningPort();
  ASSERT_NE(port, 0);
  const std::filesystem::path dir = tavora::testing::ScratchFolder("freetds_tools");
  ScriptRun run = RunClient(
      {"/bin/bash", ClientScript("freetds_tools.sh"), std::to_string(port), dir.string()});
  ASSERT_EQ(run.status, 0) << run;
  EXPECT_EQ(run.out,
            "--- tsql\n"
            "n\tname\tamount\tat\n"
            "1\tna\u00efve\t12.50\tFeb 29 2004 01:45PM\n"
            "2\tNULL\tNULL\tNULL\n"
            "--- bsqldb\n"
            "1|na\u00efve|12.50|Feb 29 2004  1:45:30:123PM\n"
            "2|NULL|NULL|NULL\n"
            "--- isql\n"
            "n|name|amount|at\n"
            "1|na\u00efve|12.50|2004-02-29 13:45:30.123\n"
            "2|||\n")
      << run;
}

}  // namespace
}  // namespace host
