#ifndef TAVORA_LIBRARY_LIBRARY_H_
#define TAVORA_LIBRARY_LIBRARY_H_

#include <cstdint>

#include "harness/test_library.h"

namespace tavora {

// The library's name, which every test case also carries as its LibraryName.
inline constexpr char16_t kLibraryName[] = u"tavora";

// A new Library, the harness's entry point: Name "tavora", Description
// "SQL Server 2000" and one suite, "ReadWrite", built on first use and kept
// for the object's lifetime. Every member reports failures through
// HandleError under module "Library".
harness::ComPtr<harness::ITestLibrary> MakeLibrary();

// The collection position (counted from 1) of an interface index (counted
// from 0). The largest index has no position and maps to 0, which every
// collection rejects as out of range.
constexpr int32_t PositionOf(int32_t index) { return index == INT32_MAX ? 0 : index + 1; }

}  // namespace tavora

#endif  // TAVORA_LIBRARY_LIBRARY_H_
