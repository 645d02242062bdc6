#ifndef TAVORA_DATASETS_REPLICATION_REPLICATION_DATASET_H_
#define TAVORA_DATASETS_REPLICATION_REPLICATION_DATASET_H_

#include <string>

#include "harness/test_library.h"
#include "library/module_lock.h"

namespace tavora {

// What sets the three replication datasets apart; one lifecycle serves all.
struct ReplicationProfile {
  const char16_t* module;      // module name given to the error handler
  const char16_t* name;        // IDataset Name
  const char16_t* class_token; // makes the database name
};

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
