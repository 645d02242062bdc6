// Runs the built `tavora` executable as a person would.

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>

#include "harness/error.h"
#include "host/command_line.h"
#include "host/commands.h"
#include "host/harness_classes.h"
#include "tests/scratch_folder.h"

namespace host {
namespace {

namespace fs = std::filesystem;

using tavora::testing::ReadFile;

struct Outcome {
  int status = -1;
  std::string out;
  std::string err;
};

class TavoraCommand : public ::testing::Test {
 protected:
  void SetUp() override { folder_ = tavora::testing::ScratchFolder("tavora-command"); }
  void TearDown() override { fs::remove_all(folder_); }

  // `arguments` are passed through the shell as they stand.
  Outcome Tavora(const std::string& arguments) {
    fs::path out = folder_ / "stdout";
    fs::path err = folder_ / "stderr";
    // The state folder is the test's own, so the default server is too.
    std::string command =
        "env -u TAVORA_SERVER -u TAVORA_USER -u TAVORA_PASSWORD "
        "XDG_STATE_HOME=" +
        (folder_ / "state").string() + " " + std::string(TAVORA_EXE) + " --workspace " +
        (folder_ / "workspace").string() + " " + arguments + " >" + out.string() + " 2>" +
        err.string();
    int raw = std::system(command.c_str());
    Outcome outcome;
    outcome.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    outcome.out = ReadFile(out);
    outcome.err = ReadFile(err);
    return outcome;
  }

  fs::path folder_;
};

TEST_F(TavoraCommand, ListShowsTheLibraryItsSuiteAndTheFourTests) {
  Outcome outcome = Tavora("list");
  EXPECT_EQ(outcome.status, 0) << outcome.err;
  EXPECT_EQ(outcome.out,
            "library tavora: SQL Server 2000\n"
            "  suite ReadWrite: Read/Write Test Suite\n"
            "    Standard                    ReadWrite test of Standard dataset\n"
            "    Replication.Snapshot        ReadWrite test of Snapshot replication\n"
            "    Replication.Transactional   ReadWrite test of Transactional replication\n"
            "    Replication.Merge           ReadWrite test of Merge replication\n");
  EXPECT_EQ(outcome.err, "");
}

TEST_F(TavoraCommand, UsageErrorsExitWithTwoAndNameWhatIsValid) {
  struct Case {
    const char* arguments;
    const char* names;
  };
  const Case cases[] = {
      {"run Standard Replication.Nope",
       "unknown test 'Replication.Nope'; valid tests: Standard, Replication.Snapshot, "
       "Replication.Transactional, Replication.Merge"},
      {"model standard", "unknown test 'standard'"},
      {"frob",
       "unknown command 'frob'; commands: list run readwrite create delete model script demo"},
      {"", "no command given; commands: list run readwrite create delete model script demo"},
      {"--backend bogus list", "{record,embedded,odbc}"},
      {"list --frob", "--frob"},
      {"run", "give the names of the tests to run, or --all"},
      {"run --all Standard", "give the names of the tests to run, or --all"},
      {"script", "test is required"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.arguments);
    Outcome outcome = Tavora(c.arguments);
    EXPECT_EQ(outcome.status, 2);
    EXPECT_EQ(outcome.out, "");
    EXPECT_EQ(outcome.err.rfind("tavora: ", 0), 0u) << outcome.err;
    EXPECT_NE(outcome.err.find(c.names), std::string::npos) << outcome.err;
  }
}

TEST_F(TavoraCommand, AComponentThatCannotBeLoadedIsReportedWithTheLoadersReason) {
  Outcome outcome = Tavora("--component /nonexistent/libtavorad.so list");
  EXPECT_EQ(outcome.status, 1);
  EXPECT_EQ(outcome.err.rfind("error 48: Error in loading DLL: '/nonexistent/libtavorad.so': ", 0),
            0u)
      << outcome.err;
  EXPECT_NE(outcome.err.find("No such file or directory"), std::string::npos) << outcome.err;
}

TEST_F(TavoraCommand, TheDefaultServerKeepsItsStateBetweenCommands) {
  Outcome created = Tavora("create Standard");
  ASSERT_EQ(created.status, 0) << created.err;
  EXPECT_TRUE(fs::exists(folder_ / "state" / "tavora" / "server" / "tavora.db"));
  Outcome listed = Tavora("sql \"SELECT name FROM sysdatabases WHERE name LIKE 'tavora%'\"");
  EXPECT_EQ(listed.status, 0) << listed.err;
  EXPECT_EQ(listed.out,
            "name\n"
            "----------------------\n"
            "tavora_StandardDataset\n"
            "(1 row affected)\n");
  Outcome again = Tavora("create Standard");
  EXPECT_EQ(again.status, 1);
  EXPECT_EQ(again.err,
            "Standard: Create failed\n"
            "error 1801: Database 'tavora_StandardDataset' already exists.\n\n"
            "PROGRAM CONTEXT:\n"
            "tavorad.StandardDataset.IDataset_Create.1  (4.1.475)\n");
  EXPECT_EQ(Tavora("delete Standard").status, 0);
  EXPECT_EQ(Tavora("sql \"SELECT name FROM sysdatabases WHERE name LIKE 'tavora%'\"").out,
            "name\n----\n(0 rows affected)\n");
}

// A database of the same name that the run did not make survives it: the
// run refuses before Create, so its Delete cannot drop what was there.
TEST_F(TavoraCommand, RunLeavesADatabaseItDidNotCreateAlone) {
  const std::string list = "sql \"SELECT name FROM sysdatabases WHERE name LIKE 'tavora%'\"";
  ASSERT_EQ(Tavora("sql \"CREATE DATABASE tavora_TransPubDataset\"").status, 0);
  Outcome refused = Tavora("run Replication.Transactional --out " + (folder_ / "out").string());
  EXPECT_EQ(refused.status, 1);
  EXPECT_EQ(refused.out.rfind("Replication.Transactional: FAILED (Check), 0 objects, 0 properties, "
                              "0 statements, ",
                              0),
            0u)
      << refused.out;
  EXPECT_EQ(refused.err,
            "Replication.Transactional: Check failed\n"
            "error 1801: Database 'tavora_TransPubDataset' already exists. This run did not "
            "create it and leaves it alone: neither Create nor Delete ran. If it is left over "
            "from an earlier test, 'tavora delete Replication.Transactional' drops it.\n");
  EXPECT_EQ(ReadFile(folder_ / "out" / "delete-Replication.Transactional.jsonl"), "");
  EXPECT_EQ(Tavora(list).out,
            "name\n----------------------\ntavora_TransPubDataset\n(1 row affected)\n");

  ASSERT_EQ(Tavora("delete Replication.Transactional").status, 0);
  Outcome again = Tavora("run Replication.Transactional");
  EXPECT_EQ(again.status, 0) << again.err;
  EXPECT_EQ(Tavora(list).out, "name\n----\n(0 rows affected)\n");
}

// Transcripts and workspace files may hold what logs in to the server, so
// they show no password and only their owner may read them.
TEST_F(TavoraCommand, RunOutputsHideThePasswordAndAreOwnerOnly) {
  const fs::path out = folder_ / "out";
  Outcome outcome =
      Tavora("run Standard --backend record --user sa --password 'S3cr;t}' --out " + out.string());
  ASSERT_EQ(outcome.status, 0) << outcome.err;
  EXPECT_NE(ReadFile(out / "create-Standard.jsonl")
                .find("\"DRIVER=SQL Server;SERVER=(local);UID=sa;PWD=********;"
                      "Trusted_Connection=No\""),
            std::string::npos);
  const auto owner_only = fs::perms::owner_read | fs::perms::owner_write;
  for (const fs::path& file :
       {out / "create-Standard.jsonl", out / "delete-Standard.jsonl",
        out / "workspace-Standard.json", folder_ / "workspace" / "Project1.json"}) {
    SCOPED_TRACE(file.string());
    EXPECT_EQ(fs::status(file).permissions(), owner_only);
  }
  for (const auto& entry : fs::directory_iterator(out)) {
    EXPECT_EQ(ReadFile(entry.path()).find("S3cr"), std::string::npos) << entry.path();
  }
  Outcome empty = Tavora("run Standard --backend record --out " + out.string());
  ASSERT_EQ(empty.status, 0) << empty.err;
  EXPECT_NE(ReadFile(out / "delete-Standard.jsonl").find(";UID=;PWD=;Trusted_Connection=Yes\""),
            std::string::npos);
}

// A harness runs many commands in one process: each must let go of the data
// folder it locked, or the next one finds it in use.
TEST_F(TavoraCommand, CommandsInOneProcessShareTheDataFolderInTurn) {
  const std::string data = (folder_ / "data").string();
  const std::string workspace = (folder_ / "workspace").string();
  for (const char* command : {"create", "delete"}) {
    SCOPED_TRACE(command);
    const char* argv[] = {"tavora",      "--component",     TAVORAD_PATH, "--data",  data.c_str(),
                          "--workspace", workspace.c_str(), command,      "Standard"};
    std::ostringstream out, err;
    EXPECT_EQ(TavoraMain(static_cast<int>(std::size(argv)), argv, out, err), 0) << err.str();
  }
}

TEST_F(TavoraCommand, SqlPrintsEachResultAndStopsAtTheFirstError) {
  Outcome outcome = Tavora(
      "--data :memory: sql \"CREATE TABLE t (id int, label varchar(10) NULL)\n"
      "INSERT INTO t VALUES (1, 'one')\nINSERT INTO t VALUES (22, NULL)\nGO\n"
      "SELECT * FROM t\nGO\nSET NOCOUNT ON SELECT 1 AS quiet\nGO\nSELECT nothing FROM t\nGO\n"
      "SELECT 1\"");
  EXPECT_EQ(outcome.status, 1);
  EXPECT_EQ(outcome.out,
            "id label\n"
            "-- -----\n"
            "1  one\n"
            "22 NULL\n"
            "(2 rows affected)\n"
            "quiet\n"
            "-----\n"
            "1\n");
  EXPECT_EQ(outcome.err, "error 207: Invalid column name 'nothing'.\n");
  Outcome unclosed = Tavora("--data :memory: sql \"SELECT 'open\"");
  EXPECT_EQ(unclosed.status, 1);
  EXPECT_EQ(unclosed.err.rfind("error 105: Unclosed quotation mark", 0), 0u) << unclosed.err;
}

TEST_F(TavoraCommand, ACorruptStateFileIsReportedAndLeftAsItIs) {
  fs::create_directories(folder_ / "data");
  const std::string corrupt = "{\"databases\": [";
  std::ofstream(folder_ / "data" / "server-state.json", std::ios::binary) << corrupt;
  for (const char* command : {"sql \"SELECT 1\"", "run --all"}) {
    SCOPED_TRACE(command);
    Outcome outcome = Tavora("--data " + (folder_ / "data").string() + " " + command);
    EXPECT_EQ(outcome.status, 1);
    EXPECT_EQ(outcome.err.rfind("error 75: Path/File access error: the embedded server's data "
                                "folder '" +
                                    (folder_ / "data").string() + "' cannot be used: ",
                                0),
              0u)
        << outcome.err;
    EXPECT_EQ(ReadFile(folder_ / "data" / "server-state.json"), corrupt);
  }
}

TEST_F(TavoraCommand, DemoRunsOnAFreshServerEachTime) {
  for (int round = 0; round < 2; ++round) {
    SCOPED_TRACE(round);
    Outcome outcome = Tavora("demo");
    EXPECT_EQ(outcome.status, 0) << outcome.err;
    EXPECT_EQ(outcome.out.rfind("tavora demo: library tavora (SQL Server 2000), back end "
                                "embedded, server (local)\n",
                                0),
              0u)
        << outcome.out;
    EXPECT_NE(outcome.out.find("\n4 of 4 tests succeeded.\n"), std::string::npos);
    EXPECT_NE(
        outcome.out.find("Standard                   ok             86        1145          57"),
        std::string::npos)
        << outcome.out;
  }
  // Nothing was written to the default data folder.
  EXPECT_FALSE(fs::exists(folder_ / "state" / "tavora" / "server"));
}

// The read/write test on the embedded server: its line per test, its files,
// an exit status that follows what it found, and the database gone after.
TEST_F(TavoraCommand, ReadWriteReportsEachTestAndDeletesAlways) {
  const fs::path out = folder_ / "out";
  fs::create_directories(out);
  Outcome outcome = Tavora("readwrite Standard --data " + (folder_ / "data").string() + " --out " +
                           out.string() + " --report " + (out / "report.html").string());
  ASSERT_EQ(outcome.out.rfind("Standard: 1145 read, ", 0), 0u) << outcome.out << outcome.err;
  EXPECT_NE(outcome.out.find(" equal; 871 written: "), std::string::npos) << outcome.out;
  auto records = nlohmann::json::parse(ReadFile(out / "readwrite-Standard.json"));
  EXPECT_EQ(records.at("properties").size(), 1145u);
  const bool clean = records.at("summary").at("unexpected") == 0 &&
                     records.at("summary").at("equal") == records.at("summary").at("read");
  EXPECT_EQ(outcome.status, clean ? 0 : 1);
  // Each unexpected write is named on stderr.
  for (const auto& record : records.at("properties")) {
    if (record.at("write") != "unexpected") continue;
    std::string path;
    for (const auto& step : record.at("path"))
      path += (path.empty() ? "" : "/") + step.get<std::string>();
    EXPECT_NE(outcome.err.find("Standard: unexpected " + path + " " +
                               record.at("property").get<std::string>() + ": "),
              std::string::npos)
        << outcome.err;
  }
  EXPECT_NE(ReadFile(out / "report.html").find("<h2 id=\"Standard\">"), std::string::npos);
  Outcome left = Tavora("sql --data " + (folder_ / "data").string() +
                        " \"SELECT name FROM sysdatabases WHERE name LIKE 'tavora%'\"");
  EXPECT_EQ(left.out, "name\n----\n(0 rows affected)\n");

  Outcome record = Tavora("readwrite --all --backend record");
  EXPECT_EQ(record.status, 2);
  EXPECT_NE(record.err.find("use --backend embedded or odbc"), std::string::npos);
  EXPECT_EQ(Tavora("readwrite").status, 2);
}

TEST_F(TavoraCommand, ScriptEndsEveryStatementWithAGoLine) {
  Outcome outcome = Tavora("--server SRV1 script Standard");
  bool printed_errors = outcome.err.find("error ") != std::string::npos;
  EXPECT_EQ(outcome.status, printed_errors ? 1 : 0) << outcome.err;
  if (outcome.status == 0) {
    EXPECT_EQ(
        outcome.out.rfind("USE master\r\nCREATE DATABASE tavora_StandardDataset\r\nGO\r\n", 0), 0u);
  }
  if (!outcome.out.empty()) {
    ASSERT_GE(outcome.out.size(), 6u);
    EXPECT_EQ(outcome.out.substr(outcome.out.size() - 6), "\r\nGO\r\n");
  }
}

TEST(Backends, AnUnknownNameIsRefusedWithItsName) {
  try {
    MakeBackend("nosuch");
    ADD_FAILURE() << "no error";
  } catch (const harness::Error& error) {
    EXPECT_EQ(error.number(), harness::errors::kInvalidCall);
    EXPECT_EQ(error.description(), u"unknown back end 'nosuch'");
  }
}

TEST(CommandErrors, ShowTheNumberAndTheWholeTraceWithLineBreaks) {
  std::ostringstream err;
  PrintError(err, harness::Error(2714,
                                 u"There is already an object named 'tblGeneric'.\r\n\r\n"
                                 u"PROGRAM CONTEXT:\r\n"
                                 u"tavorad.StandardDataset.CreateGenericTable.1  (4.1.475)\r\n"
                                 u"tavorad.StandardDataset.IDataset_Create.1  (4.1.475)"));
  EXPECT_EQ(err.str(),
            "error 2714: There is already an object named 'tblGeneric'.\n\n"
            "PROGRAM CONTEXT:\n"
            "tavorad.StandardDataset.CreateGenericTable.1  (4.1.475)\n"
            "tavorad.StandardDataset.IDataset_Create.1  (4.1.475)\n");
}

TEST(ServerSettings, EnvironmentOverridesTheDefaults) {
  unsetenv("TAVORA_SERVER");
  unsetenv("TAVORA_USER");
  setenv("TAVORA_PASSWORD", "", 1);
  Settings defaults = SettingsFromEnvironment();
  EXPECT_EQ(defaults.server, u"(local)");
  EXPECT_EQ(defaults.user, u"");
  EXPECT_EQ(defaults.password, u"");
  setenv("TAVORA_SERVER", "db.example,1433", 1);
  setenv("TAVORA_USER", "sa", 1);
  setenv("TAVORA_PASSWORD", "p\xc3\xa4ss", 1);
  Settings set = SettingsFromEnvironment();
  EXPECT_EQ(set.server, u"db.example,1433");
  EXPECT_EQ(set.user, u"sa");
  EXPECT_EQ(set.password, u"p\u00e4ss");
  unsetenv("TAVORA_SERVER");
  unsetenv("TAVORA_USER");
  unsetenv("TAVORA_PASSWORD");
}

}  // namespace
}  // namespace host
