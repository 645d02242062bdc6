#ifndef TAVORA_DATASETS_REPLICATION_BUILDERS_H_
#define TAVORA_DATASETS_REPLICATION_BUILDERS_H_

#include <string>
#include <string_view>

#include "harness/object_model.h"
#include "harness/session.h"

namespace tavora::replication {

// Module names the replication datasets' traps report. The snapshot class
// reports under the shared module's name, not its own.
inline constexpr std::u16string_view kTransPubModule = u"TransPubDataset";
inline constexpr std::u16string_view kSnapPubModule = u"ReplicationDataset";
inline constexpr std::u16string_view kMergePubModule = u"MergePubDataset";

// The publication builders that Create calls after the distributor and the
// model frame exist. Each runs its batches in `database`, records what it made
// in the collections of `project`, and traps its failures under its own name
// and passes them on; nothing already done is undone.
using Builder = void (*)(harness::ModelProject& project, harness::SqlSession& session,
                         const std::u16string& database);

void CreateTransactionalPublication(harness::ModelProject& project, harness::SqlSession& session,
                                    const std::u16string& database);
void CreateQueuedTransactionalPublication(harness::ModelProject& project,
                                          harness::SqlSession& session,
                                          const std::u16string& database);
void CreateSnapshotPublication(harness::ModelProject& project, harness::SqlSession& session,
                               const std::u16string& database);
void CreateQueuedSnapshotPublication(harness::ModelProject& project, harness::SqlSession& session,
                                     const std::u16string& database);
void CreateMergePublication(harness::ModelProject& project, harness::SqlSession& session,
                            const std::u16string& database);

}  // namespace tavora::replication

#endif  // TAVORA_DATASETS_REPLICATION_BUILDERS_H_
