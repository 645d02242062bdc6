#include "tests/server/golden_replay.h"

#include "base/batch_splitter.h"
#include "tests/server/server_test_util.h"

namespace server::testing {

namespace {

// The statements whose failure the datasets expect and ignore.
bool MayFail(const std::string& text) {
  for (const char* procedure :
       {"sp_dropdistributor", "sp_droppublication", "sp_dropmergepublication"}) {
    if (text.find(procedure) != std::string::npos) return true;
  }
  return false;
}

}  // namespace

std::vector<tavora::testing::GoldenCall> CallsReaching(const std::string& transcript,
                                                       const std::string& server_name) {
  std::vector<tavora::testing::GoldenCall> calls = tavora::testing::GoldenCalls(transcript);
  for (tavora::testing::GoldenCall& call : calls) {
    call.text = tavora::testing::ReplaceAll(call.text, "'(local)'", "'" + server_name + "'");
  }
  return calls;
}

Replay ReplayCalls(Engine& engine, const std::vector<tavora::testing::GoldenCall>& calls,
                   const std::string& server_name) {
  Client client(engine, server_name);
  Replay replay;
  for (const tavora::testing::GoldenCall& call : calls) {
    if (call.call == "Execute") replay.executed.push_back(call.text);
    bool found = false;
    for (const std::string& batch : base::SplitBatches(call.text)) {
      BatchOutcome outcome = client.Run(batch);
      if (outcome.error) {
        if (MayFail(call.text)) break;
        replay.error = outcome.error;
        return replay;
      }
      for (const ResultSet& result : outcome.results) found = found || !result.rows.empty();
    }
    if (call.call == "Query" && !found) return replay;
  }
  return replay;
}

Replay ReplayCreate(Engine& engine, const std::string& test, const std::string& server_name) {
  return ReplayCalls(engine, CallsReaching("create-" + test + ".jsonl", server_name), server_name);
}

Replay ReplayDelete(Engine& engine, const std::string& test, const std::string& server_name) {
  return ReplayCalls(engine, CallsReaching("delete-" + test + ".jsonl", server_name), server_name);
}

}  // namespace server::testing
