#ifndef TAVORA_LIBRARY_VXHANDLER_H_
#define TAVORA_LIBRARY_VXHANDLER_H_

#include <string>
#include <string_view>
#include <utility>

namespace tavora {

// The component's project name: the source of errors it raises and the prefix
// of its ProgIDs.
inline constexpr char16_t kProjectName[] = u"tavorad";

// Version numbers that end every context line: "  (4.1.475)".
inline constexpr int kVersionMajor = 4;
inline constexpr int kVersionMinor = 1;
inline constexpr int kVersionRevision = 475;

// The component's only error reporting. Meant to be called from inside a
// catch block: appends one line of program context for (module, procedure) to
// the current error's description and throws it again as harness::Error with
// an empty source, keeping the first failure's number. Other exceptions are
// converted first (std::bad_alloc to error 7, anything else to error 51 with
// its text); called with no current exception it raises error 5.
[[noreturn]] void HandleError(std::u16string_view module, std::u16string_view procedure);

// The one trap of a procedure: runs `body`, and on any failure hands the error
// to HandleError under the procedure's names.
template <class Body>
auto Trap(std::u16string_view module, std::u16string_view procedure, Body&& body)
    -> decltype(body()) {
  try {
    return std::forward<Body>(body)();
  } catch (...) {
    HandleError(module, procedure);
  }
}

// Raises an error of the component's own with the project name as its source.
[[noreturn]] void Raise(int number, std::u16string description);

}  // namespace tavora

#endif  // TAVORA_LIBRARY_VXHANDLER_H_
