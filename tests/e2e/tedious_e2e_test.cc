// tedious, the npm TDS client, against `tavora serve` at TDS 7.1. The
// package is installed into the build by scripts/install-npm-packages (make
// deps runs it); node finds it through NODE_PATH.

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "tests/e2e/client_run.h"
#include "tests/server/tds_test_client.h"

#ifndef TAVORA_NPM_DIR
#define TAVORA_NPM_DIR ""
#endif

namespace host {
namespace {

namespace fs = std::filesystem;

using server::tds::testing::TavoraProcess;
using tavora::testing::ClientScript;
using tavora::testing::Loads;
using tavora::testing::RunClient;
using tavora::testing::ScriptRun;

// Parameters of every common type come back from SELECT as they were sent; a
// procedure call reads its OUTPUT parameters and return value; a bulk load of
// 10,000 rows arrives whole, NULLs included.
TEST(TediousE2e, ParametersProcedureCallAndBulkLoad) {
  const fs::path modules = fs::path(TAVORA_NPM_DIR) / "node_modules";
  if (!Loads("command -v node")) GTEST_SKIP() << "node is missing: run scripts/install-deps";
  if (!fs::exists(modules / "tedious" / "package.json")) {
    GTEST_SKIP() << "tedious is not installed in " << modules.string()
                 << ": run scripts/install-npm-packages " << TAVORA_NPM_DIR << " (make deps does)";
  }
  TavoraProcess serve({"serve", "--port", "0", "--data", ":memory:"});
  const uint16_t port = serve.ListeningPort();
  ASSERT_NE(port, 0);
  ScriptRun run = RunClient({"node", ClientScript("tedious.js"), std::to_string(port)},
                            {"NODE_PATH=" + modules.string()});
  ASSERT_EQ(run.status, 0) << run;
  EXPECT_EQ(run.out,
            "Int same\nBigInt same\nDecimal same\nFloat same\nNVarChar same\nVarChar same\n"
            "DateTime same\nBit same\nVarBinary same\nUniqueIdentifier same\nNull same\n"
            "Int null same\n"
            "where: [[1]]\n"
            "call: tripled=42 note=from 14 return 7\n"
            "bulk load: 10000 rows\n"
            "read back: [10000,50005000,50007500,9000,\"row 9999\"]\n")
      << run;
}

}  // namespace
}  // namespace host
