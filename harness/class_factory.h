#ifndef TAVORA_HARNESS_CLASS_FACTORY_H_
#define TAVORA_HARNESS_CLASS_FACTORY_H_

#include "harness/unknown.h"

namespace harness {

// The platform's class factory, which a component's DllGetClassObject hands out.
class HARNESS_API IClassFactory : public IUnknown {
 public:
  static constexpr Guid kIid{
      0x00000001, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
  // Makes a new object and asks it for `iid`; `outer` must be null (no
  // aggregation). On failure *object is null and an error code is returned.
  virtual HResult CreateInstance(IUnknown* outer, const Guid& iid, void** object) = 0;
  // Keeps the component loaded while `lock` is held.
  virtual HResult LockServer(bool lock) = 0;

 protected:
  ~IClassFactory() = default;
};

}  // namespace harness

// The four exports of an in-process component, as the host looks them up.
extern "C" {
using DllGetClassObjectFn = harness::HResult (*)(const harness::Guid* clsid,
                                                 const harness::Guid* iid, void** object);
using DllCanUnloadNowFn = harness::HResult (*)();
using DllRegisterServerFn = harness::HResult (*)();
using DllUnregisterServerFn = harness::HResult (*)();
}

#endif  // TAVORA_HARNESS_CLASS_FACTORY_H_
