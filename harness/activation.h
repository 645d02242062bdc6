#ifndef TAVORA_HARNESS_ACTIVATION_H_
#define TAVORA_HARNESS_ACTIVATION_H_

#include <functional>

#include "harness/error.h"
#include "harness/export.h"
#include "harness/guid.h"
#include "harness/unknown.h"

namespace harness {

// Makes a new object of a harness class. It may throw Error.
using ClassFactory = std::function<ComPtr<IUnknown>()>;

// One activation table per process, as the platform's runtime has: the host
// installs the harness classes, tests install doubles. An empty factory
// uninstalls the class.
HARNESS_API void InstallClass(const Guid& clsid, ClassFactory factory);

// Creates an object of the class; error 429 when no factory is installed.
HARNESS_API ComPtr<IUnknown> CreateObject(const Guid& clsid);

// Creates an object of interface I's class (I::kClsid) and asks it for I;
// error 430 when the object does not support I.
template <class I>
ComPtr<I> CreateObject() {
  ComPtr<I> object = QueryAs<I>(CreateObject(I::kClsid));
  if (!object) RaiseRuntime(errors::kNoInterface);
  return object;
}

}  // namespace harness

#endif  // TAVORA_HARNESS_ACTIVATION_H_
