// The T-SQL fuzz target's seeds are made from the golden transcripts: every
// batch the datasets send, one batch a file, plus each dataset's whole Create
// and Delete as one session text, so that mutations start from statements
// that reach deep into the catalog. This test names what drifted; run it with
// TAVORA_WRITE_SEEDS=1 (scripts/regenerate-golden does) to rewrite them.

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "base/batch_splitter.h"
#include "tests/golden_files.h"
#include "tests/server/golden_replay.h"

namespace server::testing {
namespace {

namespace fs = std::filesystem;
using tavora::testing::GoldenCall;

const fs::path kSeedFolder = fs::path(TAVORA_SOURCE_DIR) / "fuzz" / "corpus" / "tsql";

// Seeds this test owns; files with other names (reproducers someone kept) are
// left alone.
bool IsGeneratedSeed(const fs::path& file) {
  std::string name = file.filename().string();
  return name.starts_with("dataset-") || name.starts_with("session-");
}

// The fuzz target logs in as if it reached the server by this name, so the
// replication statements that name the server succeed in the sessions.
constexpr char kFuzzServerName[] = "FUZZ";

// File name -> content of every seed this test generates, each batch once,
// numbered in the order the datasets first send it.
std::map<std::string, std::string> ExpectedSeeds() {
  const std::pair<const char*, const char*> kSessions[] = {
      {"Standard", "standard"},
      {"Replication.Transactional", "transpub"},
      {"Replication.Snapshot", "snappub"},
      {"Replication.Merge", "mergepub"}};
  std::map<std::string, std::string> seeds;
  std::set<std::string> batches;
  for (const auto& [test, name] : kSessions) {
    std::string session;
    for (const char* operation : {"create-", "delete-"}) {
      for (const GoldenCall& call :
           CallsReaching(operation + std::string(test) + ".jsonl", kFuzzServerName)) {
        session += call.text + "\r\nGO\r\n";
        for (const std::string& batch : base::SplitBatches(call.text)) {
          if (!batches.insert(batch).second) continue;
          char file[32];
          std::snprintf(file, sizeof file, "dataset-%03zu.sql", batches.size());
          seeds[file] = batch;
        }
      }
    }
    seeds[std::string("session-") + name + ".sql"] = session;
  }
  return seeds;
}

TEST(TsqlSeedCorpus, HoldsEveryDatasetBatchAndSession) {
  std::map<std::string, std::string> expected = ExpectedSeeds();
  ASSERT_GT(expected.size(), 4u);

  const char* write = std::getenv("TAVORA_WRITE_SEEDS");
  if (write != nullptr && std::string(write) == "1") {
    fs::create_directories(kSeedFolder);
    for (const auto& entry : fs::directory_iterator(kSeedFolder)) {
      if (IsGeneratedSeed(entry.path())) fs::remove(entry.path());
    }
    for (const auto& [name, text] : expected) {
      std::ofstream(kSeedFolder / name, std::ios::binary) << text;
    }
  }

  std::map<std::string, std::string> actual;
  for (const auto& entry : fs::directory_iterator(kSeedFolder)) {
    if (IsGeneratedSeed(entry.path())) {
      actual[entry.path().filename().string()] = tavora::testing::ReadFileBytes(entry.path());
    }
  }
  for (const auto& [name, text] : expected) {
    SCOPED_TRACE(name);
    auto found = actual.find(name);
    ASSERT_NE(found, actual.end()) << "missing seed; rerun with TAVORA_WRITE_SEEDS=1";
    EXPECT_EQ(found->second, text) << "stale seed; rerun with TAVORA_WRITE_SEEDS=1";
  }
  for (const auto& [name, text] : actual) {
    EXPECT_TRUE(expected.contains(name))
        << name << " is no longer sent; rerun with TAVORA_WRITE_SEEDS=1";
  }
}

}  // namespace
}  // namespace server::testing
