#include "host/workspace.h"

#include <filesystem>
#include <nlohmann/json.hpp>
#include <utility>
#include <vector>

#include "harness/error.h"
#include "harness/keyed_collection.h"
#include "harness/utf.h"
#include "harness/workspace.h"
#include "host/file_io.h"
#include "host/harness_classes.h"
#include "host/model_json.h"
#include "host/object_model.h"

namespace host {

namespace {

// A project name becomes a file name, so it must stay one plain name.
void CheckProjectName(const std::u16string& name) {
  bool plain = !name.empty() && name != u"." && name != u".." &&
               name.find_first_of(std::u16string_view(u"/\0", 2)) == std::u16string::npos;
  if (plain) return;
  throw harness::Error(harness::errors::kInvalidCall,
                       harness::RuntimeText(harness::errors::kInvalidCall) + u": '" + name +
                           u"' cannot name a workspace project");
}

// The settings in the order they were first written; writing one again
// replaces its value in place.
class HostConnection final : public harness::ComObject<harness::ProjectConnection> {
 public:
  void SetServer(const std::u16string& server) override {
    Set("Server", harness::Variant::String(server));
  }
  void SetSecurityMode(int32_t value) override {
    Set("SecurityMode", harness::Variant::Long(value));
  }
  void SetLoginTimeout(int32_t value) override {
    Set("LoginTimeout", harness::Variant::Long(value));
  }
  void SetDatabase(const std::u16string& database) override {
    Set("Database", harness::Variant::String(database));
  }
  void SetFlags(int32_t value) override { Set("Flags", harness::Variant::Long(value)); }

  nlohmann::ordered_json ToJson() const {
    nlohmann::ordered_json result = nlohmann::ordered_json::array();
    for (const auto& [property, value] : settings_) {
      result.push_back({{"property", property}, {"value", VariantToJson(value)}});
    }
    return result;
  }

 private:
  void Set(const char* property, harness::Variant value) {
    for (auto& [name, old_value] : settings_) {
      if (name == property) {
        old_value = std::move(value);
        return;
      }
    }
    settings_.emplace_back(property, std::move(value));
  }

  std::vector<std::pair<std::string, harness::Variant>> settings_;
};

class HostProject final : public harness::ComObject<harness::WorkspaceProject> {
 public:
  HostProject(std::string folder, int32_t kind, std::u16string name)
      : folder_(std::move(folder)),
        kind_(kind),
        name_(std::move(name)),
        connection_(harness::MakeObject<HostConnection>()) {}

  harness::ComPtr<harness::ProjectConnection> Connection() override { return connection_; }

  void Save() override {
    nlohmann::ordered_json project = {
        {"name", harness::ToUtf8(name_)}, {"kind", kind_}, {"connection", connection_->ToJson()}};
    // A project holds connection properties.
    WriteFileAtomically(ProjectFilePath(folder_, name_), project.dump() + "\n", kOwnerOnlyFile);
  }

 private:
  std::string folder_;
  int32_t kind_;
  std::u16string name_;
  harness::ComPtr<HostConnection> connection_;
};

class HostProjectList final : public harness::ComObject<harness::ProjectList> {
 public:
  explicit HostProjectList(std::string folder) : folder_(std::move(folder)) {}

  harness::ComPtr<harness::WorkspaceProject> Add(int32_t kind,
                                                 const std::u16string& name) override {
    CheckProjectName(name);
    auto project = harness::MakeObject<HostProject>(folder_, kind, name);
    projects_.Add(name, project);
    return project;
  }

  harness::ComPtr<harness::WorkspaceProject> Item(const harness::Variant& key) override {
    return projects_.Get(KeyText(key));
  }

  void Remove(const harness::Variant& key, int32_t) override {
    const std::u16string& name = KeyText(key);
    if (projects_.Contains(name)) projects_.Remove(name);
  }

 private:
  std::string folder_;
  harness::KeyedCollection<harness::ComPtr<HostProject>> projects_;
};

class HostWorkspace final : public harness::ComObject<harness::Workspace> {
 public:
  explicit HostWorkspace(std::string folder)
      : projects_(harness::MakeObject<HostProjectList>(std::move(folder))) {}

  harness::ComPtr<harness::ProjectList> Projects() override { return projects_; }

 private:
  harness::ComPtr<HostProjectList> projects_;
};

}  // namespace

std::string ProjectFilePath(const std::string& folder, std::u16string_view name) {
  return (std::filesystem::path(folder) / (harness::ToUtf8(name) + ".json")).string();
}

harness::ComPtr<harness::Workspace> MakeWorkspace(std::string folder) {
  return harness::MakeObject<HostWorkspace>(std::move(folder));
}

}  // namespace host
