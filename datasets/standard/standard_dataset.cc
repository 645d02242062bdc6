#include "datasets/standard/standard_dataset.h"

#include "datasets/dataset_classes.h"
#include "datasets/standard/builders.h"
#include "harness/error.h"
#include "library/vxhandler.h"

namespace tavora {

using standard::kModule;

harness::ComPtr<harness::IDataset> MakeStandardDataset() {
  return harness::MakeObject<StandardDataset>();
}

std::u16string StandardDataset::Name() {
  return Trap(kModule, u"IDataset_Name", [] { return std::u16string(u"tavora.Standard"); });
}

harness::ComPtr<harness::ObjectModel> StandardDataset::ObjectModel() {
  return Trap(kModule, u"IDataset_ObjectModel", [&] { return model_; });
}

void StandardDataset::Modify(harness::Workspace*, std::u16string&, std::u16string&,
                             std::u16string&) {}

void StandardDataset::Create(const std::u16string&, harness::Workspace*, harness::IUnknown*) {
  Trap(kModule, u"IDataset_Create",
       [] { Raise(harness::errors::kNotImplemented, u"IDataset_Create is not implemented yet"); });
}

void StandardDataset::Save(const std::u16string&, harness::Workspace*, harness::IUnknown*) {
  Trap(kModule, u"IDataset_Save",
       [] { Raise(harness::errors::kNotImplemented, u"IDataset_Save is not implemented yet"); });
}

void StandardDataset::Delete(const std::u16string&, harness::IUnknown*) {
  Trap(kModule, u"IDataset_Delete",
       [] { Raise(harness::errors::kNotImplemented, u"IDataset_Delete is not implemented yet"); });
}

}  // namespace tavora
