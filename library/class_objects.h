#ifndef TAVORA_LIBRARY_CLASS_OBJECTS_H_
#define TAVORA_LIBRARY_CLASS_OBJECTS_H_

#include "harness/guid.h"
#include "harness/unknown.h"

namespace tavora {

// DllGetClassObject's work: stores in *object a new class factory
// (harness::IClassFactory) for `clsid`, asked for `iid`, and returns kOk.
// Otherwise *object is null and the result is kPointer (a null argument),
// kClassNotAvailable (a class the component does not serve) or kNoInterface.
// The factory's CreateInstance refuses an outer object with kNoAggregation;
// LockServer(false) without a matching LockServer(true) returns kFail.
harness::HResult GetClassObject(const harness::Guid* clsid, const harness::Guid* iid,
                                void** object);

// DllCanUnloadNow's work: kOk when no object of the component (class
// factories included) is alive and no server lock is held, else kFalse.
harness::HResult CanUnloadNow();

}  // namespace tavora

#endif  // TAVORA_LIBRARY_CLASS_OBJECTS_H_
