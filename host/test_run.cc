#include "host/test_run.h"

#include <optional>

#include "harness/utf.h"
#include "host/file_io.h"
#include "host/model_json.h"
#include "host/workspace.h"

namespace host {

namespace {

constexpr char16_t kProjectName[] = u"Project1";

// Runs `body`, recording its failure under `step`; true when it succeeded.
template <class Body>
bool Attempt(TestRun& run, const char* step, Body&& body) {
  try {
    body();
    return true;
  } catch (...) {
    run.failures.push_back({step, harness::CurrentError()});
    return false;
  }
}

// Moves what the back end recorded so far into `transcript`.
void TakeCalls(RecordBackend* record, Transcript& transcript) {
  if (record == nullptr) return;
  transcript = record->transcript;
  record->transcript.Clear();
}

int CountStatements(const Transcript& transcript) {
  int count = 0;
  for (const auto& entry : transcript.entries()) {
    const auto& call = entry.at("call");
    if (call == "Execute" || call == "Query") ++count;
  }
  return count;
}

// What the server says when asked to create a database that exists.
constexpr int32_t kDatabaseExists = 1801;

// A run deletes what it creates, so first it makes sure that nothing of the
// test's is there to delete: it runs the dataset's own Delete with every
// change held back. Delete asks the server whether its database exists and
// changes something only when it does, so a held-back change means the
// database was there before the run. Error 1801 then; the probe's own
// failure (the server cannot be reached) as it is.
void RequireNothingToDelete(harness::IDataset& dataset, const std::u16string& folder,
                            RecordBackend& backend, const std::u16string& test) {
  struct ProbeScope {
    explicit ProbeScope(Probe& probe) : probe_(probe) {
      probe_ = Probe();
      probe_.on = true;
    }
    ~ProbeScope() { probe_.on = false; }
    Probe& probe_;
  } scope(backend.probe);
  std::optional<harness::Error> failure;
  try {
    dataset.Delete(folder, nullptr);
  } catch (const harness::Error& error) {
    failure = error;
  }
  if (backend.probe.held_back > 0) {
    const std::u16string database = backend.probe.found.empty()
                                        ? u"The database of test '" + test + u"'"
                                        : u"Database '" + backend.probe.found + u"'";
    throw harness::Error(kDatabaseExists,
                         database +
                             u" already exists. This run did not create it and leaves it alone: "
                             u"neither Create nor Delete ran. If it is left over from an earlier "
                             u"test, 'tavora delete " +
                             test + u"' drops it.");
  }
  if (failure) throw *failure;
}

}  // namespace

int TestRun::StatementCount() const {
  return CountStatements(create_calls) + CountStatements(delete_calls);
}

TestRun DriveTest(harness::TestCase& test, const RunContext& context, Steps steps) {
  auto start = std::chrono::steady_clock::now();
  TestRun run;
  const std::u16string folder = harness::FromUtf8(context.workspace_folder);
  harness::ComPtr<harness::IDataset> dataset;
  bool ready = Attempt(run, "TestCase", [&] {
    run.name = test.Name();
    dataset = test.Dataset();
    if (!dataset) harness::RaiseRuntime(harness::errors::kObjectNotSet);
  });
  if (!ready) return run;
  if (context.record != nullptr) context.record->transcript.Clear();

  if (steps.create && steps.remove && context.record != nullptr) {
    bool clear = Attempt(
        run, "Check", [&] { RequireNothingToDelete(*dataset, folder, *context.record, run.name); });
    if (!clear) {
      run.elapsed = std::chrono::steady_clock::now() - start;
      return run;
    }
  }

  bool created = true;
  if (steps.create) {
    created = Attempt(run, "Create", [&] { dataset->Create(folder, context.workspace, nullptr); });
    TakeCalls(context.record, run.create_calls);
    // A failed Create may still have filled part of a model: keep what it has.
    Attempt(run, "ObjectModel", [&] {
      harness::ComPtr<harness::ObjectModel> model = dataset->ObjectModel();
      if (model) run.model = ModelToJson(model.get());
    });
  }
  bool saved = false;
  if (steps.save && created) {
    saved = Attempt(run, "Save", [&] {
      dataset->Save(folder, context.workspace, nullptr);
      run.saved_project = ReadWholeFile(ProjectFilePath(context.workspace_folder, kProjectName));
    });
  }
  if (steps.between && saved) {
    Attempt(run, "ReadWrite", [&] { steps.between(run); });
    // The test's own calls are not the dataset's: Delete's transcript starts clean.
    if (context.record != nullptr) context.record->transcript.Clear();
  }
  if (steps.remove) {
    Attempt(run, "Delete", [&] { dataset->Delete(folder, nullptr); });
    TakeCalls(context.record, run.delete_calls);
  }
  run.elapsed = std::chrono::steady_clock::now() - start;
  return run;
}

}  // namespace host
