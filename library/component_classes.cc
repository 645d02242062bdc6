#include "library/component_classes.h"

#include "datasets/dataset_classes.h"
#include "harness/class_ids.h"
#include "library/library.h"
#include "library/read_write_suite.h"
#include "library/vxhandler.h"

namespace tavora {

namespace {

// Adapts a class's Make function to the table's one signature.
template <auto kMake>
harness::ComPtr<harness::IUnknown> Create() {
  return kMake();
}

constexpr ComponentClass kClasses[] = {
    {harness::kClsidLibrary, u"Library", Create<MakeLibrary>},
    {harness::kClsidReadWriteSuite, u"ReadWriteSuite", Create<MakeReadWriteSuite>},
    {harness::kClsidStandardDataset, u"StandardDataset", Create<MakeStandardDataset>},
    {harness::kClsidTransPubDataset, u"TransPubDataset", Create<MakeTransPubDataset>},
    {harness::kClsidMergePubDataset, u"MergePubDataset", Create<MakeMergePubDataset>},
    {harness::kClsidSnapPubDataset, u"SnapPubDataset", Create<MakeSnapPubDataset>},
};

}  // namespace

std::span<const ComponentClass> ComponentClasses() { return kClasses; }

const ComponentClass* FindComponentClass(const harness::Guid& clsid) {
  for (const ComponentClass& component_class : kClasses) {
    if (component_class.clsid == clsid) return &component_class;
  }
  return nullptr;
}

std::u16string ProgId(const ComponentClass& component_class) {
  return std::u16string(kProjectName) + u"." + component_class.name;
}

}  // namespace tavora
