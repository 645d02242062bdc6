#include "library/library.h"

#include <optional>
#include <string>
#include <utility>

#include "harness/keyed_collection.h"
#include "library/module_lock.h"
#include "library/read_write_suite.h"
#include "library/vxhandler.h"

namespace tavora {

namespace {

constexpr char16_t kLibraryModule[] = u"Library";

using SuiteList = harness::KeyedCollection<harness::ComPtr<harness::ITestSuite>>;

class Library : public harness::ComObject<harness::ITestLibrary> {
 public:
  std::u16string Name() override {
    return Trap(kLibraryModule, u"ITestLibrary_Name", [] { return std::u16string(kLibraryName); });
  }

  std::u16string Description() override {
    return Trap(kLibraryModule, u"ITestLibrary_Description",
                [] { return std::u16string(u"SQL Server 2000"); });
  }

  int32_t SuiteCount() override {
    return Trap(kLibraryModule, u"ITestLibrary_SuiteCount", [&] {
      Load();
      return suites_->Count();
    });
  }

  harness::ComPtr<harness::ITestSuite> GetSuite(int32_t index) override {
    return Trap(kLibraryModule, u"ITestLibrary_GetSuite", [&] {
      Load();
      return suites_->At(PositionOf(index));
    });
  }

 private:
  void Load() {
    Trap(kLibraryModule, u"Load", [&] {
      if (suites_) return;
      // Filled aside and stored only when complete: a failure leaves the list
      // absent, so the next call tries again instead of serving a short list.
      SuiteList suites;
      harness::ComPtr<harness::ITestSuite> suite = MakeReadWriteSuite();
      suites.Add(suite->Name(), suite);
      suites_ = std::move(suites);
    });
  }

  ModuleRef module_ref_;
  std::optional<SuiteList> suites_;
};

}  // namespace

harness::ComPtr<harness::ITestLibrary> MakeLibrary() { return harness::MakeObject<Library>(); }

}  // namespace tavora
