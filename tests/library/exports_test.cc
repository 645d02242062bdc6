// Drives the built libtavorad.so the way a harness does: dlopen, then only
// the four exports and the interfaces.

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <string>

#include "harness/activation.h"
#include "harness/class_factory.h"
#include "harness/class_ids.h"
#include "harness/error.h"
#include "harness/test_library.h"
#include "harness/utf.h"
#include "host/harness_classes.h"
#include "tests/scratch_folder.h"

namespace {

namespace fs = std::filesystem;
using harness::ComPtr;
using harness::Guid;
using harness::HResult;
using harness::IClassFactory;
using harness::IUnknown;

struct Component {
  DllGetClassObjectFn get_class_object = nullptr;
  DllCanUnloadNowFn can_unload_now = nullptr;
  DllRegisterServerFn register_server = nullptr;
  DllUnregisterServerFn unregister_server = nullptr;
};

// Loaded once and never unloaded: other tests may still hold its objects.
const Component& TheComponent() {
  static const Component component = [] {
    Component c;
    void* handle = dlopen(TAVORAD_PATH, RTLD_NOW | RTLD_LOCAL);
    if (!handle) {
      ADD_FAILURE() << "dlopen " << TAVORAD_PATH << ": " << dlerror();
      return c;
    }
    c.get_class_object = reinterpret_cast<DllGetClassObjectFn>(dlsym(handle, "DllGetClassObject"));
    c.can_unload_now = reinterpret_cast<DllCanUnloadNowFn>(dlsym(handle, "DllCanUnloadNow"));
    c.register_server = reinterpret_cast<DllRegisterServerFn>(dlsym(handle, "DllRegisterServer"));
    c.unregister_server =
        reinterpret_cast<DllUnregisterServerFn>(dlsym(handle, "DllUnregisterServer"));
    return c;
  }();
  return component;
}

class ComponentTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const Component& c = TheComponent();
    ASSERT_TRUE(c.get_class_object && c.can_unload_now && c.register_server && c.unregister_server);
  }

  static ComPtr<IClassFactory> Factory(const Guid& clsid) {
    void* out = nullptr;
    HResult result = TheComponent().get_class_object(&clsid, &IClassFactory::kIid, &out);
    EXPECT_EQ(result, harness::kOk);
    return ComPtr<IClassFactory>::Adopt(static_cast<IClassFactory*>(out));
  }

  static ComPtr<IUnknown> Create(const Guid& clsid, const Guid& iid) {
    void* out = nullptr;
    HResult result = Factory(clsid)->CreateInstance(nullptr, iid, &out);
    EXPECT_EQ(result, harness::kOk);
    return ComPtr<IUnknown>::Adopt(static_cast<IUnknown*>(out));
  }

  static HResult CanUnloadNow() { return TheComponent().can_unload_now(); }
};

std::u16string NameThrough(const ComPtr<IUnknown>& object, const Guid& iid) {
  if (iid == harness::ITestLibrary::kIid)
    return harness::QueryAs<harness::ITestLibrary>(object)->Name();
  if (iid == harness::ITestSuite::kIid)
    return harness::QueryAs<harness::ITestSuite>(object)->Name();
  return harness::QueryAs<harness::IDataset>(object)->Name();
}

TEST_F(ComponentTest, CreatesEachClassThroughItsFactory) {
  struct Row {
    const char* label;
    Guid clsid;
    Guid iid;
    std::u16string name;
  };
  const Row rows[] = {
      {"Library", harness::kClsidLibrary, harness::ITestLibrary::kIid, u"tavora"},
      {"ReadWriteSuite", harness::kClsidReadWriteSuite, harness::ITestSuite::kIid, u"ReadWrite"},
      {"StandardDataset", harness::kClsidStandardDataset, harness::IDataset::kIid,
       u"tavora.Standard"},
      {"TransPubDataset", harness::kClsidTransPubDataset, harness::IDataset::kIid,
       u"tavora.TransPub"},
      {"MergePubDataset", harness::kClsidMergePubDataset, harness::IDataset::kIid,
       u"tavora.MergePub"},
      {"SnapPubDataset", harness::kClsidSnapPubDataset, harness::IDataset::kIid,
       u"tavora.Replication"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.label);
    ComPtr<IUnknown> object = Create(row.clsid, row.iid);
    ASSERT_TRUE(object);
    EXPECT_EQ(NameThrough(object, row.iid), row.name);
  }
  EXPECT_EQ(CanUnloadNow(), harness::kOk);
}

TEST_F(ComponentTest, RefusesWhatItDoesNotServe) {
  void* out = reinterpret_cast<void*>(1);
  const Guid unknown_class{0x12345678, 0x1, 0x2, {1, 2, 3, 4, 5, 6, 7, 8}};
  EXPECT_EQ(TheComponent().get_class_object(&unknown_class, &IClassFactory::kIid, &out),
            harness::kClassNotAvailable);
  EXPECT_EQ(out, nullptr);

  out = reinterpret_cast<void*>(1);
  EXPECT_EQ(
      TheComponent().get_class_object(&harness::kClsidLibrary, &harness::ITestLibrary::kIid, &out),
      harness::kNoInterface);
  EXPECT_EQ(out, nullptr);

  ComPtr<IClassFactory> factory = Factory(harness::kClsidLibrary);
  out = reinterpret_cast<void*>(1);
  EXPECT_EQ(factory->CreateInstance(nullptr, harness::ITestSuite::kIid, &out),
            harness::kNoInterface);
  EXPECT_EQ(out, nullptr);
  EXPECT_EQ(factory->CreateInstance(factory.get(), harness::ITestLibrary::kIid, &out),
            harness::kNoAggregation);
  EXPECT_EQ(out, nullptr);
  factory.reset();
  // Nothing alive: the object made for the refused interface was freed.
  EXPECT_EQ(CanUnloadNow(), harness::kOk);
}

TEST_F(ComponentTest, CanUnloadOnlyWithoutLiveObjectsOrLocks) {
  EXPECT_EQ(CanUnloadNow(), harness::kOk);
  ComPtr<IClassFactory> factory = Factory(harness::kClsidStandardDataset);
  EXPECT_EQ(CanUnloadNow(), harness::kFalse);
  ComPtr<IUnknown> dataset = Create(harness::kClsidStandardDataset, harness::IDataset::kIid);
  factory.reset();
  EXPECT_EQ(CanUnloadNow(), harness::kFalse);
  dataset.reset();
  EXPECT_EQ(CanUnloadNow(), harness::kOk);

  EXPECT_EQ(Factory(harness::kClsidLibrary)->LockServer(true), harness::kOk);
  EXPECT_EQ(CanUnloadNow(), harness::kFalse);
  EXPECT_EQ(Factory(harness::kClsidReadWriteSuite)->LockServer(false), harness::kOk);
  EXPECT_EQ(CanUnloadNow(), harness::kOk);
  EXPECT_EQ(Factory(harness::kClsidLibrary)->LockServer(false), harness::kFail);
}

TEST_F(ComponentTest, ErrorsAndHarnessClassesCrossTheModuleBoundary) {
  harness::InstallClass(harness::TestCase::kClsid,
                        [] { return ComPtr<IUnknown>(host::MakeTestCase()); });
  {
    auto library = harness::QueryAs<harness::ITestLibrary>(
        Create(harness::kClsidLibrary, harness::ITestLibrary::kIid));
    ComPtr<harness::TestCase> test_case = library->GetSuite(0)->GetTest(2);
    EXPECT_EQ(test_case->Name(), u"Replication.Transactional");
    EXPECT_EQ(test_case->LibraryName(), u"tavora");
    EXPECT_EQ(test_case->Dataset()->Name(), u"tavora.TransPub");
    try {
      library->GetSuite(1);
      ADD_FAILURE() << "GetSuite(1) succeeded";
    } catch (const harness::Error& error) {
      EXPECT_EQ(error.number(), harness::errors::kSubscript);
      EXPECT_EQ(error.description(),
                u"Subscript out of range\r\n\r\nPROGRAM CONTEXT:\r\n"
                u"tavorad.Library.ITestLibrary_GetSuite.1  (4.1.475)");
    }
    EXPECT_EQ(CanUnloadNow(), harness::kFalse);
  }
  harness::InstallClass(harness::TestCase::kClsid, {});
  EXPECT_EQ(CanUnloadNow(), harness::kOk);
}

using tavora::testing::ReadFile;

TEST_F(ComponentTest, RegistersAndUnregistersTwiceKeepingForeignEntries) {
  fs::path registry = tavora::testing::ScratchFolder("tavora-exports") / "registry.json";
  const char foreign[] = R"({"classes": {"{11111111-2222-3333-4444-555555555555}":
      {"name": "Other", "progId": "other.Thing", "server": "/opt/other.so"}},
      "progIds": {"other.Thing": "{11111111-2222-3333-4444-555555555555}"}})";
  std::ofstream(registry, std::ios::binary) << foreign;
  const char* old = std::getenv("TAVORA_REGISTRY");
  std::string saved = old ? old : "";
  setenv("TAVORA_REGISTRY", registry.c_str(), 1);

  EXPECT_EQ(TheComponent().register_server(), harness::kOk);
  std::string once = ReadFile(registry);
  EXPECT_EQ(TheComponent().register_server(), harness::kOk);
  EXPECT_EQ(ReadFile(registry), once);
  nlohmann::json root = nlohmann::json::parse(once);
  EXPECT_EQ(root["classes"].size(), 7u);
  EXPECT_EQ(root["progIds"]["tavorad.Library"], harness::ToString(harness::kClsidLibrary));
  EXPECT_EQ(root["classes"][harness::ToString(harness::kClsidSnapPubDataset)]["server"],
            fs::path(TAVORAD_PATH).lexically_normal().string());

  EXPECT_EQ(TheComponent().unregister_server(), harness::kOk);
  EXPECT_EQ(TheComponent().unregister_server(), harness::kOk);
  EXPECT_EQ(nlohmann::json::parse(ReadFile(registry)), nlohmann::json::parse(foreign));

  // A registry it must not overwrite is a failure code, not a crash.
  std::ofstream(registry, std::ios::binary | std::ios::trunc) << "not json";
  EXPECT_EQ(TheComponent().register_server(), static_cast<HResult>(0x80040201));
  EXPECT_EQ(ReadFile(registry), "not json");

  if (old) {
    setenv("TAVORA_REGISTRY", saved.c_str(), 1);
  } else {
    unsetenv("TAVORA_REGISTRY");
  }
  fs::remove(registry);
}

}  // namespace
