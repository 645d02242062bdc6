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
#include "host/commands.h"
#include "host/harness_classes.h"
#include "tests/scratch_folder.h"

namespace host {
namespace {

namespace fs = std::filesystem;

const char* const kTests[] = {"Standard", "Replication.Snapshot", "Replication.Transactional",
                              "Replication.Merge"};

std::string Contents(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

struct Outcome {
  int status = -1;
  std::string out;
  std::string err;
};

class TavoraCommand : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ = tavora::testing::ScratchFolder("tavora-command");
  }
  void TearDown() override { fs::remove_all(folder_); }

  // `arguments` are passed through the shell as they stand.
  Outcome Tavora(const std::string& arguments) {
    fs::path out = folder_ / "stdout";
    fs::path err = folder_ / "stderr";
    std::string command = "env -u TAVORA_SERVER -u TAVORA_USER -u TAVORA_PASSWORD " +
                          std::string(TAVORA_EXE) + " --workspace " +
                          (folder_ / "workspace").string() + " " + arguments + " >" + out.string() +
                          " 2>" + err.string();
    int raw = std::system(command.c_str());
    Outcome outcome;
    outcome.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    outcome.out = Contents(out);
    outcome.err = Contents(err);
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
      {"frob", "unknown command 'frob'; commands: list run create delete model script demo"},
      {"", "no command given; commands: list run create delete model script demo"},
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

TEST_F(TavoraCommand, BackEndsNotYetBuiltAreAClearFailure) {
  for (const char* backend : {"embedded", "odbc"}) {
    SCOPED_TRACE(backend);
    Outcome outcome = Tavora(std::string("--backend ") + backend + " run --all");
    EXPECT_EQ(outcome.status, 1);
    EXPECT_EQ(outcome.err, std::string("error 429: back end '") + backend +
                               "' is not available in this build\n");
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

// Holds whether or not the datasets succeed: every file is written, and the
// exit status agrees with the errors printed.
TEST_F(TavoraCommand, RunAllWritesEveryFileAndExitsAsItReports) {
  fs::path out = folder_ / "out";
  Outcome outcome = Tavora(std::string("--component ") + TAVORAD_PATH +
                           " run --all --backend record --out " + out.string());
  bool printed_errors = outcome.err.find("error ") != std::string::npos;
  EXPECT_EQ(outcome.status, printed_errors ? 1 : 0) << outcome.err;
  for (const char* test : kTests) {
    SCOPED_TRACE(test);
    std::string name = test;
    nlohmann::json model = nlohmann::json::parse(Contents(out / ("model-" + name + ".json")));
    EXPECT_TRUE(model.is_null() || model.at("projects").at(0).at("name") == "Project1");
    nlohmann::json project = nlohmann::json::parse(Contents(out / ("workspace-" + name + ".json")));
    EXPECT_TRUE(project.is_null() || project.at("name") == "Project1");
    for (const char* transcript : {"create-", "delete-"}) {
      std::istringstream lines(Contents(out / (transcript + name + ".jsonl")));
      EXPECT_TRUE(fs::exists(out / (transcript + name + ".jsonl")));
      for (std::string line; std::getline(lines, line);) {
        EXPECT_TRUE(nlohmann::json::parse(line).contains("call")) << line;
      }
    }
    bool reported = outcome.out.find(name + ": ok,") != std::string::npos;
    EXPECT_EQ(reported, outcome.err.find(name + ": ") == std::string::npos) << outcome.out;
  }
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
