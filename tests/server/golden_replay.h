#ifndef TAVORA_TESTS_SERVER_GOLDEN_REPLAY_H_
#define TAVORA_TESTS_SERVER_GOLDEN_REPLAY_H_

#include <optional>
#include <string>
#include <vector>

#include "server/engine.h"
#include "tests/golden_files.h"

namespace server::testing {

// The datasets' Create and Delete replayed on an engine from their golden
// transcripts, so the server can be driven without the component.

struct Replay {
  std::optional<SqlError> error;      // the failure that ended the replay
  std::vector<std::string> executed;  // every Execute text sent, in order
};

// Sends `calls` on one session that reached the server as `server_name`, each
// text split into batches as the session back ends split it. The first error
// ends the replay, except where the datasets ignore it (dropping a
// distributor or a publication that may not be there); a Query that finds
// nothing ends it too, as Delete ends when its database is not there.
Replay ReplayCalls(Engine& engine, const std::vector<tavora::testing::GoldenCall>& calls,
                   const std::string& server_name = "(local)");

// The golden Create or Delete of a test ("Standard", "Replication.Merge"...),
// the server named as the session reached it.
Replay ReplayCreate(Engine& engine, const std::string& test,
                    const std::string& server_name = "(local)");
Replay ReplayDelete(Engine& engine, const std::string& test,
                    const std::string& server_name = "(local)");

// The golden calls of one transcript with the server named `server_name`
// where the datasets name the server they log in to.
std::vector<tavora::testing::GoldenCall> CallsReaching(const std::string& transcript,
                                                       const std::string& server_name);

}  // namespace server::testing

#endif  // TAVORA_TESTS_SERVER_GOLDEN_REPLAY_H_
