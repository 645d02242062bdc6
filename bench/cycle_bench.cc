// In-process cost of the four tests: on the record back end, what the
// component itself spends building batches and models with no server behind;
// on the embedded server, the whole cycle as `tavora run` runs it, in memory
// and on a data folder. Each cycle benchmark also reports how far the
// process's resident memory rose while it ran.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>

#include "bench/peak_memory.h"
#include "bench/temp_folder.h"
#include "harness/test_library.h"
#include "host/embedded_session.h"
#include "host/harness_classes.h"
#include "host/model_json.h"
#include "library/library.h"

namespace {

struct Fixture {
  Fixture() {
    folder = std::filesystem::temp_directory_path() / "tavora-bench-workspace";
    std::filesystem::create_directories(folder);
    host::InstallHarnessClasses(host::Settings{}, host::RecordSessions(backend));
    workspace = host::MakeWorkspace(folder.string());
    suite = tavora::MakeLibrary()->GetSuite(0);
  }
  std::shared_ptr<host::RecordBackend> backend = std::make_shared<host::RecordBackend>();
  std::filesystem::path folder;
  harness::ComPtr<harness::Workspace> workspace;
  harness::ComPtr<harness::ITestSuite> suite;
};

Fixture& TheFixture() {
  static Fixture fixture;
  return fixture;
}

void CreateAndDeleteAll(Fixture& f) {
  for (int i = 0; i < f.suite->TestCount(); ++i) {
    harness::ComPtr<harness::IDataset> dataset = f.suite->GetTest(i)->Dataset();
    dataset->Create(u"", f.workspace.get(), nullptr);
    dataset->Delete(u"", nullptr);
  }
  f.backend->transcript.Clear();
}

// Create and Delete of all four tests (Save writes a file with fsync and is
// measured on its own below).
void BM_FourTestCycle(benchmark::State& state) {
  Fixture& f = TheFixture();
  bench::PeakMemoryGrowth memory;
  for (auto _ : state) CreateAndDeleteAll(f);
  memory.Report(state);
}
BENCHMARK(BM_FourTestCycle)->Unit(benchmark::kMillisecond);

// The same cycle on the embedded server in memory, every call transcribed as
// `tavora run` does; the record back end's sessions are put back afterwards.
void CycleOnEmbeddedServer(benchmark::State& state, const std::string& data) {
  Fixture& f = TheFixture();
  bench::PeakMemoryGrowth memory;
  std::shared_ptr<server::DataFolder> server = host::OpenEmbeddedServer(data);
  host::InstallHarnessClasses(host::Settings{}, [&] {
    return host::MakeTranscribedSession(host::MakeEmbeddedSession(server), f.backend);
  });
  for (auto _ : state) CreateAndDeleteAll(f);
  host::InstallHarnessClasses(host::Settings{}, host::RecordSessions(f.backend));
  memory.Report(state);
}

void BM_FourTestCycleEmbedded(benchmark::State& state) { CycleOnEmbeddedServer(state, ":memory:"); }
BENCHMARK(BM_FourTestCycleEmbedded)->Unit(benchmark::kMillisecond);

// On a data folder, where every batch commits to the store file.
void BM_FourTestCycleDataFolder(benchmark::State& state) {
  bench::TempFolder folder("tavora-cycle-bench");
  CycleOnEmbeddedServer(state, (folder.path() / "data").string());
}
BENCHMARK(BM_FourTestCycleDataFolder)->UseRealTime()->Unit(benchmark::kMillisecond);

// Exporting the largest model, as `tavora run --out` does.
void BM_StandardModelJson(benchmark::State& state) {
  Fixture& f = TheFixture();
  harness::ComPtr<harness::IDataset> dataset = f.suite->GetTest(0)->Dataset();
  dataset->Create(u"", f.workspace.get(), nullptr);
  for (auto _ : state) {
    benchmark::DoNotOptimize(host::ModelToJson(dataset->ObjectModel().get()).dump());
  }
  f.backend->transcript.Clear();
}
BENCHMARK(BM_StandardModelJson)->Unit(benchmark::kMillisecond);

void BM_SaveWorkspaceProject(benchmark::State& state) {
  Fixture& f = TheFixture();
  harness::ComPtr<harness::IDataset> dataset = f.suite->GetTest(3)->Dataset();
  dataset->Create(u"", f.workspace.get(), nullptr);
  for (auto _ : state) dataset->Save(u"", f.workspace.get(), nullptr);
  f.backend->transcript.Clear();
}
BENCHMARK(BM_SaveWorkspaceProject)->Unit(benchmark::kMicrosecond);

}  // namespace
