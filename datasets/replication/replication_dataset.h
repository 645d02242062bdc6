#ifndef TAVORA_DATASETS_REPLICATION_REPLICATION_DATASET_H_
#define TAVORA_DATASETS_REPLICATION_REPLICATION_DATASET_H_

#include <span>
#include <string>
#include <string_view>

#include "datasets/replication/builders.h"
#include "harness/test_library.h"
#include "library/module_lock.h"

namespace tavora {

// What sets the three replication datasets apart; one lifecycle serves all.
struct ReplicationProfile {
  std::u16string_view module;                            // module name given to the error handler
  std::u16string_view name;                              // IDataset Name
  std::u16string_view class_token;                       // makes the database name
  std::u16string_view publish_option;                    // "publish" or "merge publish"
  std::span<const replication::Builder> builders;        // in the order Create calls them
  std::span<const std::u16string_view> drop_statements;  // Delete's, in order
};

// A dataset that makes the server its own distributor and publisher and
// builds publications in a fresh database, as `profile` says. Create fails
// with the first failure (a second Create without Delete fails at CREATE
// DATABASE); the model is replaced before the builders run, so it stays
// reachable when one of them fails. Delete drops the publications (their
// failures ignored), turns publishing off and drops the database, and does
// nothing but query when the database is absent; the distributor stays.
class ReplicationDataset : public harness::ComObject<harness::IDataset> {
 public:
  explicit ReplicationDataset(const ReplicationProfile& profile) : profile_(profile) {}

  std::u16string Name() override;
  void Create(const std::u16string& folder, harness::Workspace* workspace,
              harness::IUnknown* options) override;
  void Modify(harness::Workspace* workspace, std::u16string& project_name,
              std::u16string& collection_name, std::u16string& object_name) override;
  void Save(const std::u16string& folder, harness::Workspace* workspace,
            harness::IUnknown* options) override;
  void Delete(const std::u16string& folder, harness::IUnknown* options) override;
  harness::ComPtr<harness::ObjectModel> ObjectModel() override;

 private:
  const ReplicationProfile& profile_;
  ModuleRef module_ref_;
  harness::ComPtr<harness::ObjectModel> model_;
};

}  // namespace tavora

#endif  // TAVORA_DATASETS_REPLICATION_REPLICATION_DATASET_H_
