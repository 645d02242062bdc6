#ifndef TAVORA_HOST_TEST_RUN_H_
#define TAVORA_HOST_TEST_RUN_H_

#include <chrono>
#include <functional>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

#include "harness/error.h"
#include "harness/test_library.h"
#include "harness/workspace.h"
#include "host/record_session.h"

namespace host {

struct TestRun;

// The dataset operations to drive, in this order: Create, Save, Delete.
// `between`, when set, runs after a successful Create and Save and before
// Delete (the read/write test); its failure is the step "ReadWrite".
struct Steps {
  bool create = false;
  bool save = false;
  bool remove = false;
  std::function<void(TestRun&)> between = {};
};

// Where a test runs: the workspace handed to the dataset, the folder it saves
// to, and the record of the back end's calls (null when it keeps none).
struct RunContext {
  harness::Workspace* workspace = nullptr;
  std::string workspace_folder;
  RecordBackend* record = nullptr;
};

// One failed operation of a test.
struct StepFailure {
  std::string step;  // "Check", "Create", "ObjectModel", "Save", "Delete", ...
  harness::Error error;
};

// What driving one test produced.
struct TestRun {
  std::u16string name;
  std::vector<StepFailure> failures;
  // The dataset's model in its JSON form after Create; null when it has none.
  nlohmann::ordered_json model;
  Transcript create_calls;
  Transcript delete_calls;
  // The saved workspace project file, when Save succeeded.
  std::optional<std::string> saved_project;
  std::chrono::duration<double> elapsed{};

  bool ok() const { return failures.empty(); }
  // Execute and Query calls of Create and Delete.
  int StatementCount() const;
};

// Drives the chosen operations of the test's dataset the way a harness does.
// A failed Create skips Save, whose project would not be this test's, but
// still runs Delete so that nothing is left behind. When both Create and
// Delete are chosen, a "Check" comes first so that Delete can only drop what
// this run created: the dataset's Delete runs with every change held back
// (see Probe), and when it would have changed something (the test's database
// is already there: error 1801 naming it and `tavora delete TEST`), or when
// that check fails, neither Create nor Delete runs. Every failure is
// collected, none is thrown.
TestRun DriveTest(harness::TestCase& test, const RunContext& context, Steps steps);

}  // namespace host

#endif  // TAVORA_HOST_TEST_RUN_H_
