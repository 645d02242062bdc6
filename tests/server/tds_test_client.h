#ifndef TAVORA_TESTS_SERVER_TDS_TEST_CLIENT_H_
#define TAVORA_TESTS_SERVER_TDS_TEST_CLIENT_H_

#include <gtest/gtest.h>

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

  std::unique_ptr<DataFolder> folder_;
  std::unique_ptr<Listener> listener_;
  uint16_t port_ = 0;
};

}  // namespace server::tds::testing

#endif  // TAVORA_TESTS_SERVER_TDS_TEST_CLIENT_H_
