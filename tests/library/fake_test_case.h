#ifndef TAVORA_TESTS_LIBRARY_FAKE_TEST_CASE_H_
#define TAVORA_TESTS_LIBRARY_FAKE_TEST_CASE_H_

#include <string>

#include "harness/test_library.h"

namespace tavora {

// The harness's test case record reduced to its fields, installed in place of
// the host's TestCase class.
class FakeTestCase : public harness::ComObject<harness::TestCase> {
 public:
  std::u16string LibraryName() override { return library_name_; }
  void SetLibraryName(const std::u16string& name) override { library_name_ = name; }
  std::u16string Name() override { return name_; }
  void SetName(const std::u16string& name) override { name_ = name; }
  std::u16string Description() override { return description_; }
  void SetDescription(const std::u16string& description) override { description_ = description; }
  harness::ComPtr<harness::IDataset> Dataset() override { return dataset_; }
  void SetDataset(harness::IDataset* dataset) override {
    dataset_ = harness::ComPtr<harness::IDataset>(dataset);
  }

 private:
  std::u16string library_name_;
  std::u16string name_;
  std::u16string description_;
  harness::ComPtr<harness::IDataset> dataset_;
};

}  // namespace tavora

#endif  // TAVORA_TESTS_LIBRARY_FAKE_TEST_CASE_H_
