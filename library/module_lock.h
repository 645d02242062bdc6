#ifndef TAVORA_LIBRARY_MODULE_LOCK_H_
#define TAVORA_LIBRARY_MODULE_LOCK_H_

#include <atomic>

namespace tavora {

// Counts the component's live objects, which DllCanUnloadNow must see at zero
// (together with the server locks its class factories hold). Every class the
// component hands out, class factories included, holds a ModuleRef.
class ModuleRef {
 public:
  ModuleRef() { ++Count(); }
  ModuleRef(const ModuleRef&) : ModuleRef() {}
  ModuleRef& operator=(const ModuleRef&) { return *this; }
  ~ModuleRef() { --Count(); }

  static std::atomic<long>& Count() {
    static std::atomic<long> count{0};
    return count;
  }
};

}  // namespace tavora

#endif  // TAVORA_LIBRARY_MODULE_LOCK_H_
