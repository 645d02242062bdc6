#include "datasets/replication/replication_dataset.h"

#include "datasets/dataset_classes.h"
#include "harness/error.h"
#include "library/vxhandler.h"

namespace tavora {

namespace {

const ReplicationProfile kTransPub{u"TransPubDataset", u"tavora.TransPub", u"TransPubDataset"};
const ReplicationProfile kSnapPub{u"ReplicationDataset", u"tavora.Replication",
                                  u"ReplicationDataset"};
const ReplicationProfile kMergePub{u"MergePubDataset", u"tavora.MergePub", u"MergePubDataset"};

}  // namespace

harness::ComPtr<harness::IDataset> MakeTransPubDataset() {
  return harness::MakeObject<ReplicationDataset>(kTransPub);
}
harness::ComPtr<harness::IDataset> MakeSnapPubDataset() {
  return harness::MakeObject<ReplicationDataset>(kSnapPub);
}
harness::ComPtr<harness::IDataset> MakeMergePubDataset() {
  return harness::MakeObject<ReplicationDataset>(kMergePub);
}

std::u16string ReplicationDataset::Name() {
  return Trap(profile_.module, u"IDataset_Name", [&] { return std::u16string(profile_.name); });
}

harness::ComPtr<harness::ObjectModel> ReplicationDataset::ObjectModel() {
  return Trap(profile_.module, u"IDataset_ObjectModel", [&] { return model_; });
}

void ReplicationDataset::Modify(harness::Workspace*, std::u16string&, std::u16string&,
                                std::u16string&) {}

void ReplicationDataset::Create(const std::u16string&, harness::Workspace*, harness::IUnknown*) {
  Trap(profile_.module, u"IDataset_Create",
       [] { Raise(harness::errors::kNotImplemented, u"IDataset_Create is not implemented yet"); });
}

void ReplicationDataset::Save(const std::u16string&, harness::Workspace*, harness::IUnknown*) {
  Trap(profile_.module, u"IDataset_Save",
       [] { Raise(harness::errors::kNotImplemented, u"IDataset_Save is not implemented yet"); });
}

void ReplicationDataset::Delete(const std::u16string&, harness::IUnknown*) {
  Trap(profile_.module, u"IDataset_Delete",
       [] { Raise(harness::errors::kNotImplemented, u"IDataset_Delete is not implemented yet"); });
}

}  // namespace tavora
