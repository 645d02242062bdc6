#ifndef TAVORA_HOST_COMMANDS_H_
#define TAVORA_HOST_COMMANDS_H_

#include <cstdint>
#include <ostream>
#include <stdexcept>
#include <string>
#include <vector>

#include "harness/error.h"
#include "host/backends.h"
#include "host/harness_classes.h"

namespace host {

// What the commands take from the command line.
struct CommandOptions {
  std::string backend = kDefaultBackend;
  Settings settings;
  // Empty: DefaultWorkspaceFolder().
  std::string workspace;
  // Empty: DefaultComponentPath().
  std::string component;
  // The embedded server's data folder. Empty: DefaultDataFolder(), except
  // for `demo`, which runs on a fresh server in memory.
  std::string data;
};

// A command line naming something that does not exist, such as an unknown
// test; the command exits with status 2.
class UsageError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// "error NUMBER: DESCRIPTION" and a line break, the description's CR LF
// written as line breaks.
void PrintError(std::ostream& err, const harness::Error& error);

// $XDG_STATE_HOME/tavora/workspace, else ~/.local/state/tavora/workspace.
// Error 75 when neither variable gives an absolute folder.
std::string DefaultWorkspaceFolder();

// The commands. Each drives the component only through its interfaces and
// returns the exit status: 0 when every operation succeeded, 1 when one
// failed, after printing "error NUMBER: DESCRIPTION" for it to `err`. Failures
// before any test runs (loading the component, a data folder that cannot be
// used) are thrown as harness::Error; an unknown test name as UsageError.

// The library, its suites and their tests with descriptions.
int ListCommand(const CommandOptions& options, std::ostream& out);

// Check, Create, model, Save and Delete of each test (every test when `tests` is
// empty); a one-line summary per test. With a non-empty `out_folder`, writes
// model-T.json, create-T.jsonl, delete-T.jsonl and workspace-T.json there for
// each test T; a file whose operation did not get that far holds null.
int RunCommand(const CommandOptions& options, const std::vector<std::string>& tests,
               const std::string& out_folder, std::ostream& out, std::ostream& err);

// The read/write test of each test (every test when `tests` is empty): Create
// and Save, then the read pass and the write pass of the reference driver
// over a session of the options' back end, then Delete, always. One line per
// test (ReadWriteSummary and the time); 0 only when every property read as
// its original and no write was unexpected. With a non-empty `out_folder`,
// writes readwrite-T.json there for each test T; with a non-empty `report`,
// an HTML page of all of them. UsageError on the record back end, which
// answers no catalog queries.
int ReadWriteCommand(const CommandOptions& options, const std::vector<std::string>& tests,
                     const std::string& out_folder, const std::string& report, std::ostream& out,
                     std::ostream& err);

// Create and Save of one test, leaving the database in place.
int CreateCommand(const CommandOptions& options, const std::string& test, std::ostream& out,
                  std::ostream& err);

// Delete of one test.
int DeleteCommand(const CommandOptions& options, const std::string& test, std::ostream& out,
                  std::ostream& err);

// Create of one test, then its model as JSON on `out`.
int ModelCommand(const CommandOptions& options, const std::string& test, std::ostream& out,
                 std::ostream& err);

// A dry run of Create on the record back end, whatever the options name:
// every statement it would send, each followed by a line "GO".
int ScriptCommand(const CommandOptions& options, const std::string& test, std::ostream& out,
                  std::ostream& err);

// Every test end to end with a readable summary; 0 only when all succeeded.
int DemoCommand(const CommandOptions& options, std::ostream& out, std::ostream& err);

// Runs `text` (batches separated by GO lines) on the embedded server over the
// options' data folder, logged in with the options' user (trusted when
// empty), and prints each result as a table followed by "(N rows affected)",
// then the server's messages. Stops at the first error, printed as
// "error NUMBER: TEXT"; 1 then, else 0.
int SqlCommand(const CommandOptions& options, const std::string& text, std::ostream& out,
               std::ostream& err);

// What `serve` takes besides the common options.
struct ServeOptions {
  std::string address = "127.0.0.1";
  uint16_t port = 1433;  // 0: a free port
  // A file whose first line is sa's password; empty: $TAVORA_SA_PASSWORD,
  // else no password. Never the password itself, which other users of the
  // machine could read from the process list.
  std::string sa_password_file;
  int max_connections = 256;
  int login_timeout = 60;  // seconds; 0: none
};

// Serves the embedded server over the options' data folder to TDS clients on
// `serve.address`:`serve.port`, printing "listening on ADDRESS:PORT" once
// clients can connect, until SIGINT or SIGTERM; then stops every connection
// and returns 0. 1 when the address cannot be listened on or the password
// file cannot be read; UsageError when the address is reachable from other
// machines (not loopback) and sa has no password.
int ServeCommand(const CommandOptions& options, const ServeOptions& serve, std::ostream& out,
                 std::ostream& err);

}  // namespace host

#endif  // TAVORA_HOST_COMMANDS_H_
