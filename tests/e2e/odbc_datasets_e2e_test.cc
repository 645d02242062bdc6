// The four tests through the tavora command's code path with the odbc back
// end against our listener, compared with the embedded back end; and two
// clients nobody here wrote talking to the listener.

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "host/commands.h"
#include "tests/e2e/listener_fixture.h"
#include "tests/scratch_folder.h"

namespace host {
namespace {

namespace fs = std::filesystem;

using tavora::testing::ReadFile;

// The number of the first "error NUMBER:" line, or 0 when there is none.
int FirstErrorNumber(const std::string& err) {
  std::smatch match;
  if (!std::regex_search(err, match, std::regex("error (-?[0-9]+):"))) return 0;
  return std::stoi(match[1]);
}

struct Output {
  int status = 0;
  std::string out, err;
};

// Runs a shell command with stdin from `input`, stdout and stderr together.
Output Shell(const std::string& command, const std::string& input, const fs::path& folder) {
  const fs::path input_file = folder / "input.txt";
  std::ofstream(input_file) << input;
  const std::string line = command + " <" + input_file.string() + " 2>&1";
  Output result;
  FILE* pipe = ::popen(line.c_str(), "r");
  if (pipe == nullptr) {
    result.status = -1;
    return result;
  }
  char buffer[4096];
  size_t n;
  while ((n = fread(buffer, 1, sizeof(buffer), pipe)) > 0) result.out.append(buffer, n);
  result.status = ::pclose(pipe);
  return result;
}

class OdbcDatasetsE2e : public tavora::testing::ListenerTest {
 protected:
  void SetUp() override {
    ListenerTest::SetUp();
    scratch_ = tavora::testing::ScratchFolder("odbc-e2e");
  }

  // Command options for `backend` reaching the listener as sa.
  CommandOptions Options(const std::string& backend, const std::string& name) {
    CommandOptions options;
    options.backend = backend;
    options.settings.server = ServerName();
    options.settings.user = u"sa";
    options.workspace = (scratch_ / ("workspace-" + name)).string();
    options.component = TAVORAD_PATH;
    options.data = std::string(server::DataFolder::kMemory);
    return options;
  }

  fs::path scratch_;
};

TEST_F(OdbcDatasetsE2e, FourTestsGiveTheEmbeddedBackEndsModelsAndTranscripts) {
  const fs::path odbc_out = scratch_ / "out-odbc";
  const fs::path embedded_out = scratch_ / "out-embedded";
  std::ostringstream out, err;
  // Files are compared even when a run fails, to show what differs.
  EXPECT_EQ(RunCommand(Options("odbc", "odbc"), {}, odbc_out.string(), out, err), 0)
      << out.str() << err.str();
  EXPECT_EQ(RunCommand(Options("embedded", "embedded"), {}, embedded_out.string(), out, err), 0)
      << out.str() << err.str();

  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(embedded_out)) {
    names.push_back(entry.path().filename().string());
  }
  // A model, two transcripts and a workspace project for each of four tests.
  EXPECT_EQ(names.size(), 16u);
  for (const std::string& name : names) {
    SCOPED_TRACE(name);
    ASSERT_TRUE(fs::exists(odbc_out / name));
    const std::string expected = ReadFile(embedded_out / name);
    EXPECT_NE(expected, "null\n");
    EXPECT_EQ(ReadFile(odbc_out / name), expected);
  }
}

// The read/write test reads and writes through the driver's session alone,
// so over ODBC it must find exactly what it finds in process: the same value
// of the same kind for every property, the same outcome for every write.
TEST_F(OdbcDatasetsE2e, ReadWriteFindsWhatItFindsInProcess) {
  const fs::path odbc_out = scratch_ / "rw-odbc";
  const fs::path embedded_out = scratch_ / "rw-embedded";
  fs::create_directories(odbc_out);
  fs::create_directories(embedded_out);
  std::ostringstream out, err;
  const std::vector<std::string> tests = {"Standard", "Replication.Transactional"};
  ReadWriteCommand(Options("odbc", "rw-odbc"), tests, odbc_out.string(), "", out, err);
  ReadWriteCommand(Options("embedded", "rw-embedded"), tests, embedded_out.string(), "", out, err);
  for (const std::string& test : tests) {
    SCOPED_TRACE(test);
    const std::string file = "readwrite-" + test + ".json";
    auto odbc = nlohmann::json::parse(ReadFile(odbc_out / file));
    auto embedded = nlohmann::json::parse(ReadFile(embedded_out / file));
    const auto& odbc_records = odbc.at("properties");
    const auto& embedded_records = embedded.at("properties");
    ASSERT_EQ(odbc_records.size(), embedded_records.size());
    for (size_t i = 0; i < odbc_records.size(); ++i) {
      for (const char* field : {"read", "equal", "write", "readBack"}) {
        EXPECT_EQ(odbc_records[i].at(field), embedded_records[i].at(field))
            << field << " of " << odbc_records[i].at("path").dump() << " "
            << odbc_records[i].at("property");
      }
    }
  }
}

TEST_F(OdbcDatasetsE2e, FailuresReachTheHarnessWithTheServersNumbersOnBothBackEnds) {
  struct Scenario {
    const char* name;
    const char* password;
    bool create_first;  // a Create before the one that fails
    int number;
  };
  const Scenario scenarios[] = {
      {"Create twice", "", true, 1801},
      {"wrong password", "wrong", false, 18456},
  };
  // Each command in a process of its own, as a user runs them: the embedded
  // server's folder is then free again for the next command.
  auto tavora = [&](const std::string& command, const std::string& backend,
                    const std::string& password, const std::string& tag) {
    return Shell(std::string(TAVORA_EXE) + " " + command + " Standard --backend " + backend +
                     " --server " + harness::ToUtf8(ServerName()) + " --user sa --password '" +
                     password + "' --workspace " + (scratch_ / ("workspace-" + tag)).string() +
                     " --data " + (scratch_ / ("data-" + tag)).string() + " --component " +
                     TAVORAD_PATH,
                 "", scratch_);
  };
  for (const char* backend : {"embedded", "odbc"}) {
    for (const Scenario& s : scenarios) {
      SCOPED_TRACE(std::string(backend) + ": " + s.name);
      const std::string tag = std::string(backend) + "-" + std::to_string(s.number);
      if (s.create_first) {
        const Output first = tavora("create", backend, "", tag);
        ASSERT_EQ(first.status, 0) << first.out;
      }
      const Output failed = tavora("create", backend, s.password, tag);
      EXPECT_NE(failed.status, 0);
      EXPECT_EQ(FirstErrorNumber(failed.out), s.number) << failed.out;
      // Leaves the server as the scenario found it.
      if (s.create_first) {
        EXPECT_EQ(tavora("delete", backend, "", tag).status, 0);
      }
    }
  }
}

// The peers log in with TDS 7.1, as SQL Server 2000's clients do.
constexpr char kPeerQuery[] = "SELECT Name FROM sysdatabases WHERE Name='master'";
constexpr char kPeerBadQuery[] = "SELECT * FROM no_such_table";

TEST_F(OdbcDatasetsE2e, FreeTdsCommandLineClientReadsRowsAndAnError) {
  const fs::path tsql = "/usr/bin/tsql";
  ASSERT_TRUE(fs::exists(tsql)) << tsql << " is missing: install Debian package freetds-bin "
                                << "(scripts/install-deps does)";
  const Output result = Shell(
      "TDSVER=7.1 " + tsql.string() + " -H 127.0.0.1 -p " + std::to_string(port_) + " -U sa -P ''",
      std::string(kPeerQuery) + "\ngo\n" + kPeerBadQuery + "\ngo\nexit\n", scratch_);
  EXPECT_EQ(result.status, 0) << result.out;
  EXPECT_NE(result.out.find("master"), std::string::npos) << result.out;
  EXPECT_NE(result.out.find("Msg 208"), std::string::npos) << result.out;
  EXPECT_NE(result.out.find("Invalid object name 'no_such_table'."), std::string::npos)
      << result.out;
}

TEST_F(OdbcDatasetsE2e, PythonDatabaseModuleReadsRowsAndAnError) {
  // The system interpreter, where the Debian module lives; not one a version
  // manager put first on PATH.
  const fs::path python = "/usr/bin/python3";
  ASSERT_TRUE(fs::exists(python)) << python << " is missing";
  const Output probe = Shell(python.string() + " -c 'import pymssql'", "", scratch_);
  ASSERT_EQ(probe.status, 0) << "pymssql is missing for " << python
                             << ": install Debian package python3-pymssql (scripts/install-deps "
                             << "does)\n"
                             << probe.out;
  const std::string script =
      "import pymssql\n"
      "connection = pymssql.connect(server='127.0.0.1', port='" +
      std::to_string(port_) +
      "', user='sa', password='', tds_version='7.1',\n"
      "                             autocommit=True)\n"
      "cursor = connection.cursor()\n"
      "cursor.execute(\"" +
      kPeerQuery +
      "\")\n"
      "print('rows', cursor.fetchall())\n"
      "try:\n"
      "    cursor.execute('" +
      kPeerBadQuery +
      "')\n"
      "    print('no error')\n"
      "except pymssql.Error as error:\n"
      "    print('error', error.args[0])\n"
      "connection.close()\n";
  const Output result = Shell(python.string() + " -", script, scratch_);
  EXPECT_EQ(result.status, 0) << result.out;
  EXPECT_NE(result.out.find("rows [('master',)]"), std::string::npos) << result.out;
  EXPECT_NE(result.out.find("error 208"), std::string::npos) << result.out;
}

}  // namespace
}  // namespace host
