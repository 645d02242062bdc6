#include "host/odbc_session.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <functional>
#include <optional>
#include <string>

#include "harness/error.h"
#include "harness/utf.h"
#include "tests/e2e/odbc_driver.h"
#include "tests/error_of.h"

namespace host {
namespace {

using tavora::testing::ErrorOf;

// A loopback socket listening on a port the kernel chose. The kernel
// completes connections to it, but nothing ever answers: a server that
// hangs before its login reply.
class SilentServer {
 public:
  SilentServer() {
    fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof(address);
    if (::bind(fd_, reinterpret_cast<sockaddr*>(&address), length) != 0 || ::listen(fd_, 8) != 0 ||
        ::getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
      ADD_FAILURE() << "cannot listen on loopback";
    }
    port_ = ntohs(address.sin_port);
  }
  ~SilentServer() { Stop(); }
  // Closes the socket: connections to the port are then refused.
  void Stop() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
  }
  int port() const { return port_; }

 private:
  int fd_ = -1;
  int port_ = 0;
};

std::u16string ConnectionTo(int port) {
  return harness::FromUtf8("DRIVER=SQL Server;SERVER=127.0.0.1," + std::to_string(port) +
                           ";UID=sa;PWD=;Trusted_Connection=No");
}

class OdbcSession : public ::testing::Test {
 protected:
  void SetUp() override {
    const std::string failure = tavora::testing::UsePrivateOdbcDriver();
    ASSERT_EQ(failure, "");
  }
};

TEST_F(OdbcSession, RefusesCallsInTheWrongState) {
  struct Case {
    const char* name;
    std::function<void(harness::SqlSession&)> call;
    int32_t number;
    std::u16string text;
  };
  const Case cases[] = {
      {"Execute before Open", [](auto& s) { s.Execute(0, u"SELECT 1"); }, 3704,
       u"Operation is not allowed when the object is closed."},
      {"Query before Open", [](auto& s) { s.Query(u"SELECT 1"); }, 3704,
       u"Operation is not allowed when the object is closed."},
      {"Close before Open", [](auto& s) { s.Close(); }, 3704,
       u"Operation is not allowed when the object is closed."},
      {"negative login timeout", [](auto& s) { s.SetLoginTimeout(-1); },
       harness::errors::kInvalidCall, u"the login timeout must be 0 or more seconds"},
      {"NUL in the connection string",
       [](auto& s) { s.Open(std::u16string(u"DRIVER=SQL Server;SERVER=a\0b", 28)); },
       harness::errors::kInvalidCall, u"the connection string holds a NUL character"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    auto session = MakeOdbcSession();
    auto error = ErrorOf([&] { c.call(*session); });
    ASSERT_TRUE(error.has_value());
    EXPECT_EQ(error->number(), c.number);
    EXPECT_EQ(error->description(), c.text);
  }
}

// The TDS driver ends a braced value at its first '}', where ODBC reads
// "}}" as one '}': such a string would log in as someone else.
TEST_F(OdbcSession, RefusesABracedValueTheDriverWouldMisread) {
  const char16_t* const cases[] = {
      u"DRIVER=SQL Server;SERVER=127.0.0.1,1;UID=sa;PWD={x}}};UID=evil}",
      u"DRIVER=SQL Server;SERVER={127.0.0.1,1}}};UID=sa;PWD=",
  };
  for (const char16_t* text : cases) {
    SCOPED_TRACE(harness::ToUtf8(text));
    auto error = ErrorOf([&] { MakeOdbcSession()->Open(text); });
    ASSERT_TRUE(error.has_value());
    EXPECT_EQ(error->number(), -2147467259);
    EXPECT_EQ(harness::ToUtf8(error->description())
                  .rfind("the connection string has a braced value with '}', which the ODBC driver "
                         "would misread",
                         0),
              0u)
        << harness::ToUtf8(error->description());
  }
}

TEST_F(OdbcSession, UnknownDriverFailsOpenWithTheDriverManagersMessageAndStaysClosed) {
  auto session = MakeOdbcSession();
  const std::u16string connection = u"DRIVER=No Such Driver;SERVER=127.0.0.1,1";
  for (int attempt = 1; attempt <= 2; ++attempt) {
    SCOPED_TRACE(attempt);
    // A failed Open leaves the session closed, so a second attempt is a new
    // connection attempt rather than "already open".
    auto error = ErrorOf([&] { session->Open(connection); });
    ASSERT_TRUE(error.has_value());
    EXPECT_EQ(error->number(), -2147467259);
    // The driver manager takes a DRIVER it has no section for as a library.
    EXPECT_NE(harness::ToUtf8(error->description()).find("Can't open lib 'No Such Driver'"),
              std::string::npos)
        << harness::ToUtf8(error->description());
  }
  EXPECT_EQ(ErrorOf([&] { session->Execute(0, u"SELECT 1"); })->number(), 3704);
}

TEST_F(OdbcSession, RegisteredDriverIsReachedAndARefusedConnectionFailsOpen) {
  SilentServer server;
  const int port = server.port();
  server.Stop();
  auto session = MakeOdbcSession();
  session->SetLoginTimeout(5);
  auto error = ErrorOf([&] { session->Open(ConnectionTo(port)); });
  ASSERT_TRUE(error.has_value());
  // The driver, not the driver manager, answered: "SQL Server" resolved.
  EXPECT_EQ(harness::ToUtf8(error->description()).find("Can't open lib"), std::string::npos)
      << harness::ToUtf8(error->description());
  EXPECT_FALSE(error->description().empty());
  EXPECT_EQ(ErrorOf([&] { session->Close(); })->number(), 3704);
}

TEST_F(OdbcSession, LoginTimeoutEndsAnOpenThatGetsNoAnswer) {
  SilentServer server;
  auto session = MakeOdbcSession();
  session->SetLoginTimeout(1);
  const auto start = std::chrono::steady_clock::now();
  auto error = ErrorOf([&] { session->Open(ConnectionTo(server.port())); });
  const auto elapsed = std::chrono::steady_clock::now() - start;
  ASSERT_TRUE(error.has_value());
  EXPECT_LT(elapsed, std::chrono::seconds(10));
}

}  // namespace
}  // namespace host
