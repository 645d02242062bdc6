#include "host/component_loader.h"

#include <dlfcn.h>

#include <cstdio>
#include <filesystem>
#include <system_error>

#include "harness/error.h"
#include "harness/utf.h"

namespace host {

namespace {

// The platform's runtime errors for a library that cannot be loaded or used.
constexpr int32_t kLoadError = 48;       // "Error in loading DLL"
constexpr int32_t kEntryNotFound = 453;  // "Specified DLL function not found"

std::string Hex(harness::HResult result) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%08X", static_cast<uint32_t>(result));
  return text;
}

[[noreturn]] void Raise(int32_t number, const std::string& text) {
  throw harness::Error(number, harness::FromUtf8(text));
}

std::string LastDlError() {
  const char* text = dlerror();
  return text != nullptr ? text : "unknown reason";
}

template <class Fn>
Fn LookUp(void* handle, const char* name, const std::string& path) {
  dlerror();
  void* symbol = dlsym(handle, name);
  if (symbol == nullptr) {
    Raise(kEntryNotFound, "Specified DLL function not found: " + std::string(name) + " in '" +
                              path + "': " + LastDlError());
  }
  return reinterpret_cast<Fn>(symbol);
}

}  // namespace

std::string DefaultComponentPath() {
  std::error_code error;
  std::filesystem::path executable = std::filesystem::read_symlink("/proc/self/exe", error);
  if (error) {
    Raise(kLoadError,
          "Error in loading DLL: cannot find the running executable: " + error.message());
  }
  return (executable.parent_path() / "libtavorad.so").string();
}

std::unique_ptr<Component> Component::Load(const std::string& path) {
  void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (handle == nullptr) {
    Raise(kLoadError, "Error in loading DLL: '" + path + "': " + LastDlError());
  }
  std::unique_ptr<Component> component(new Component(path, handle));
  component->get_class_object_ = LookUp<DllGetClassObjectFn>(handle, "DllGetClassObject", path);
  component->can_unload_now_ = LookUp<DllCanUnloadNowFn>(handle, "DllCanUnloadNow", path);
  component->register_server_ = LookUp<DllRegisterServerFn>(handle, "DllRegisterServer", path);
  component->unregister_server_ =
      LookUp<DllUnregisterServerFn>(handle, "DllUnregisterServer", path);
  return component;
}

Component::~Component() {
  if (can_unload_now_ == nullptr || can_unload_now_() == harness::kOk) dlclose(handle_);
}

void* Component::CreateInstance(const harness::Guid& clsid, const harness::Guid& iid) {
  std::string what = "class " + harness::ToString(clsid) + " of '" + path_ + "'";
  void* out = nullptr;
  harness::HResult result = get_class_object_(&clsid, &harness::IClassFactory::kIid, &out);
  if (result != harness::kOk || out == nullptr) {
    Raise(harness::errors::kCannotCreate,
          "ActiveX component can't create object: no class factory for " + what + " (" +
              Hex(result) + ")");
  }
  auto factory =
      harness::ComPtr<harness::IClassFactory>::Adopt(static_cast<harness::IClassFactory*>(out));
  out = nullptr;
  result = factory->CreateInstance(nullptr, iid, &out);
  if (result == harness::kNoInterface) {
    Raise(harness::errors::kNoInterface,
          "Class does not support Automation or does not support expected interface: " + what +
              " does not support " + harness::ToString(iid));
  }
  if (result != harness::kOk || out == nullptr) {
    Raise(harness::errors::kCannotCreate,
          "ActiveX component can't create object: " + what + " (" + Hex(result) + ")");
  }
  return out;
}

}  // namespace host
