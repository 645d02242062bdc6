#ifndef TAVORA_TESTS_SERVER_TDS_TEST_CLIENT_H_
#define TAVORA_TESTS_SERVER_TDS_TEST_CLIENT_H_

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "server/data_folder.h"
#include "server/tds/listener.h"
#include "server/tds/login7.h"
#include "server/tds/packet.h"
#include "server/tds/tokens.h"

namespace server::tds::testing {

// A blocking TDS client over a plain socket, built from the codec's own
// encoders and decoders, for driving a listener in tests. Every read waits
// at most `kTimeout`, so a server that never answers fails the test instead
// of hanging it.
class TestClient {
 public:
  static constexpr std::chrono::seconds kTimeout{20};

  // Connects to 127.0.0.1:port; fails the test (ADD_FAILURE) and leaves the
  // client closed when that is impossible.
  explicit TestClient(uint16_t port);
  ~TestClient();
  TestClient(const TestClient&) = delete;
  TestClient& operator=(const TestClient&) = delete;

  bool connected() const { return fd_ >= 0; }

  // Raw bytes, for tests that break the protocol on purpose.
  bool SendRaw(std::span<const uint8_t> bytes);
  // Half-closes the connection: the server sees the end of the stream.
  void FinishSending();
  bool Send(PacketType type, std::span<const uint8_t> payload, size_t packet_size = 4096);
  // The next whole message from the server; empty when the server closed
  // the connection or nothing came within the timeout.
  std::optional<Message> Receive();
  // True when the server closes the connection within the timeout.
  bool WaitForClose();

  // PRELOGIN then LOGIN7 as sa with `password`; the login reply's tokens
  // (empty when the server sent none).
  std::vector<Token> Login(const std::string& password = "", const std::string& database = "");
  std::vector<Token> Login(const Login7& login);
  // One SQL batch; the reply's tokens.
  std::vector<Token> Batch(const std::string& sql);

 private:
  int fd_ = -1;
  MessageAssembler assembler_;
};

// A Login7 as the datasets' driver sends it, for user "sa".
Login7 SaLogin(const std::string& password);

// Tokens of one kind, in order.
template <typename T>
std::vector<T> Only(const std::vector<Token>& tokens) {
  std::vector<T> out;
  for (const Token& token : tokens) {
    if (const T* t = std::get_if<T>(&token)) out.push_back(*t);
  }
  return out;
}

// Whether the token list holds a LOGINACK.
bool LoggedIn(const std::vector<Token>& tokens);

// The rows of every ROW token, each value as text ("NULL" for null), cells
// joined by "|" and rows by "\n"; for comparing results at a glance.
std::string RowsText(const std::vector<Token>& tokens);

// Waits until `condition` holds or `timeout` passes; the condition's value.
bool WaitUntil(const std::function<bool()>& condition,
               std::chrono::milliseconds timeout = std::chrono::seconds(20));

// A listener on a free port in front of a fresh server whose sa password is
// "secret", started for each test and stopped after it.
class ListenerFixture : public ::testing::Test {
 protected:
  void SetUp() override { Start(std::string(DataFolder::kMemory)); }
  void TearDown() override;

  // Opens `data` and starts a listener on it.
  void Start(const std::string& data);
  // Stops the listener and closes the folder.
  void StopAll();

  // Runs `sql` straight on the engine, under the listener's lock, as a
  // session of its own; the first result's rows as RowsText would print them,
  // or "error N" when the batch failed.
  std::string Direct(const std::string& sql);

  // A new client logs in and lists the databases: the listener still serves.
  void ExpectServing();

  // What Start() gives the listener.
  ListenerOptions options_;
  std::unique_ptr<DataFolder> folder_;
  std::unique_ptr<Listener> listener_;
  uint16_t port_ = 0;
};

// A `tavora` child process (TAVORA_EXE with `args`), its standard output
// and error on one pipe; killed when still running at destruction.
// `environment` entries ("NAME=VALUE") replace or add to the test's own
// environment, from which TAVORA_SA_PASSWORD is always removed; `limits`
// are set in the child before it runs, as a user's ulimit would.
class TavoraProcess {
 public:
  struct Limit {
    int resource;  // RLIMIT_AS, RLIMIT_NOFILE, ...
    rlim_t value;
  };

  explicit TavoraProcess(std::vector<std::string> args, std::vector<std::string> environment = {},
                         std::vector<Limit> limits = {});
  ~TavoraProcess();
  TavoraProcess(const TavoraProcess&) = delete;
  TavoraProcess& operator=(const TavoraProcess&) = delete;

  pid_t pid() const { return pid_; }

  // The output up to the next line break, or all of it when the process
  // ends first; bounded by `timeout`.
  std::string ReadLine(std::chrono::seconds timeout = std::chrono::seconds(20));
  // The port of a "listening on 127.0.0.1:PORT" first line; 0 (and the
  // line in a test failure) otherwise.
  uint16_t ListeningPort();
  // Waits (bounded) for the process to end; its exit status, 128 + the
  // signal when one ended it, -1 on timeout.
  int Wait(std::chrono::seconds timeout = std::chrono::seconds(20));
  // Whether the process still runs.
  bool Running();
  // What has been read and not yet returned, after Wait or ReadLine.
  const std::string& rest() const { return output_; }

  // Resident memory (VmRSS) in KiB and CPU time (user and system, all
  // threads) in clock ticks, from /proc; -1 when they cannot be read.
  long ResidentKiB() const;
  long CpuTicks() const;

 private:
  bool ReadSome(std::chrono::steady_clock::time_point deadline);

  pid_t pid_ = -1;
  int out_ = -1;
  bool exited_ = false;
  int status_ = -1;
  std::string output_;
};

}  // namespace server::tds::testing

#endif  // TAVORA_TESTS_SERVER_TDS_TEST_CLIENT_H_
