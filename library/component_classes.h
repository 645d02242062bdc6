#ifndef TAVORA_LIBRARY_COMPONENT_CLASSES_H_
#define TAVORA_LIBRARY_COMPONENT_CLASSES_H_

#include <span>
#include <string>

#include "harness/guid.h"
#include "harness/unknown.h"

namespace tavora {

// One class the component serves: what activation and registration need.
struct ComponentClass {
  harness::Guid clsid;
  const char16_t* name;                            // "Library"; the ProgID adds the project name
  harness::ComPtr<harness::IUnknown> (*create)();  // a new object; may throw
};

// The six classes, in the order they are registered.
std::span<const ComponentClass> ComponentClasses();

// The class with `clsid`, or nullptr when the component does not serve it.
const ComponentClass* FindComponentClass(const harness::Guid& clsid);

// The class's ProgID: project name + "." + class name, "tavorad.Library".
std::u16string ProgId(const ComponentClass& component_class);

}  // namespace tavora

#endif  // TAVORA_LIBRARY_COMPONENT_CLASSES_H_
