// The T-SQL fuzz target's seeds must hold every batch the datasets send, one
// batch a file, plus each dataset's whole Create and Delete as one session
// text, so that mutations start from statements that reach deep into the
// catalog. When the datasets change, this test names what is missing; run it
// with TAVORA_WRITE_SEEDS=1 to rewrite the seed files.

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "server/engine.h"
#include "tests/server/dataset_batches.h"

namespace server::testing {
namespace {

namespace fs = std::filesystem;

const fs::path kSeedFolder = fs::path(TAVORA_SOURCE_DIR) / "fuzz" / "corpus" / "tsql";

// Seeds this test owns; files with other names (reproducers someone kept) are
// left alone.
bool IsGeneratedSeed(const fs::path& file) {
  std::string name = file.filename().string();
  return name.starts_with("dataset-") || name.starts_with("session-");
}

std::string ReadFile(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

// Every session call's text of one Create and the Delete after it, joined the
// way a person would write them into one script.
std::string SessionText(const RunResult& create, const RunResult& remove,
                        const std::string& existence_query) {
  std::vector<std::string> texts = create.executed;
  texts.push_back(existence_query);
  texts.insert(texts.end(), remove.executed.begin(), remove.executed.end());
  std::string session;
  for (const std::string& text : texts) session += text + "\r\nGO\r\n";
  return session;
}

// The fuzz target logs in as if it reached the server by this name, so the
// replication statements that name the server succeed in the sessions.
constexpr char kFuzzServerName[] = "FUZZ";

// File name -> content of every seed this test generates. Batches keep their
// place in the datasets' order (repeated batches too), so names stay stable.
std::map<std::string, std::string> ExpectedSeeds() {
  std::map<std::string, std::string> seeds;
  int n = 0;
  for (const std::string& batch : AllDatasetBatches()) {
    char name[32];
    std::snprintf(name, sizeof name, "dataset-%03d.sql", ++n);
    seeds[name] = batch;
  }
  {
    Engine engine{ServerOptions{}};
    RunResult create = CreateStandard(engine, kFuzzServerName);
    RunResult remove = DeleteStandard(engine, kFuzzServerName);
    EXPECT_FALSE(create.error || remove.error) << "the standard dataset must run cleanly";
    seeds["session-standard.sql"] = SessionText(create, remove, ExistenceQuery(kStandardDatabase));
  }
  struct Kind {
    Replication kind;
    const char* name;
  };
  for (Kind k : {Kind{Replication::kTransactional, "transpub"},
                 Kind{Replication::kSnapshot, "snappub"}, Kind{Replication::kMerge, "mergepub"}}) {
    Engine engine{ServerOptions{}};
    RunResult create = CreateReplication(engine, k.kind, kFuzzServerName);
    RunResult remove = DeleteReplication(engine, k.kind, kFuzzServerName);
    EXPECT_FALSE(create.error || remove.error) << k.name << " must run cleanly";
    // Create asks for the master file's folder before the distribution database.
    EXPECT_GT(create.executed.size(), 3u);
    if (create.executed.size() > 3) {
      create.executed.insert(create.executed.begin() + 3, kPhysicalNameQuery);
    }
    seeds[std::string("session-") + k.name + ".sql"] =
        SessionText(create, remove, ExistenceQuery(ReplicationDatabase(k.kind)));
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
      actual[entry.path().filename().string()] = ReadFile(entry.path());
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
