// `tavora serve` as a user runs it: a process that prints where it listens,
// serves TDS clients, and stops cleanly on SIGTERM or SIGINT.

#include <gtest/gtest.h>
#include <signal.h>

#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "tests/scratch_folder.h"
#include "tests/server/tds_test_client.h"

namespace host {
namespace {

using server::tds::ServerMessage;
using server::tds::testing::LoggedIn;
using server::tds::testing::Only;
using server::tds::testing::RowsText;
using server::tds::testing::TavoraProcess;
using server::tds::testing::TestClient;

TEST(ServeCommand, ServesClientsUntilASignalStopsIt) {
  for (int signal : {SIGTERM, SIGINT}) {
    SCOPED_TRACE(signal);
    TavoraProcess serve({"serve", "--port", "0", "--data", ":memory:"});
    ASSERT_GT(serve.pid(), 0);
    uint16_t port = serve.ListeningPort();
    ASSERT_NE(port, 0);
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
  TavoraProcess serve({"serve", "--port", "0", "--address", "256.1.1.1", "--data", ":memory:"});
  ASSERT_GT(serve.pid(), 0);
  EXPECT_EQ(serve.Wait(), 1);
  EXPECT_EQ(serve.ReadLine(), "tavora serve: '256.1.1.1' is not an IP address");
}

TEST(ServeCommand, OtherMachinesAreNotServedWhileSaHasNoPassword) {
  for (const char* address : {"0.0.0.0", "::"}) {
    SCOPED_TRACE(address);
    TavoraProcess serve({"serve", "--port", "0", "--address", address, "--data", ":memory:"});
    EXPECT_EQ(serve.Wait(), 2);
    EXPECT_EQ(serve.ReadLine(), std::string("tavora: serve: sa has no password, and ") + address +
                                    " is reachable from other machines; give sa a password with "
                                    "--sa-password-file FILE or $TAVORA_SA_PASSWORD, or listen "
                                    "on 127.0.0.1");
  }
}

TEST(ServeCommand, SaPasswordComesFromAFileOrTheEnvironment) {
  const std::string file = (tavora::testing::ScratchFolder("sa-password") / "sa.txt").string();
  std::ofstream(file, std::ios::binary) << "from file\r\nsecond line\n";
  struct Case {
    const char* name;
    std::vector<std::string> args;
    std::vector<std::string> environment;
    std::string password;
  };
  std::vector<std::string> serve = {"serve", "--port", "0", "--data", ":memory:"};
  std::vector<std::string> with_file = serve;
  with_file.insert(with_file.end(), {"--sa-password-file", file});
  const Case cases[] = {
      {"environment", serve, {"TAVORA_SA_PASSWORD=from env"}, "from env"},
      {"file, first line only, over the environment",
       with_file,
       {"TAVORA_SA_PASSWORD=from env"},
       "from file"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TavoraProcess process(c.args, c.environment);
    uint16_t port = process.ListeningPort();
    ASSERT_NE(port, 0);
    for (const std::string& wrong : {std::string(), std::string("wrong")}) {
      TestClient client(port);
      std::vector<ServerMessage> errors = Only<ServerMessage>(client.Login(wrong));
      ASSERT_EQ(errors.size(), 1u);
      EXPECT_EQ(errors[0].number, 18456);
    }
    TestClient client(port);
    ASSERT_TRUE(LoggedIn(client.Login(c.password)));
    EXPECT_EQ(RowsText(client.Batch("SELECT 1")), "1\n");
  }
}

// pymssql takes a message of class 10 for an error: the change of database
// messages (USE, and the database asked for at login) must come as class 0.
TEST(ServeCommand, PythonClientsChangeDatabases) {
  const std::string python = "/usr/bin/python3";
  ASSERT_EQ(std::system((python + " -c 'import pymssql' 2>/dev/null").c_str()), 0)
      << "pymssql is missing: install Debian package python3-pymssql (scripts/install-deps does)";
  TavoraProcess serve({"serve", "--port", "0", "--data", ":memory:"});
  uint16_t port = serve.ListeningPort();
  ASSERT_NE(port, 0);
  const std::string script =
      "import pymssql\n"
      "c = pymssql.connect(server='127.0.0.1', port='" +
      std::to_string(port) +
      "', user='sa', password='', database='model', tds_version='7.1', autocommit=True)\n"
      "cursor = c.cursor()\n"
      "cursor.execute('SELECT DB_NAME()')\n"
      "print(cursor.fetchone()[0])\n"
      "cursor.execute('USE msdb')\n"
      "cursor.execute('SELECT DB_NAME()')\n"
      "print(cursor.fetchone()[0])\n";
  const std::string command = python + " -c \"" + script + "\" 2>&1";
  FILE* pipe = ::popen(command.c_str(), "r");
  ASSERT_NE(pipe, nullptr);
  std::string out;
  char buffer[4096];
  size_t n;
  while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) out.append(buffer, n);
  EXPECT_EQ(::pclose(pipe), 0) << out;
  EXPECT_EQ(out, "model\nmsdb\n");
}

}  // namespace
}  // namespace host
