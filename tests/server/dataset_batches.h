#ifndef TAVORA_TESTS_SERVER_DATASET_BATCHES_H_
#define TAVORA_TESTS_SERVER_DATASET_BATCHES_H_

#include <optional>
#include <string>
#include <vector>

#include "server/engine.h"

namespace server::testing {

// The session texts the four datasets send, written here by hand from the
// dataset descriptions so the server can be driven without the component.

// One private builder: its name and the texts it Executes, in order.
struct BuilderTexts {
  std::string builder;
  std::vector<std::string> texts;
};

inline constexpr char kStandardDatabase[] = "tavora_StandardDataset";

// "USE master" CR LF "CREATE DATABASE tavora_StandardDataset".
std::string StandardCreateDatabase();
// The fourteen builders of the standard dataset, in Create's order.
std::vector<BuilderTexts> StandardBuilders();
// The existence query Delete sends, and its drop statement.
std::string ExistenceQuery(const std::string& database);
std::string DropDatabase(const std::string& database);

enum class Replication { kTransactional, kSnapshot, kMerge };

std::string ReplicationDatabase(Replication kind);
// Create's texts up to the model frame (database, distributor, publishing),
// given the data folder the sysdevices query found. The distributor drop
// (second text) is the one whose failure Create ignores.
std::vector<std::string> ReplicationSetup(Replication kind, const std::string& server,
                                          const std::string& folder);
inline constexpr char kPhysicalNameQuery[] =
    "USE master\r\nSELECT phyname FROM sysdevices WHERE name='master'";
// The publication builders, in Create's order.
std::vector<BuilderTexts> ReplicationBuilders(Replication kind);
// Delete's drop statements (failures ignored), then turning publishing off.
std::vector<std::string> ReplicationDrops(Replication kind);
std::string ReplicationPublishOff(Replication kind);

// The outcome of running a dataset operation against an engine.
struct RunResult {
  std::optional<SqlError> error;
  std::string failed_builder;         // "" when the failure was outside a builder
  std::vector<std::string> executed;  // every text sent with Execute, in order
};

// Create and Delete as the datasets run them, each on a session of its own
// that ends with the operation (failed or not).
RunResult CreateStandard(Engine& engine, const std::string& server = "TAVORA");
RunResult DeleteStandard(Engine& engine, const std::string& server = "TAVORA");
RunResult CreateReplication(Engine& engine, Replication kind, const std::string& server = "TAVORA");
RunResult DeleteReplication(Engine& engine, Replication kind, const std::string& server = "TAVORA");

// Every batch the datasets send (split on GO), for the fuzzer's seed corpus.
std::vector<std::string> AllDatasetBatches();

}  // namespace server::testing

#endif  // TAVORA_TESTS_SERVER_DATASET_BATCHES_H_
