#ifndef TAVORA_DATASETS_STANDARD_STANDARD_DATASET_H_
#define TAVORA_DATASETS_STANDARD_STANDARD_DATASET_H_

#include <string>

#include "harness/test_library.h"
#include "library/module_lock.h"

namespace tavora {

// The dataset of the "Standard" test: a database of ordinary objects and its
// expected object model.
class StandardDataset : public harness::ComObject<harness::IDataset> {
 public:
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
  ModuleRef module_ref_;
  harness::ComPtr<harness::ObjectModel> model_;
};

}  // namespace tavora

#endif  // TAVORA_DATASETS_STANDARD_STANDARD_DATASET_H_
