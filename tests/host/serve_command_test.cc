// `tavora serve` as a user runs it: a process that prints where it listens,
// serves TDS clients, and stops cleanly on SIGTERM or SIGINT.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <regex>
#include <string>
#include <vector>

#include "tests/server/tds_test_client.h"

extern char** environ;

namespace host {
namespace {

using server::tds::testing::LoggedIn;
using server::tds::testing::RowsText;
using server::tds::testing::TestClient;

// A `tavora` child process with its standard output (and error) on a pipe.
class ServeProcess {
 public:
  explicit ServeProcess(std::vector<std::string> args) {
    int fds[2];
    if (::pipe(fds) != 0) return;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[1], STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, fds[1], STDERR_FILENO);
    posix_spawn_file_actions_addclose(&actions, fds[0]);
    args.insert(args.begin(), TAVORA_EXE);
    std::vector<char*> argv;
    for (std::string& arg : args) argv.push_back(arg.data());
    argv.push_back(nullptr);
    if (posix_spawn(&pid_, TAVORA_EXE, &actions, nullptr, argv.data(), environ) != 0) pid_ = -1;
    posix_spawn_file_actions_destroy(&actions);
    ::close(fds[1]);
    out_ = fds[0];
  }

  ~ServeProcess() {
    if (pid_ > 0 && !exited_) {
      ::kill(pid_, SIGKILL);
      ::waitpid(pid_, nullptr, 0);
    }
    if (out_ >= 0) ::close(out_);
  }

  // The output up to the first line break, or all of it when the process
  // ends first; bounded by `timeout`.
  std::string ReadLine(std::chrono::seconds timeout = std::chrono::seconds(20)) {
    auto deadline = std::chrono::steady_clock::now() + timeout;
    while (output_.find('\n') == std::string::npos && ReadSome(deadline)) {
    }
    size_t end = output_.find('\n');
    std::string line = output_.substr(0, end);
    output_.erase(0, end == std::string::npos ? output_.size() : end + 1);
    return line;
  }

  // Waits (bounded) for the process to end; its exit status, -1 on timeout.
  int Wait(std::chrono::seconds timeout = std::chrono::seconds(20)) {
    auto deadline = std::chrono::steady_clock::now() + timeout;
    while (std::chrono::steady_clock::now() < deadline) {
      int status = 0;
      pid_t done = ::waitpid(pid_, &status, WNOHANG);
      if (done == pid_) {
        exited_ = true;
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
      }
      // The rest of the output, which also paces this loop.
      ReadSome(
          std::min(deadline, std::chrono::steady_clock::now() + std::chrono::milliseconds(50)));
    }
    return -1;
  }

  pid_t pid() const { return pid_; }
  std::string rest() const { return output_; }

 private:
  bool ReadSome(std::chrono::steady_clock::time_point deadline) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) return false;
    pollfd p{out_, POLLIN, 0};
    if (::poll(&p, 1, static_cast<int>(left.count())) <= 0) return false;
    char buffer[4096];
    ssize_t n = ::read(out_, buffer, sizeof buffer);
    if (n <= 0) return false;
    output_.append(buffer, static_cast<size_t>(n));
    return true;
  }

  pid_t pid_ = -1;
  int out_ = -1;
  bool exited_ = false;
  std::string output_;
};

uint16_t PortOf(const std::string& line) {
  std::smatch match;
  static const std::regex kListening("listening on 127\\.0\\.0\\.1:([0-9]+)");
  if (!std::regex_match(line, match, kListening)) return 0;
  return static_cast<uint16_t>(std::stoi(match[1]));
}

TEST(ServeCommand, ServesClientsUntilASignalStopsIt) {
  for (int signal : {SIGTERM, SIGINT}) {
    SCOPED_TRACE(signal);
    ServeProcess serve({"serve", "--port", "0", "--data", ":memory:"});
    ASSERT_GT(serve.pid(), 0);
    std::string line = serve.ReadLine();
    uint16_t port = PortOf(line);
    ASSERT_NE(port, 0) << line;
    {
      TestClient client(port);
      ASSERT_TRUE(LoggedIn(client.Login("")));
      EXPECT_EQ(RowsText(client.Batch("SELECT name FROM sysdatabases WHERE dbid = 1")), "master\n");
      // A client still connected does not keep the server from stopping.
      ::kill(serve.pid(), signal);
      EXPECT_TRUE(client.WaitForClose());
    }
    EXPECT_EQ(serve.Wait(), 0);
    EXPECT_EQ(serve.ReadLine(), signal == SIGTERM ? "stopped (SIGTERM)" : "stopped (SIGINT)");
  }
}

TEST(ServeCommand, AnAddressItCannotUseIsAnError) {
  ServeProcess serve({"serve", "--port", "0", "--address", "256.1.1.1", "--data", ":memory:"});
  ASSERT_GT(serve.pid(), 0);
  EXPECT_EQ(serve.Wait(), 1);
  EXPECT_EQ(serve.ReadLine(), "tavora serve: '256.1.1.1' is not an IP address");
}

}  // namespace
}  // namespace host
