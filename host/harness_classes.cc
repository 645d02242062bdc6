#include "host/harness_classes.h"

#include <cstdlib>
#include <utility>

#include "harness/activation.h"
#include "harness/object_model.h"
#include "harness/test_library.h"
#include "harness/utf.h"
#include "host/object_model.h"

namespace host {

namespace {

class HostServerSettings final : public harness::ComObject<harness::ServerSettings> {
 public:
  explicit HostServerSettings(Settings settings) : settings_(std::move(settings)) {}

  std::u16string ServerName() override { return settings_.server; }
  std::u16string UserName() override { return settings_.user; }
  std::u16string Password() override { return settings_.password; }

 private:
  Settings settings_;
};

class HostTestCase final : public harness::ComObject<harness::TestCase> {
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

// An unset or empty variable keeps the default.
void ReadVariable(const char* name, std::u16string& value) {
  const char* text = std::getenv(name);
  if (text != nullptr && *text != '\0') value = harness::FromUtf8(text);
}

}  // namespace

harness::ComPtr<harness::TestCase> MakeTestCase() { return harness::MakeObject<HostTestCase>(); }

Settings SettingsFromEnvironment() {
  Settings settings;
  ReadVariable("TAVORA_SERVER", settings.server);
  ReadVariable("TAVORA_USER", settings.user);
  ReadVariable("TAVORA_PASSWORD", settings.password);
  return settings;
}

void InstallHarnessClasses(const Settings& settings, SessionFactory sessions) {
  harness::InstallClass(harness::ObjectModel::kClsid, [] {
    // Through ObjectModel: the class has two IUnknown bases.
    harness::ComPtr<harness::ObjectModel> model = harness::MakeObject<HostObjectModel>();
    return harness::ComPtr<harness::IUnknown>(model);
  });
  harness::InstallClass(harness::ServerSettings::kClsid, [settings] {
    return harness::ComPtr<harness::IUnknown>(harness::MakeObject<HostServerSettings>(settings));
  });
  harness::InstallClass(harness::SqlSession::kClsid, [sessions = std::move(sessions)] {
    return harness::ComPtr<harness::IUnknown>(sessions());
  });
  harness::InstallClass(harness::TestCase::kClsid,
                        [] { return harness::ComPtr<harness::IUnknown>(MakeTestCase()); });
}

SessionFactory RecordSessions(std::shared_ptr<RecordBackend> backend) {
  return [backend = std::move(backend)] { return MakeRecordSession(backend); };
}

}  // namespace host
