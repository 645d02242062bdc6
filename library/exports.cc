// The component's four exports, the only symbols libtavorad.so shows; the
// work behind them lives in tavorad-core.

#include <dlfcn.h>

#include <filesystem>
#include <string>
#include <system_error>
#include <type_traits>

#include "harness/class_factory.h"
#include "library/class_objects.h"
#include "library/registration.h"

#define TAVORAD_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

// The path of this shared object, found from an address inside it; empty
// when the loader cannot tell.
std::string ComponentPath() {
  Dl_info info{};
  if (dladdr(reinterpret_cast<void*>(&ComponentPath), &info) == 0 || !info.dli_fname) {
    return {};
  }
  std::error_code error;
  std::filesystem::path path = std::filesystem::absolute(info.dli_fname, error);
  return error ? std::string(info.dli_fname) : path.lexically_normal().string();
}

}  // namespace

// Hands out a class factory for one of the component's six classes.
TAVORAD_EXPORT harness::HResult DllGetClassObject(const harness::Guid* clsid,
                                                  const harness::Guid* iid, void** object) {
  return tavora::GetClassObject(clsid, iid, object);
}

// kOk when no object of the component is alive and no server lock is held.
TAVORAD_EXPORT harness::HResult DllCanUnloadNow() { return tavora::CanUnloadNow(); }

// Writes the six classes, their ProgIDs and this file's path to the registry.
TAVORAD_EXPORT harness::HResult DllRegisterServer() {
  return tavora::RegisterServer(ComponentPath());
}

// Removes what DllRegisterServer wrote.
TAVORAD_EXPORT harness::HResult DllUnregisterServer() { return tavora::UnregisterServer(); }

// The host looks the exports up by these types.
static_assert(std::is_same_v<decltype(&DllGetClassObject), DllGetClassObjectFn>);
static_assert(std::is_same_v<decltype(&DllCanUnloadNow), DllCanUnloadNowFn>);
static_assert(std::is_same_v<decltype(&DllRegisterServer), DllRegisterServerFn>);
static_assert(std::is_same_v<decltype(&DllUnregisterServer), DllUnregisterServerFn>);
