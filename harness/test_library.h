#ifndef TAVORA_HARNESS_TEST_LIBRARY_H_
#define TAVORA_HARNESS_TEST_LIBRARY_H_

#include <cstdint>
#include <string>

#include "harness/object_model.h"
#include "harness/unknown.h"
#include "harness/workspace.h"

namespace harness {

class IDataset;

// The record of one test: written by the suite, read by the harness.
class HARNESS_API TestCase : public IUnknown {
 public:
  static constexpr Guid kIid{
      0x0cac9575, 0xfb50, 0x4a6d, {0xb2, 0x4d, 0x7c, 0x15, 0xc3, 0x18, 0x9d, 0x20}};
  static constexpr Guid kClsid{
      0x1c98b732, 0xf243, 0x4a47, {0xb6, 0x9b, 0x36, 0xbc, 0x59, 0xd7, 0x15, 0x0c}};
  virtual std::u16string LibraryName() = 0;
  virtual void SetLibraryName(const std::u16string& name) = 0;
  virtual std::u16string Name() = 0;
  virtual void SetName(const std::u16string& name) = 0;
  virtual std::u16string Description() = 0;
  virtual void SetDescription(const std::u16string& description) = 0;
  virtual ComPtr<IDataset> Dataset() = 0;
  virtual void SetDataset(IDataset* dataset) = 0;

 protected:
  ~TestCase() = default;
};

// The three interfaces the component implements, members in slot order.

class HARNESS_API ITestSuite : public IUnknown {
 public:
  static constexpr Guid kIid{
      0xd869f0db, 0xfd8c, 0x430d, {0x83, 0x47, 0x98, 0xe2, 0xa1, 0x5a, 0xf8, 0xf8}};
  virtual std::u16string Name() = 0;
  virtual std::u16string Description() = 0;
  virtual int32_t TestCount() = 0;
  virtual ComPtr<TestCase> GetTest(int32_t index) = 0;

 protected:
  ~ITestSuite() = default;
};

class HARNESS_API ITestLibrary : public IUnknown {
 public:
  static constexpr Guid kIid{
      0x89526e26, 0x5ad1, 0x44c6, {0x9e, 0x96, 0x62, 0x23, 0x65, 0x24, 0x0e, 0x61}};
  virtual std::u16string Name() = 0;
  virtual std::u16string Description() = 0;
  virtual int32_t SuiteCount() = 0;
  virtual ComPtr<ITestSuite> GetSuite(int32_t index) = 0;

 protected:
  ~ITestLibrary() = default;
};

class HARNESS_API IDataset : public IUnknown {
 public:
  static constexpr Guid kIid{
      0xfcf97da1, 0xf017, 0x4b27, {0xa0, 0x77, 0xa4, 0x5a, 0xc2, 0xbb, 0x46, 0xbf}};
  virtual std::u16string Name() = 0;
  virtual void Create(const std::u16string& folder, Workspace* workspace, IUnknown* options) = 0;
  virtual void Modify(Workspace* workspace, std::u16string& project_name,
                      std::u16string& collection_name, std::u16string& object_name) = 0;
  virtual void Save(const std::u16string& folder, Workspace* workspace, IUnknown* options) = 0;
  virtual void Delete(const std::u16string& folder, IUnknown* options) = 0;
  // The model of the last Create that reached its model step; empty before.
  virtual ComPtr<harness::ObjectModel> ObjectModel() = 0;

 protected:
  ~IDataset() = default;
};

}  // namespace harness

#endif  // TAVORA_HARNESS_TEST_LIBRARY_H_
