#include "library/class_objects.h"

#include <atomic>
#include <new>

#include "harness/class_factory.h"
#include "library/component_classes.h"
#include "library/module_lock.h"

namespace tavora {

namespace {

std::atomic<long>& ServerLocks() {
  static std::atomic<long> locks{0};
  return locks;
}

class ClassObject : public harness::ComObject<harness::IClassFactory> {
 public:
  explicit ClassObject(const ComponentClass& component_class) : class_(component_class) {}

  harness::HResult CreateInstance(harness::IUnknown* outer, const harness::Guid& iid,
                                  void** object) override {
    if (!object) return harness::kPointer;
    *object = nullptr;
    if (outer) return harness::kNoAggregation;
    try {
      // Asked through a held reference, so a refused interface frees the object.
      harness::ComPtr<harness::IUnknown> instance = class_.create();
      return instance->QueryInterface(iid, object);
    } catch (const std::bad_alloc&) {
      return harness::kOutOfMemory;
    } catch (...) {
      return harness::kFail;
    }
  }

  harness::HResult LockServer(bool lock) override {
    std::atomic<long>& locks = ServerLocks();
    if (lock) {
      ++locks;
      return harness::kOk;
    }
    // An unlock without a lock would hide a live lock of another client.
    long held = locks.load();
    do {
      if (held == 0) return harness::kFail;
    } while (!locks.compare_exchange_weak(held, held - 1));
    return harness::kOk;
  }

 private:
  const ComponentClass& class_;
  ModuleRef module_ref_;
};

}  // namespace

harness::HResult GetClassObject(const harness::Guid* clsid, const harness::Guid* iid,
                                void** object) {
  if (!object) return harness::kPointer;
  *object = nullptr;
  if (!clsid || !iid) return harness::kPointer;
  const ComponentClass* component_class = FindComponentClass(*clsid);
  if (!component_class) return harness::kClassNotAvailable;
  try {
    harness::ComPtr<ClassObject> factory = harness::MakeObject<ClassObject>(*component_class);
    return factory->QueryInterface(*iid, object);
  } catch (const std::bad_alloc&) {
    return harness::kOutOfMemory;
  }
}

harness::HResult CanUnloadNow() {
  return ModuleRef::Count() == 0 && ServerLocks() == 0 ? harness::kOk : harness::kFalse;
}

}  // namespace tavora
