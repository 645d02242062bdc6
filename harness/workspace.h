#ifndef TAVORA_HARNESS_WORKSPACE_H_
#define TAVORA_HARNESS_WORKSPACE_H_

#include <cstdint>
#include <string>

#include "harness/unknown.h"
#include "harness/variant.h"

namespace harness {

// Connection settings of a workspace project, written in slot order.
class HARNESS_API ProjectConnection : public IUnknown {
 public:
  static constexpr Guid kIid{
      0xff443b34, 0x867f, 0x4794, {0x89, 0xaf, 0x2e, 0x4d, 0x59, 0x0d, 0x45, 0x7b}};
  virtual void SetServer(const std::u16string& server) = 0;
  virtual void SetSecurityMode(int32_t value) = 0;  // first integer property
  virtual void SetLoginTimeout(int32_t value) = 0;  // second integer property
  virtual void SetDatabase(const std::u16string& database) = 0;
  virtual void SetFlags(int32_t value) = 0;  // third integer property

 protected:
  ~ProjectConnection() = default;
};

class HARNESS_API WorkspaceProject : public IUnknown {
 public:
  static constexpr Guid kIid{
      0x617b6323, 0xb050, 0x4b57, {0x9e, 0x89, 0xdb, 0x37, 0x33, 0xee, 0xef, 0x56}};
  virtual ComPtr<ProjectConnection> Connection() = 0;
  virtual void Save() = 0;

 protected:
  ~WorkspaceProject() = default;
};

class HARNESS_API ProjectList : public IUnknown {
 public:
  static constexpr Guid kIid{
      0xfccff2a7, 0x4990, 0x4805, {0xae, 0x83, 0x2e, 0x1e, 0x3b, 0x5a, 0xd2, 0x64}};
  virtual ComPtr<WorkspaceProject> Add(int32_t kind, const std::u16string& name) = 0;
  // Error 5 when no project has that name.
  virtual ComPtr<WorkspaceProject> Item(const Variant& key) = 0;
  // Removing a name the list does not hold succeeds and changes nothing.
  virtual void Remove(const Variant& key, int32_t option) = 0;

 protected:
  ~ProjectList() = default;
};

class HARNESS_API Workspace : public IUnknown {
 public:
  static constexpr Guid kIid{
      0x16f3fef8, 0x6350, 0x46ae, {0x93, 0x2d, 0x0d, 0x12, 0xa2, 0xfa, 0x2e, 0x3e}};
  virtual ComPtr<ProjectList> Projects() = 0;

 protected:
  ~Workspace() = default;
};

}  // namespace harness

#endif  // TAVORA_HARNESS_WORKSPACE_H_
