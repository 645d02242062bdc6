#include "host/command_line.h"

#include <CLI/CLI.hpp>
#include <exception>
#include <string>
#include <vector>

#include "harness/error.h"
#include "harness/utf.h"
#include "host/commands.h"

namespace host {

namespace {

constexpr int kFailure = 1;
constexpr int kUsage = 2;

struct ParsedLine {
  CommandOptions options;
  std::string server, user, password;
  std::vector<std::string> tests;
  std::string test;
  bool all = false;
  std::string out_folder;
  std::string report;
  std::string sql;
  ServeOptions serve;
};

void Usage(std::ostream& err, const std::string& message) {
  err << "tavora: " << message << "\nRun 'tavora --help' for the commands and options.\n";
}

}  // namespace

int TavoraMain(int argc, const char* const* argv, std::ostream& out, std::ostream& err) {
  ParsedLine line;
  CLI::App app("Drives the tavora test library the way its test harness does.", "tavora");
  app.require_subcommand(1, 1);
  // Options of the command line may also follow the command.
  app.fallthrough();
  app.add_option("--backend", line.options.backend,
                 "Session back end (default: " + std::string(kDefaultBackend) + ")")
      ->check(CLI::IsMember(BackendNames()));
  app.add_option("--server", line.server, "Server name (default: $TAVORA_SERVER or (local))");
  app.add_option("--user", line.user, "Login name (default: $TAVORA_USER, empty)");
  app.add_option("--password", line.password, "Password (default: $TAVORA_PASSWORD, empty)");
  app.add_option("--workspace", line.options.workspace,
                 "Workspace folder (default: $XDG_STATE_HOME/tavora/workspace)");
  app.add_option("--component", line.options.component,
                 "Component library (default: libtavorad.so beside tavora)");
  app.add_option("--data", line.options.data,
                 "Embedded server's data folder, or :memory: (default: "
                 "$XDG_STATE_HOME/tavora/server; demo: :memory:)");

  CLI::App* list = app.add_subcommand("list", "List the library, its suite and its tests");
  CLI::App* run = app.add_subcommand("run", "Create, model, Save and Delete the tests");
  run->add_option("tests", line.tests, "Test names");
  run->add_flag("--all", line.all, "Run every test");
  run->add_option("--out", line.out_folder, "Write model, transcripts and workspace files here");
  CLI::App* readwrite = app.add_subcommand(
      "readwrite",
      "Create and Save the tests, read every model property back, write every new "
      "value, then Delete");
  readwrite->add_option("tests", line.tests, "Test names");
  readwrite->add_flag("--all", line.all, "Run every test");
  readwrite->add_option("--out", line.out_folder, "Write readwrite-TEST.json here");
  readwrite->add_option("--report", line.report, "Write an HTML report to this file");
  CLI::App* create = app.add_subcommand("create", "Create a test's database and save it");
  CLI::App* remove = app.add_subcommand("delete", "Delete a test's database");
  CLI::App* model = app.add_subcommand("model", "Create a test's database, print its model");
  CLI::App* script = app.add_subcommand("script", "Print the statements Create would send");
  for (CLI::App* one_test : {create, remove, model, script}) {
    one_test->add_option("test", line.test, "Test name")->required();
  }
  CLI::App* demo = app.add_subcommand("demo", "Run every test and print a summary");
  CLI::App* sql = app.add_subcommand("sql", "Run T-SQL on the embedded server, print the results");
  sql->add_option("statement", line.sql, "T-SQL text (batches separated by GO lines)")->required();
  CLI::App* serve = app.add_subcommand(
      "serve", "Serve the embedded server to TDS clients until SIGINT or SIGTERM");
  serve->add_option("--port", line.serve.port, "TCP port, 0 for a free one (default: 1433)");
  serve->add_option("--address", line.serve.address,
                    "Address to listen on (default: 127.0.0.1, this machine only)");
  serve
      ->add_option("--sa-password-file", line.serve.sa_password_file,
                   "File whose first line is sa's password (default: $TAVORA_SA_PASSWORD, "
                   "else none; required off loopback)")
      ->check(CLI::ExistingFile);
  serve
      ->add_option("--max-connections", line.serve.max_connections,
                   "Clients served at once (default: 256)")
      ->check(CLI::Range(1, 100000));
  serve
      ->add_option("--login-timeout", line.serve.login_timeout,
                   "Seconds a client has to log in, 0 for no limit (default: 60)")
      ->check(CLI::Range(0, 86400));

  try {
    app.parse(argc, argv);
    for (CLI::App* several : {run, readwrite}) {
      if (*several && line.all != line.tests.empty()) {
        throw CLI::ValidationError(several->get_name(),
                                   "give the names of the tests to run, or --all");
      }
    }
  } catch (const CLI::ParseError& e) {
    if (e.get_exit_code() == static_cast<int>(CLI::ExitCodes::Success)) {
      app.exit(e, out, err);
      return 0;
    }
    std::string message = e.what();
    if (app.get_subcommands().empty()) {
      std::vector<std::string> extra = app.remaining();
      message = extra.empty() ? "no command given" : "unknown command '" + extra.front() + "'";
      message += "; commands:";
      for (const CLI::App* command : app.get_subcommands({})) message += " " + command->get_name();
    }
    Usage(err, message);
    return kUsage;
  }

  CommandOptions& options = line.options;
  options.settings = SettingsFromEnvironment();
  if (app.count("--server") != 0) options.settings.server = harness::FromUtf8(line.server);
  if (app.count("--user") != 0) options.settings.user = harness::FromUtf8(line.user);
  if (app.count("--password") != 0) options.settings.password = harness::FromUtf8(line.password);

  try {
    if (*list) return ListCommand(options, out);
    if (*run) return RunCommand(options, line.tests, line.out_folder, out, err);
    if (*readwrite) {
      return ReadWriteCommand(options, line.tests, line.out_folder, line.report, out, err);
    }
    if (*create) return CreateCommand(options, line.test, out, err);
    if (*remove) return DeleteCommand(options, line.test, out, err);
    if (*model) return ModelCommand(options, line.test, out, err);
    if (*script) return ScriptCommand(options, line.test, out, err);
    if (*demo) return DemoCommand(options, out, err);
    if (*sql) return SqlCommand(options, line.sql, out, err);
    if (*serve) return ServeCommand(options, line.serve, out, err);
    Usage(err, "no command given");
    return kUsage;
  } catch (const UsageError& e) {
    Usage(err, e.what());
    return kUsage;
  } catch (...) {
    PrintError(err, harness::CurrentError());
    return kFailure;
  }
}

}  // namespace host
