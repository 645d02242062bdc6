#ifndef TAVORA_HOST_COMPONENT_LOADER_H_
#define TAVORA_HOST_COMPONENT_LOADER_H_

#include <memory>
#include <string>

#include "harness/class_factory.h"
#include "harness/guid.h"
#include "harness/unknown.h"

namespace host {

// The component the command drives, found beside the running executable:
// <folder of /proc/self/exe>/libtavorad.so.
std::string DefaultComponentPath();

// An in-process component loaded with dlopen and reached only through its four
// exports and the interfaces its class factories hand out.
class Component {
 public:
  // Loads the library at `path` (RTLD_NOW | RTLD_LOCAL) and looks up its
  // exports. Error 48 with dlerror()'s text when it cannot be loaded, error
  // 453 naming the export when one is missing.
  static std::unique_ptr<Component> Load(const std::string& path);

  // Unloads the library only when DllCanUnloadNow allows it; otherwise it
  // stays loaded, since objects of it may still be alive.
  ~Component();
  Component(const Component&) = delete;
  Component& operator=(const Component&) = delete;

  // A new object of class `clsid`, made by the component's class factory, as
  // interface I. Error 429 with the failing result code when the component
  // has no such class or cannot make it, error 430 when the object does not
  // support I.
  template <class I>
  harness::ComPtr<I> Create(const harness::Guid& clsid) {
    return harness::ComPtr<I>::Adopt(static_cast<I*>(CreateInstance(clsid, I::kIid)));
  }

  // The component's exports, as they answer.
  harness::HResult CanUnloadNow() const { return can_unload_now_(); }
  harness::HResult RegisterServer() const { return register_server_(); }
  harness::HResult UnregisterServer() const { return unregister_server_(); }

  const std::string& path() const { return path_; }

 private:
  Component(std::string path, void* handle) : path_(std::move(path)), handle_(handle) {}

  // An object of `clsid` asked for `iid`, carrying one reference.
  void* CreateInstance(const harness::Guid& clsid, const harness::Guid& iid);

  std::string path_;
  void* handle_;
  DllGetClassObjectFn get_class_object_ = nullptr;
  DllCanUnloadNowFn can_unload_now_ = nullptr;
  DllRegisterServerFn register_server_ = nullptr;
  DllUnregisterServerFn unregister_server_ = nullptr;
};

}  // namespace host

#endif  // TAVORA_HOST_COMPONENT_LOADER_H_
