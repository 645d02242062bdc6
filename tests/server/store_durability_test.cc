// What a file store keeps when the process is killed or the disk fills up:
// every batch reported done and nothing of one that was not.

#include <gtest/gtest.h>
#include <sched.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/statvfs.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <functional>
#include <map>
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

// A child process loads batches of kRows rows, acknowledging each one once
// Execute has returned, and is killed while it goes on. Three rounds on the
// same store.
TEST(StoreDurability, AKilledServerKeepsEveryAcknowledgedBatchAndNoneInPart) {
  constexpr int kRows = 40;
  fs::path folder = tavora::testing::ScratchFolder("tavora-kill");
  std::string path = (folder / "tavora.db").string();
  int first_batch = 1;
  for (int round = 0, kill_after = 3; round < 3; ++round, kill_after += 7) {
    SCOPED_TRACE("round " + std::to_string(round));
    int acks[2];
    ASSERT_EQ(::pipe(acks), 0);
    pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      ::close(acks[0]);
      std::unique_ptr<Engine> engine = OpenStore(path);
      if (!engine) ::_exit(1);
      Client client(*engine);
      if (first_batch == 1 && client.Execute("CREATE TABLE t (batch INT, seq INT)")) ::_exit(1);
      for (int32_t batch = first_batch;; ++batch) {
        std::string text;
        for (int seq = 0; seq < kRows; ++seq)
          text +=
              "INSERT INTO t VALUES (" + std::to_string(batch) + ", " + std::to_string(seq) + ")\n";
        if (client.Execute(text)) ::_exit(1);
        if (::write(acks[1], &batch, sizeof batch) != sizeof batch) ::_exit(1);
      }
    }
    ::close(acks[1]);
    int32_t acknowledged = 0;
    for (int read = 0; read < kill_after; ++read) {
      ASSERT_EQ(::read(acks[0], &acknowledged, sizeof acknowledged),
                static_cast<ssize_t>(sizeof acknowledged));
    }
    ::kill(child, SIGKILL);
    ::waitpid(child, nullptr, 0);
    ::close(acks[0]);

    std::unique_ptr<Engine> engine = OpenStore(path);
    ASSERT_TRUE(engine);
    Client client(*engine);
    std::map<int64_t, int> rows;
    for (const auto& row : client.Query("SELECT batch FROM t").rows)
      ++rows[std::get<int64_t>(row[0])];
    for (const auto& [batch, count] : rows) EXPECT_EQ(count, kRows) << "batch " << batch;
    for (int32_t batch = 1; batch <= acknowledged; ++batch)
      EXPECT_TRUE(rows.contains(batch)) << "acknowledged batch " << batch << " is missing";
    // Batches are a prefix (the child may have run ahead of the
    // acknowledgements read).
    ASSERT_FALSE(rows.empty());
    EXPECT_EQ(rows.rbegin()->first, static_cast<int64_t>(rows.size()));
    first_batch = static_cast<int>(rows.size()) + 1;
  }
}

// How space runs out for FillUntilRefused: `Scarce` is called once the
// server has its first rows, `Plenty` after the refused batch.
struct SpaceLimit {
  std::function<std::string()> scarce;
  std::function<void()> plenty;
};

// Runs a batch too big for the space left and checks that it fails with
// `number`, leaves no trace in the server or on disk, and that the server
// goes on once there is space again. Returns what went wrong ("" for
// nothing); runs in a child process, so it uses no test assertions.
std::string FillUntilRefused(const std::string& path, const SpaceLimit& limit, int number) {
  auto engine = OpenStore(path);
  if (!engine) return "the store did not open";
  auto client = std::make_unique<Client>(*engine);
  if (client->Execute(
          "CREATE TABLE t (a INT, b VARCHAR(8000))\nGO\nINSERT INTO t VALUES (1, 'kept')"))
    return "setting up failed";
  std::string big = "BEGIN TRAN CREATE TABLE lost (c INT) ";
  for (int i = 0; i < 400; ++i)
    big += "INSERT INTO t VALUES (2, '" + std::string(7000, 'x') + "') ";
  if (std::string failed = limit.scarce(); !failed.empty()) return failed;
  BatchOutcome outcome = client->Run(big);
  limit.plenty();
  std::string wrong;
  auto expect = [&wrong](bool holds, const std::string& what) {
    if (!holds) wrong += what + "\n";
  };
  expect(outcome.error && outcome.error->number == number,
         "the batch should fail with " + std::to_string(number) + ": " + Describe(outcome.error));
  expect(outcome.error && outcome.error->message.find(path) != std::string::npos,
         "the error should name the store");
  expect(outcome.row_counts.empty(), "the undone statements are still reported");
  auto check_state = [&](Client& c, const std::string& rows) {
    expect(ResultText(c.Query("SELECT a, b, @@TRANCOUNT AS n FROM t")) == rows,
           "t should hold " + rows);
    expect(Describe(c.Execute("SELECT c FROM lost")) ==
               "Msg 208, Level 16, State 1, Line 1\nInvalid object name 'lost'.",
           "the table the failed batch made is there");
  };
  check_state(*client, "a|b|n\n1|kept|0");
  expect(!client->Execute("INSERT INTO t VALUES (3, 'after')"), "the next batch fails");
  client.reset();
  engine = OpenStore(path);
  if (!engine) return wrong + "the store did not open again";
  Client reopened(*engine);
  check_state(reopened, "a|b|n\n1|kept|0\n3|after|0");
  return wrong;
}

// Runs `body` in a child process: "" when it passed, "skip: why" to skip.
std::string InChild(const std::function<std::string()>& body) {
  int report[2];
  if (::pipe(report) != 0) return "no pipe";
  pid_t child = ::fork();
  if (child < 0) return "no fork";
  if (child == 0) {
    ::close(report[0]);
    std::string text = body();
    (void)::write(report[1], text.data(), text.size());
    ::_exit(0);
  }
  ::close(report[1]);
  std::string text;
  char buffer[4096];
  for (ssize_t n; (n = ::read(report[0], buffer, sizeof buffer)) > 0;) text.append(buffer, n);
  ::close(report[0]);
  int status = 0;
  ::waitpid(child, &status, 0);
  if (!WIFEXITED(status)) return "the child process died: " + text;
  return text;
}

TEST(StoreDurability, AFileThatCannotGrowFailsTheBatchWithoutATrace) {
  fs::path folder = tavora::testing::ScratchFolder("tavora-fsize");
  std::string path = (folder / "tavora.db").string();
  std::string result = InChild([&] {
    // The operating system refuses to let files grow much past what they
    // hold now (an I/O error to SQLite, not a full disk).
    ::signal(SIGXFSZ, SIG_IGN);
    rlimit saved{};
    ::getrlimit(RLIMIT_FSIZE, &saved);
    SpaceLimit limit{[&]() -> std::string {
                       uintmax_t written = 0;
                       for (const auto& entry : fs::directory_iterator(folder))
                         written += entry.file_size();
                       rlimit tight = saved;
                       tight.rlim_cur = static_cast<rlim_t>(written + 256 * 1024);
                       return ::setrlimit(RLIMIT_FSIZE, &tight) == 0 ? "" : "setrlimit failed";
                     },
                     [&] { ::setrlimit(RLIMIT_FSIZE, &saved); }};
    return FillUntilRefused(path, limit, 50000);
  });
  EXPECT_EQ(result, "");
}

TEST(StoreDurability, AFullFileSystemFailsTheBatchWith1105WithoutATrace) {
  fs::path folder = tavora::testing::ScratchFolder("tavora-tmpfs");
  std::string result = InChild([&]() -> std::string {
    // A small file system of the child's own: in a mount namespace of its
    // own (and a user namespace where it is not root), never seen outside.
    if (::unshare(CLONE_NEWNS) != 0) {
      uid_t uid = ::getuid();
      gid_t gid = ::getgid();
      if (::unshare(CLONE_NEWUSER | CLONE_NEWNS) != 0)
        return "skip: no mount namespace can be made here (" + std::string(strerror(errno)) + ")";
      tavora::testing::WriteFile("/proc/self/setgroups", "deny");
      tavora::testing::WriteFile("/proc/self/uid_map", "0 " + std::to_string(uid) + " 1");
      tavora::testing::WriteFile("/proc/self/gid_map", "0 " + std::to_string(gid) + " 1");
    }
    if (::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
        ::mount("tavora-test", folder.c_str(), "tmpfs", 0, "size=1m") != 0)
      return "skip: a tmpfs cannot be mounted here (" + std::string(strerror(errno)) + ")";
    std::string filler = (folder / "filler").string();
    SpaceLimit limit{[&]() -> std::string {
                       // Everything but about 200 KiB is taken.
                       struct statvfs fs_info {};
                       if (::statvfs(folder.c_str(), &fs_info) != 0) return "statvfs failed";
                       uint64_t free_bytes = fs_info.f_bavail * fs_info.f_frsize;
                       if (free_bytes < 300 * 1024) return "the tmpfs is already full";
                       tavora::testing::WriteFile(filler,
                                                  std::string(free_bytes - 200 * 1024, 'f'));
                       return "";
                     },
                     [&] { fs::remove(filler); }};
    return FillUntilRefused((folder / "tavora.db").string(), limit, 1105);
  });
  if (result.starts_with("skip: ")) GTEST_SKIP() << result.substr(6);
  EXPECT_EQ(result, "");
}

}  // namespace
}  // namespace server::testing
