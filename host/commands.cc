#include "host/commands.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <iomanip>
#include <memory>
#include <utility>

#include "harness/activation.h"
#include "harness/class_ids.h"
#include "harness/test_library.h"
#include "harness/utf.h"
#include "host/component_loader.h"
#include "host/file_io.h"
#include "host/readwrite.h"
#include "host/readwrite_report.h"
#include "host/test_run.h"

namespace host {

namespace {

using nlohmann::ordered_json;

struct TestEntry {
  std::string name;
  harness::ComPtr<harness::TestCase> test;
};

// The loaded component with the harness classes installed: its library, its
// suites' tests, and the workspace the datasets register their project in.
class Driver {
 public:
  Driver(const CommandOptions& options, Backend backend)
      : component_(Component::Load(options.component.empty() ? DefaultComponentPath()
                                                             : options.component)),
        backend_(std::move(backend)),
        workspace_folder_(options.workspace) {
    InstallHarnessClasses(options.settings, backend_.sessions);
    library_ = component_->Create<harness::ITestLibrary>(harness::kClsidLibrary);
    for (int32_t s = 0; s < library_->SuiteCount(); ++s) {
      harness::ComPtr<harness::ITestSuite> suite = library_->GetSuite(s);
      for (int32_t t = 0; t < suite->TestCount(); ++t) {
        harness::ComPtr<harness::TestCase> test = suite->GetTest(t);
        tests_.push_back({harness::ToUtf8(test->Name()), test});
      }
      suites_.push_back(std::move(suite));
    }
  }

  // The activation table outlives the command; without this its session
  // factory would keep the back end (and the embedded server's data folder,
  // with its lock) alive until the process ends.
  ~Driver() { harness::InstallClass(harness::SqlSession::kClsid, nullptr); }
  Driver(const Driver&) = delete;
  Driver& operator=(const Driver&) = delete;

  harness::ITestLibrary& library() { return *library_; }
  const std::vector<harness::ComPtr<harness::ITestSuite>>& suites() const { return suites_; }
  const std::vector<TestEntry>& tests() const { return tests_; }

  // The test called `name`; UsageError naming the valid names otherwise.
  harness::TestCase& Find(const std::string& name) const {
    std::string valid;
    for (const TestEntry& entry : tests_) {
      if (entry.name == name) return *entry.test;
      valid += (valid.empty() ? "" : ", ") + entry.name;
    }
    throw UsageError("unknown test '" + name + "'; valid tests: " + valid);
  }

  // A new session of the back end, as the harness opens its own.
  harness::ComPtr<harness::SqlSession> NewSession() { return backend_.sessions(); }

  TestRun Drive(harness::TestCase& test, Steps steps) {
    if (!workspace_) {
      if (workspace_folder_.empty()) workspace_folder_ = DefaultWorkspaceFolder();
      workspace_ = MakeWorkspace(workspace_folder_);
    }
    return DriveTest(test, {workspace_.get(), workspace_folder_, backend_.record.get()}, steps);
  }

 private:
  // First, so that it is destroyed last, after every object it made.
  std::unique_ptr<Component> component_;
  Backend backend_;
  std::string workspace_folder_;
  harness::ComPtr<harness::Workspace> workspace_;
  harness::ComPtr<harness::ITestLibrary> library_;
  std::vector<harness::ComPtr<harness::ITestSuite>> suites_;
  std::vector<TestEntry> tests_;
};

const Steps kAllSteps{true, true, true};

Backend ChosenBackend(const CommandOptions& options) {
  return MakeBackend(options.backend, {options.data});
}

struct ModelCounts {
  size_t objects = 0;
  size_t properties = 0;
};

void CountCollections(const ordered_json& collections, ModelCounts& counts) {
  for (const auto& collection : collections) {
    for (const auto& object : collection.at("objects")) {
      ++counts.objects;
      counts.properties += object.at("properties").size();
      CountCollections(object.at("collections"), counts);
    }
  }
}

ModelCounts CountModel(const ordered_json& model) {
  ModelCounts counts;
  if (model.is_null()) return counts;
  for (const auto& project : model.at("projects")) {
    CountCollections(project.at("collections"), counts);
  }
  return counts;
}

std::string Milliseconds(const TestRun& run) {
  char text[32];
  std::snprintf(text, sizeof text, "%.1f ms", run.elapsed.count() * 1000.0);
  return text;
}

void PrintFailures(std::ostream& err, const TestRun& run) {
  for (const StepFailure& failure : run.failures) {
    err << harness::ToUtf8(run.name) << ": " << failure.step << " failed\n";
    PrintError(err, failure.error);
  }
}

std::string SummaryLine(const TestRun& run) {
  std::string result = "ok";
  if (!run.ok()) {
    result = "FAILED (";
    for (size_t i = 0; i < run.failures.size(); ++i) {
      result += (i == 0 ? "" : ", ") + run.failures[i].step;
    }
    result += ")";
  }
  ModelCounts counts = CountModel(run.model);
  return harness::ToUtf8(run.name) + ": " + result + ", " + std::to_string(counts.objects) +
         " objects, " + std::to_string(counts.properties) + " properties, " +
         std::to_string(run.StatementCount()) + " statements, " + Milliseconds(run);
}

// The transcripts and the workspace project tell how to log in to the
// server, so only their owner may read them.
void WriteOutputs(const std::string& folder, const TestRun& run) {
  std::filesystem::path base(folder);
  std::string name = harness::ToUtf8(run.name);
  WriteFileAtomically((base / ("model-" + name + ".json")).string(), run.model.dump(2) + "\n",
                      kReadableFile);
  WriteFileAtomically((base / ("create-" + name + ".jsonl")).string(),
                      run.create_calls.ToJsonLines(), kOwnerOnlyFile);
  WriteFileAtomically((base / ("delete-" + name + ".jsonl")).string(),
                      run.delete_calls.ToJsonLines(), kOwnerOnlyFile);
  WriteFileAtomically((base / ("workspace-" + name + ".json")).string(),
                      run.saved_project.value_or("null\n"), kOwnerOnlyFile);
}

// Drives one named test and reports its failures; the exit status.
int DriveOne(const CommandOptions& options, Backend backend, const std::string& name, Steps steps,
             std::ostream& out, std::ostream& err) {
  Driver driver(options, std::move(backend));
  TestRun run = driver.Drive(driver.Find(name), steps);
  out << SummaryLine(run) << "\n";
  PrintFailures(err, run);
  return run.ok() ? 0 : 1;
}

// The database the saved workspace project points at.
std::u16string ProjectDatabase(const std::optional<std::string>& saved_project) {
  if (saved_project) {
    ordered_json project = ordered_json::parse(*saved_project, nullptr, false);
    if (project.is_object() && project.contains("connection")) {
      for (const auto& entry : project["connection"]) {
        if (entry.value("property", "") == "Database" && entry.contains("value") &&
            entry["value"].contains("String")) {
          return harness::FromUtf8(entry["value"]["String"].get<std::string>());
        }
      }
    }
  }
  throw harness::Error(harness::errors::kInvalidCall,
                       u"The saved workspace project names no database.");
}

// The login the datasets use, in the same ODBC form.
std::u16string LoginString(const Settings& settings) {
  auto value = [](const std::u16string& text) {
    return text.find_first_of(u";{}") == std::u16string::npos ? text : u"{" + text + u"}";
  };
  return u"DRIVER=SQL Server;SERVER=" + value(settings.server) + u";UID=" + value(settings.user) +
         u";PWD=" + value(settings.password) + u";Trusted_Connection=" +
         (settings.user.empty() ? u"Yes" : u"No");
}

}  // namespace

void PrintError(std::ostream& err, const harness::Error& error) {
  std::string text = harness::ToUtf8(error.description());
  std::string shown;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
    shown += text[i];
  }
  err << "error " << error.number() << ": " << shown << "\n";
}

std::string DefaultWorkspaceFolder() { return DefaultStateFolder("workspace"); }

int ListCommand(const CommandOptions& options, std::ostream& out) {
  // Listing opens no session, so any back end serves.
  Driver driver(options, MakeBackend("record"));
  out << "library " << harness::ToUtf8(driver.library().Name()) << ": "
      << harness::ToUtf8(driver.library().Description()) << "\n";
  for (const auto& suite : driver.suites()) {
    out << "  suite " << harness::ToUtf8(suite->Name()) << ": "
        << harness::ToUtf8(suite->Description()) << "\n";
    for (int32_t t = 0; t < suite->TestCount(); ++t) {
      harness::ComPtr<harness::TestCase> test = suite->GetTest(t);
      out << "    " << std::left << std::setw(28) << harness::ToUtf8(test->Name())
          << harness::ToUtf8(test->Description()) << "\n";
    }
  }
  return 0;
}

int RunCommand(const CommandOptions& options, const std::vector<std::string>& tests,
               const std::string& out_folder, std::ostream& out, std::ostream& err) {
  Driver driver(options, ChosenBackend(options));
  std::vector<harness::TestCase*> chosen;
  for (const std::string& name : tests) chosen.push_back(&driver.Find(name));
  if (tests.empty()) {
    for (const TestEntry& entry : driver.tests()) chosen.push_back(entry.test.get());
  }
  int status = 0;
  for (harness::TestCase* test : chosen) {
    TestRun run = driver.Drive(*test, kAllSteps);
    out << SummaryLine(run) << "\n";
    PrintFailures(err, run);
    if (!run.ok()) status = 1;
    if (!out_folder.empty()) WriteOutputs(out_folder, run);
  }
  return status;
}

int ReadWriteCommand(const CommandOptions& options, const std::vector<std::string>& tests,
                     const std::string& out_folder, const std::string& report, std::ostream& out,
                     std::ostream& err) {
  if (options.backend == "record") {
    throw UsageError(
        "readwrite needs a server that answers catalog queries; the record back end answers "
        "none: use --backend embedded or odbc");
  }
  Driver driver(options, ChosenBackend(options));
  std::vector<harness::TestCase*> chosen;
  for (const std::string& name : tests) chosen.push_back(&driver.Find(name));
  if (tests.empty()) {
    for (const TestEntry& entry : driver.tests()) chosen.push_back(entry.test.get());
  }
  int status = 0;
  std::vector<ReadWriteReport> reports;
  for (harness::TestCase* test : chosen) {
    std::optional<ReadWriteResult> result;
    Steps steps = kAllSteps;
    steps.between = [&](TestRun& run) {
      harness::ComPtr<harness::SqlSession> session = driver.NewSession();
      session->SetLoginTimeout(15);
      session->Open(LoginString(options.settings));
      result = RunReadWrite(run.model, *session, ProjectDatabase(run.saved_project));
      session->Close();
    };
    TestRun run = driver.Drive(*test, steps);
    if (result) {
      out << ReadWriteSummary(run.name, *result) << "; " << Milliseconds(run) << "\n";
      err << ReadWriteProblems(run.name, *result, 20);
      if (result->unexpected > 0 || result->equal < result->read) status = 1;
      if (!out_folder.empty()) {
        WriteFileAtomically((std::filesystem::path(out_folder) /
                             ("readwrite-" + harness::ToUtf8(run.name) + ".json"))
                                .string(),
                            ReadWriteToJson(run.name, *result).dump(2) + "\n", kReadableFile);
      }
      reports.push_back({run.name, std::move(*result), run.elapsed.count()});
    } else {
      out << SummaryLine(run) << "\n";
    }
    PrintFailures(err, run);
    if (!run.ok()) status = 1;
  }
  if (!report.empty()) WriteFileAtomically(report, ReadWriteReportHtml(reports), kReadableFile);
  return status;
}

int CreateCommand(const CommandOptions& options, const std::string& test, std::ostream& out,
                  std::ostream& err) {
  return DriveOne(options, ChosenBackend(options), test, {true, true, false}, out, err);
}

int DeleteCommand(const CommandOptions& options, const std::string& test, std::ostream& out,
                  std::ostream& err) {
  return DriveOne(options, ChosenBackend(options), test, {false, false, true}, out, err);
}

int ModelCommand(const CommandOptions& options, const std::string& test, std::ostream& out,
                 std::ostream& err) {
  Driver driver(options, ChosenBackend(options));
  TestRun run = driver.Drive(driver.Find(test), {true, false, false});
  // What a failed Create left in the model is shown too.
  if (!run.model.is_null()) out << run.model.dump(2) << "\n";
  PrintFailures(err, run);
  return run.ok() ? 0 : 1;
}

int ScriptCommand(const CommandOptions& options, const std::string& test, std::ostream& out,
                  std::ostream& err) {
  Driver driver(options, MakeBackend("record"));
  TestRun run = driver.Drive(driver.Find(test), {true, false, false});
  for (const auto& entry : run.create_calls.entries()) {
    const auto& call = entry.at("call");
    if (call != "Execute" && call != "Query") continue;
    out << entry.at("text").get<std::string>() << "\r\nGO\r\n";
  }
  PrintFailures(err, run);
  return run.ok() ? 0 : 1;
}

int DemoCommand(const CommandOptions& options, std::ostream& out, std::ostream& err) {
  // A fresh server unless one is named, so the demo neither depends on nor
  // disturbs what earlier runs left.
  BackendOptions backend_options{options.data.empty() ? ":memory:" : options.data};
  Driver driver(options, MakeBackend(options.backend, backend_options));
  out << "tavora demo: library " << harness::ToUtf8(driver.library().Name()) << " ("
      << harness::ToUtf8(driver.library().Description()) << "), back end " << options.backend
      << ", server " << harness::ToUtf8(options.settings.server) << "\n\n";
  out << std::left << std::setw(27) << "test" << std::setw(8) << "result" << std::right
      << std::setw(9) << "objects" << std::setw(12) << "properties" << std::setw(12) << "statements"
      << std::setw(12) << "time"
      << "\n";
  size_t succeeded = 0;
  for (const TestEntry& entry : driver.tests()) {
    TestRun run = driver.Drive(*entry.test, kAllSteps);
    ModelCounts counts = CountModel(run.model);
    out << std::left << std::setw(27) << entry.name << std::setw(8) << (run.ok() ? "ok" : "FAILED")
        << std::right << std::setw(9) << counts.objects << std::setw(12) << counts.properties
        << std::setw(12) << run.StatementCount() << std::setw(12) << Milliseconds(run) << "\n";
    out.flush();
    PrintFailures(err, run);
    if (run.ok()) ++succeeded;
  }
  out << "\n" << succeeded << " of " << driver.tests().size() << " tests succeeded.\n";
  return succeeded == driver.tests().size() ? 0 : 1;
}

}  // namespace host
