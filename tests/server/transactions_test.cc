// Transactions against the store itself: what a file store keeps across a
// restart, and what an unfinished transaction leaves. Exact results and errors are in
// scripts/transactions.test.

#include <gtest/gtest.h>

#include "server/engine.h"
#include "tests/scratch_folder.h"
#include "tests/server/server_test_util.h"

namespace server::testing {
namespace {

TEST(Transactions, OnlyCommittedTransactionsOutliveTheServer) {
  auto folder = tavora::testing::ScratchFolder("tavora-tran");
  std::string path = (folder / "tavora.db").string();
  auto open = [&path] {
    auto opened = Engine::Open(path, ServerOptions{});
    if (auto* error = std::get_if<std::string>(&opened)) ADD_FAILURE() << *error;
    return std::move(std::get<std::unique_ptr<Engine>>(opened));
  };
  {
    std::unique_ptr<Engine> engine = open();
    Client client(*engine);
    ASSERT_EQ(Describe(client.Execute("CREATE TABLE t (a INT)\n"
                                      "GO\n"
                                      "BEGIN TRAN INSERT INTO t VALUES (1) CREATE TABLE u (b INT)\n"
                                      "GO\n"
                                      "INSERT INTO u VALUES (2) COMMIT\n"
                                      "GO\n"
                                      "INSERT INTO t VALUES (4)\n"
                                      "BEGIN TRAN INSERT INTO t VALUES (3) DROP TABLE u")),
              "ok");
    // The server stops with the last transaction open, as a killed one would.
  }
  std::unique_ptr<Engine> engine = open();
  Client client(*engine);
  // What the last batch did before its BEGIN TRAN was committed there.
  EXPECT_EQ(ResultText(client.Query("SELECT a FROM t")), "a\n1\n4");
  EXPECT_EQ(ResultText(client.Query("SELECT b FROM u")), "b\n2");
}

TEST(Transactions, RollbackInsideAProcedureReplacesTheCatalogItRunsFrom) {
  // The procedure that rolls back is itself part of the catalog read back
  // from the store; it must go on running safely (the sanitizer build
  // checks that nothing freed is touched).
  Engine engine{ServerOptions{}};
  Client client(engine);
  ASSERT_EQ(Describe(client.Execute("CREATE PROCEDURE p AS\n"
                                    "CREATE TABLE inside (a INT)\n"
                                    "ROLLBACK\n"
                                    "SELECT 1 AS after\n"
                                    "GO\n"
                                    "BEGIN TRAN\n"
                                    "CREATE TABLE outside (b INT)")),
            "ok");
  BatchOutcome outcome = client.Run("EXEC p");
  EXPECT_EQ(Describe(outcome.error),
            "Msg 266, Level 16, State 1, Line 1\nTransaction count after EXECUTE indicates that a "
            "COMMIT or ROLLBACK TRANSACTION statement is missing. Previous count = 1, current "
            "count = 0.");
  ASSERT_FALSE(outcome.results.empty());
  EXPECT_EQ(ResultText(outcome.results.back()), "after\n1");
  EXPECT_EQ(Describe(client.Execute("SELECT b FROM outside")),
            "Msg 208, Level 16, State 1, Line 1\nInvalid object name 'outside'.");
  // The procedure was there before the transaction, so it still is.
  EXPECT_EQ(Describe(client.Execute("BEGIN TRAN EXEC p")), Describe(outcome.error));
}

}  // namespace
}  // namespace server::testing
