// What a file store keeps when the process is killed or the disk fills up:
// every batch reported done and nothing of one that was not.

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "server/engine.h"
#include "tests/scratch_folder.h"
#include "tests/server/server_test_util.h"

namespace server::testing {
namespace {

namespace fs = std::filesystem;

std::unique_ptr<Engine> OpenStore(const std::string& path) {
  auto opened = Engine::Open(path, ServerOptions{});
  if (auto* error = std::get_if<std::string>(&opened)) {
    ADD_FAILURE() << *error;
    return nullptr;
  }
  return std::move(std::get<std::unique_ptr<Engine>>(opened));
}

TEST(StoreDurability, AKilledServerKeepsEveryBatchItReportedAndNoOpenTransaction) {
  fs::path folder = tavora::testing::ScratchFolder("tavora-kill");
  std::string path = (folder / "tavora.db").string();
  int ready[2];
  ASSERT_EQ(::pipe(ready), 0);
  pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    // The child serves until it is killed; it only says when its batches are done.
    std::unique_ptr<Engine> engine = OpenStore(path);
    Client client(*engine);
    bool ok = !client.Execute(
        "CREATE TABLE t (a INT NOT NULL PRIMARY KEY)\n"
        "GO\n"
        "INSERT INTO t VALUES (1) INSERT INTO t VALUES (2)\n"
        "GO\n"
        "BEGIN TRAN INSERT INTO t VALUES (3) CREATE TABLE u (b INT)");
    char byte = ok ? 'y' : 'n';
    (void)::write(ready[1], &byte, 1);
    for (;;) ::pause();
  }
  ::close(ready[1]);
  char byte = 0;
  ASSERT_EQ(::read(ready[0], &byte, 1), 1);
  ::close(ready[0]);
  ::kill(child, SIGKILL);
  int status = 0;
  ::waitpid(child, &status, 0);
  ASSERT_EQ(byte, 'y');

  std::unique_ptr<Engine> engine = OpenStore(path);
  ASSERT_TRUE(engine);
  Client client(*engine);
  EXPECT_EQ(ResultText(client.Query("SELECT a FROM t")), "a\n1\n2");
  EXPECT_EQ(Describe(client.Execute("SELECT b FROM u")),
            "Msg 208, Level 16, State 1, Line 1\nInvalid object name 'u'.");
}

TEST(StoreDurability, ABatchThatCannotBeWrittenLeavesNoTraceAndTheServerGoesOn) {
  fs::path folder = tavora::testing::ScratchFolder("tavora-full");
  std::string path = (folder / "tavora.db").string();
  std::unique_ptr<Engine> engine = OpenStore(path);
  ASSERT_TRUE(engine);
  auto client = std::make_unique<Client>(*engine);
  ASSERT_EQ(Describe(client->Execute("CREATE TABLE t (a INT, b VARCHAR(8000))\n"
                                     "GO\n"
                                     "INSERT INTO t VALUES (1, 'kept')")),
            "ok");

  // Files may grow only a little from here: the operating system refuses
  // the rest, as a full disk would.
  std::string big_rows = "BEGIN TRAN CREATE TABLE lost (c INT) ";
  for (int i = 0; i < 400; ++i)
    big_rows += "INSERT INTO t VALUES (2, '" + std::string(7000, 'x') + "') ";
  uintmax_t written = 0;
  for (const auto& entry : fs::directory_iterator(folder)) written += entry.file_size();
  rlimit saved{};
  ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
  sighandler_t previous = ::signal(SIGXFSZ, SIG_IGN);
  rlimit tight = saved;
  tight.rlim_cur = static_cast<rlim_t>(written + 256 * 1024);
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &tight), 0);
  BatchOutcome outcome = client->Run(big_rows);
  ::setrlimit(RLIMIT_FSIZE, &saved);
  ::signal(SIGXFSZ, previous);

  ASSERT_TRUE(outcome.error.has_value());
  EXPECT_TRUE(outcome.error->number == 1105 || outcome.error->number == 50000)
      << outcome.error->message;
  EXPECT_NE(outcome.error->message.find(path), std::string::npos) << outcome.error->message;
  EXPECT_TRUE(outcome.row_counts.empty());
  // The transaction the batch began ended with it, and the client is told.
  ASSERT_FALSE(outcome.transactions.empty());
  EXPECT_EQ(outcome.transactions.back().kind, TransactionChange::Kind::kRollback);

  // Nothing of the batch is in the server, and the next batch works.
  EXPECT_EQ(ResultText(client->Query("SELECT a, b, @@TRANCOUNT AS n FROM t")), "a|b|n\n1|kept|0");
  EXPECT_EQ(Describe(client->Execute("SELECT c FROM lost")),
            "Msg 208, Level 16, State 1, Line 1\nInvalid object name 'lost'.");
  EXPECT_EQ(Describe(client->Execute("INSERT INTO t VALUES (3, 'after')")), "ok");
  client.reset();
  engine.reset();
  engine = OpenStore(path);
  ASSERT_TRUE(engine);
  Client reopened(*engine);
  EXPECT_EQ(ResultText(reopened.Query("SELECT a FROM t")), "a\n1\n3");
  EXPECT_EQ(Describe(reopened.Execute("SELECT c FROM lost")),
            "Msg 208, Level 16, State 1, Line 1\nInvalid object name 'lost'.");
}

}  // namespace
}  // namespace server::testing
