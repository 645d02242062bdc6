// Clients that misbehave or crowd in must cost nothing but their own
// connection: after each case the listener still serves and the catalog is
// as the well-behaved batches left it.

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <memory>
#include <thread>

#include "server/tds/prelogin.h"
#include "server/tds/sql_batch.h"
#include "tests/scratch_folder.h"
#include "tests/server/tds_test_client.h"

namespace server::tds::testing {
namespace {

using TdsReliability = ListenerFixture;

std::vector<uint8_t> Header(PacketType type, uint8_t status, uint16_t length) {
  PacketHeader header{type, status, length, 0, 1, 0};
  std::vector<uint8_t> bytes(kHeaderSize);
  EncodeHeader(header, bytes.data());
  return bytes;
}

TEST_F(TdsReliability, BadStreamsCloseOnlyTheirOwnConnection) {
  struct Case {
    const char* name;
    bool logged_in;  // whether the bad bytes come after a login
    std::vector<uint8_t> bytes;
  };
  std::string http = "GET / HTTP/1.1\r\nHost: x\r\n\r\n";
  std::vector<uint8_t> truncated_prelogin = Header(PacketType::kPreLogin, 1, 40);
  truncated_prelogin.resize(20, 0xFF);
  std::vector<uint8_t> bad_prelogin = Header(PacketType::kPreLogin, 1, 10);
  bad_prelogin.insert(bad_prelogin.end(), {0x00, 0x7F});
  std::vector<uint8_t> bad_login = Header(PacketType::kLogin7, 1, 8 + 90);
  bad_login.resize(8 + 90, 0xEE);
  const Case cases[] = {
      {"garbage before the pre-login", false, std::vector<uint8_t>(http.begin(), http.end())},
      {"oversized packet length", false, Header(PacketType::kPreLogin, 1, 0xFFFF)},
      {"packet length below the header", true, Header(PacketType::kSqlBatch, 1, 3)},
      {"truncated packet, then end of stream", false, truncated_prelogin},
      {"undecodable pre-login", false, bad_prelogin},
      {"undecodable login", false, bad_login},
      {"a batch before any login", false,
       Packetize(PacketType::kSqlBatch, EncodeSqlBatch("SELECT 1", false), 0, 4096)},
      {"a second login", true,
       Packetize(PacketType::kLogin7, EncodeLogin7(SaLogin("secret")), 0, 4096)},
      {"unknown message type", true, Packetize(static_cast<PacketType>(0x55), {}, 0, 4096)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TestClient bystander(port_);
    ASSERT_TRUE(LoggedIn(bystander.Login("secret")));
    {
      TestClient bad(port_);
      if (c.logged_in) {
        ASSERT_TRUE(LoggedIn(bad.Login("secret")));
      }
      bad.SendRaw(c.bytes);
      // Half-sent input ends when the client stops writing.
      bad.FinishSending();
      EXPECT_TRUE(bad.WaitForClose());
    }
    EXPECT_EQ(RowsText(bystander.Batch("SELECT 7")), "7\n") << "an open session is untouched";
    ExpectServing();
  }
  EXPECT_TRUE(WaitUntil([&] { return listener_->open_connections() == 0; }));
}

TEST_F(TdsReliability, ProtocolViolationsAreAnsweredByClosingAtOnce) {
  // The client keeps its side open: the server must notice by itself.
  // Before a login, nothing longer than one packet of the default size.
  std::vector<uint8_t> long_login = Header(PacketType::kLogin7, 0, 4096);
  long_login.resize(4096, 0);
  std::vector<uint8_t> more = Header(PacketType::kLogin7, 0, 9);
  more.push_back(0);
  long_login.insert(long_login.end(), more.begin(), more.end());
  for (const auto& bytes : {Header(PacketType::kPreLogin, 1, 0xFFFF),
                            std::vector<uint8_t>{'G', 'E', 'T', ' ', '/', ' ', 'H', 'T'},
                            Header(PacketType::kPreLogin, 1, 4097), long_login}) {
    TestClient bad(port_);
    bad.SendRaw(bytes);
    EXPECT_TRUE(bad.WaitForClose());
  }
}

TEST_F(TdsReliability, OversizedMessageIsRefused) {
  TestClient client(port_);
  ASSERT_TRUE(LoggedIn(client.Login("secret")));
  // Packets of a batch that never ends, past the 4 MiB bound.
  std::vector<uint8_t> packet = Header(PacketType::kSqlBatch, 0, 32000);
  packet.resize(32000, 'x');
  bool sending = true;
  for (size_t sent = 0; sending && sent <= kMaxMessageSize + 32000; sent += 32000 - kHeaderSize) {
    sending = client.SendRaw(packet);
  }
  EXPECT_TRUE(client.WaitForClose());
  ExpectServing();
}

TEST_F(TdsReliability, DisconnectMidBatchLogsTheSessionOut) {
  {
    TestClient client(port_);
    ASSERT_TRUE(LoggedIn(client.Login("secret")));
    ASSERT_EQ(Only<ServerMessage>(client.Batch("CREATE DATABASE tds_mid")).size(), 0u);
    // The session holds tds_mid in use, sends a batch and leaves without
    // reading its reply.
    ASSERT_TRUE(client.Send(PacketType::kSqlBatch,
                            EncodeSqlBatch("USE tds_mid\r\nCREATE TABLE t (a int)", false)));
  }
  {
    TestClient client(port_);
    ASSERT_TRUE(LoggedIn(client.Login("secret")));
    // Only the first packet of a two-packet batch, then gone.
    std::vector<uint8_t> packets = Packetize(
        PacketType::kSqlBatch, EncodeSqlBatch(std::string(600, ' ') + "SELECT 1", false), 0, 512);
    client.SendRaw(std::span<const uint8_t>(packets).first(512));
  }
  ASSERT_TRUE(WaitUntil([&] { return listener_->open_connections() == 0; }));
  // Whatever the batch had done stays done, and its session is gone: the
  // database it used can be dropped.
  EXPECT_EQ(Direct("USE tds_mid\r\nSELECT name FROM sysobjects WHERE name = 't'"), "t\n");
  EXPECT_EQ(Direct("DROP DATABASE tds_mid"), "");
  ExpectServing();
}

// A dataset's Delete connects right after its Create's connection closed and
// drops the database that connection used; it must not race the old
// connection's logout. Many rounds, since losing the race is a matter of
// thread scheduling.
TEST_F(TdsReliability, AReconnectingClientFindsItsOldSessionGone) {
  auto error_of = [](const std::vector<Token>& reply) {
    for (const ServerMessage& message : Only<ServerMessage>(reply)) {
      if (message.error) return std::to_string(message.number) + " " + message.text;
    }
    return std::string("none");
  };
  for (int round = 0; round < 50; ++round) {
    SCOPED_TRACE(round);
    {
      TestClient client(port_);
      ASSERT_TRUE(LoggedIn(client.Login("secret")));
      ASSERT_EQ(error_of(client.Batch("CREATE DATABASE tds_again\r\nUSE tds_again")), "none");
    }
    TestClient client(port_);
    ASSERT_TRUE(LoggedIn(client.Login("secret")));
    ASSERT_EQ(error_of(client.Batch("DROP DATABASE tds_again")), "none");
  }
}

TEST_F(TdsReliability, ChangesPersistAcrossRestarts) {
  StopAll();
  std::string data = tavora::testing::ScratchFolder("tds-persist").string();
  Start(data);
  {
    TestClient client(port_);
    ASSERT_TRUE(LoggedIn(client.Login("secret")));
    EXPECT_TRUE(Only<ServerMessage>(client.Batch("CREATE DATABASE tds_kept")).empty());
  }
  StopAll();
  Start(data);
  EXPECT_EQ(Direct("SELECT name FROM sysdatabases WHERE name = 'tds_kept'"), "tds_kept\n");
}

TEST_F(TdsReliability, LoginStormOf200FromEightClients) {
  ASSERT_EQ(Direct("CREATE DATABASE tds_storm"), "");
  constexpr int kThreads = 8;
  constexpr int kLoginsPerThread = 25;
  std::atomic<int> served{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      for (int i = 0; i < kLoginsPerThread; ++i) {
        TestClient client(port_);
        // Every fourth client gives a wrong password, to mix refusals in.
        bool refuse = (t + i) % 4 == 0;
        std::vector<Token> reply = client.Login(refuse ? "wrong" : "secret", "tds_storm");
        if (refuse) {
          if (!LoggedIn(reply) && client.WaitForClose()) ++served;
          continue;
        }
        if (LoggedIn(reply) && RowsText(client.Batch("SELECT DB_NAME()")) == "tds_storm\n")
          ++served;
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(served.load(), kThreads * kLoginsPerThread);
  ASSERT_TRUE(WaitUntil([&] { return listener_->open_connections() == 0; }));
  // Every session was logged out, or the database would still be in use.
  EXPECT_EQ(Direct("DROP DATABASE tds_storm"), "");
  ExpectServing();
}

// `tavora serve` itself, in a child process with the limits a user's ulimit
// would set: whatever a client does, and however the process runs short, the
// server survives it and answers the next login and batch.

std::vector<std::string> Serve(std::vector<std::string> more = {}) {
  std::vector<std::string> args = {"serve", "--port", "0", "--data", ":memory:"};
  args.insert(args.end(), more.begin(), more.end());
  return args;
}

// A new client logs in and runs SELECT 1, within a bounded time: once the
// clients of a case have gone, the server must serve again.
::testing::AssertionResult AnswersALoginAndABatch(TavoraProcess& serve, uint16_t port) {
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (serve.Running()) {
    {
      TestClient client(port);
      if (LoggedIn(client.Login("")) && RowsText(client.Batch("SELECT 1")) == "1\n") {
        return ::testing::AssertionSuccess();
      }
    }
    if (std::chrono::steady_clock::now() > deadline) {
      return ::testing::AssertionFailure() << "no login and SELECT 1 within 20 s";
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(50));  // between attempts
  }
  return ::testing::AssertionFailure()
         << "tavora serve ended (status " << serve.Wait() << "): " << serve.rest();
}

// The output of a server stopped with SIGTERM.
std::string StopAndReadOutput(TavoraProcess& serve) {
  ::kill(serve.pid(), SIGTERM);
  EXPECT_EQ(serve.Wait(), 0);
  return serve.rest();
}

TEST(TdsServeLimits, DeepNestingLeavesTheServerServing) {
  TavoraProcess serve(Serve());
  uint16_t port = serve.ListeningPort();
  ASSERT_NE(port, 0);
  {
    TestClient client(port);
    ASSERT_TRUE(LoggedIn(client.Login("")));
    std::string deep;
    for (int i = 0; i < 100000; ++i) deep += "ABS(";
    deep += "1";
    deep.append(100000, ')');
    // An error or a result: either is an answer.
    EXPECT_FALSE(client.Batch("SELECT " + deep).empty());
  }
  EXPECT_TRUE(AnswersALoginAndABatch(serve, port));
}

TEST(TdsServeLimits, ClientsWithoutAThreadAreClosedAndTheServerGoesOn) {
#ifdef __SANITIZE_ADDRESS__
  GTEST_SKIP() << "AddressSanitizer's shadow memory needs more address space than RLIMIT_AS "
                  "leaves; RLIMIT_NPROC does not bind for root";
#endif
  // 8 MiB of stack per thread: the address space runs out well before 99
  // clients have theirs.
  TavoraProcess serve(Serve({"--max-connections", "1000"}), {}, {{RLIMIT_AS, rlim_t{600} << 20}});
  uint16_t port = serve.ListeningPort();
  ASSERT_NE(port, 0);
  int served = 0, closed = 0;
  {
    std::vector<std::unique_ptr<TestClient>> clients;
    for (int i = 0; i < 99; ++i) clients.push_back(std::make_unique<TestClient>(port));
    // A served client answers its pre-login; one without a thread is closed.
    PreLogin hello;
    hello.version = PreLogin::Version{1, 0, 0, 0};
    for (auto& client : clients) {
      client->Send(PacketType::kPreLogin, EncodePreLogin(hello));
      ++(client->Receive() ? served : closed);
    }
    ASSERT_TRUE(serve.Running()) << serve.rest();
  }
  EXPECT_GT(closed, 0) << "the limit never bound, so this proves nothing";
  EXPECT_GT(served, 0);
  EXPECT_TRUE(AnswersALoginAndABatch(serve, port));
  EXPECT_NE(StopAndReadOutput(serve).find("tavora serve: cannot serve a client: no thread for it"),
            std::string::npos);
}

TEST(TdsServeLimits, ClientsBeyondTheConnectionLimitAreToldSo) {
  TavoraProcess serve(Serve({"--max-connections", "3"}));
  uint16_t port = serve.ListeningPort();
  ASSERT_NE(port, 0);
  {
    std::vector<std::unique_ptr<TestClient>> clients;
    for (int i = 0; i < 3; ++i) {
      clients.push_back(std::make_unique<TestClient>(port));
      ASSERT_TRUE(LoggedIn(clients.back()->Login("")));
    }
    TestClient extra(port);
    std::vector<ServerMessage> errors = Only<ServerMessage>(extra.Login(""));
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0].number, 17809);
    EXPECT_EQ(errors[0].text,
              "Could not connect because the maximum number of '3' user connections has already "
              "been reached. The system administrator can use sp_configure to increase the "
              "maximum value. The connection has been closed.");
    EXPECT_TRUE(extra.WaitForClose());
  }
  EXPECT_TRUE(AnswersALoginAndABatch(serve, port));
}

TEST(TdsServeLimits, UnauthenticatedClientsCannotPinMemory) {
  TavoraProcess serve(Serve());
  uint16_t port = serve.ListeningPort();
  ASSERT_NE(port, 0);
  long baseline = serve.ResidentKiB();
  ASSERT_GT(baseline, 0);
  {
    // Each sends most of a 4 MiB pre-login that never ends, and stays.
    std::vector<uint8_t> packet = Header(PacketType::kPreLogin, 0, 32000);
    packet.resize(32000, 0);
    std::vector<std::unique_ptr<TestClient>> clients;
    for (int i = 0; i < 50; ++i) {
      clients.push_back(std::make_unique<TestClient>(port));
      for (size_t sent = 0; sent + 2 * 32000 < kMaxMessageSize; sent += 32000) {
        if (!clients.back()->SendRaw(packet)) break;
      }
    }
    ASSERT_TRUE(serve.Running()) << serve.rest();
    long grown = serve.ResidentKiB() - baseline;
    EXPECT_LT(grown, 100 * 1024) << "KiB held for 50 clients that never logged in";
  }
  EXPECT_TRUE(AnswersALoginAndABatch(serve, port));
}

TEST(TdsServeLimits, RunningOutOfDescriptorsDoesNotSpin) {
#ifdef __SANITIZE_ADDRESS__
  GTEST_SKIP() << "the sanitizers' runtime needs descriptors of its own (its check that an "
                  "object's memory is readable opens a pipe) and reports false errors when "
                  "the process has none left";
#endif
  TavoraProcess serve(Serve(), {}, {{RLIMIT_NOFILE, 40}});
  uint16_t port = serve.ListeningPort();
  ASSERT_NE(port, 0);
  {
    std::vector<std::unique_ptr<TestClient>> clients;
    for (int i = 0; i < 150; ++i) clients.push_back(std::make_unique<TestClient>(port));
    // The clients beyond the descriptors wait in the backlog, which keeps
    // offering them to an accept that cannot take them.
    std::this_thread::sleep_for(std::chrono::milliseconds(300));  // settling, not a sync
    long before = serve.CpuTicks();
    std::this_thread::sleep_for(std::chrono::seconds(1));  // the measured second
    long used = serve.CpuTicks() - before;
    ASSERT_GE(before, 0);
    EXPECT_LT(used, ::sysconf(_SC_CLK_TCK) / 4) << "clock ticks of CPU in one second";
    ASSERT_TRUE(serve.Running()) << serve.rest();
  }
  EXPECT_TRUE(AnswersALoginAndABatch(serve, port));
}

}  // namespace
}  // namespace server::tds::testing
