#ifndef TAVORA_HARNESS_ERROR_H_
#define TAVORA_HARNESS_ERROR_H_

#include <cstdint>
#include <exception>
#include <string>

#include "harness/export.h"

namespace harness {

// The error every contract call throws on failure: a number, a description and
// the source that raised it, plus the source line of the failing statement
// where the raiser knows it (0 when it does not).
class HARNESS_API Error : public std::exception {
 public:
  Error(int32_t number, std::u16string description, std::u16string source = {}, int32_t line = 0);
  ~Error() override;

  int32_t number() const { return number_; }
  const std::u16string& description() const { return description_; }
  const std::u16string& source() const { return source_; }
  int32_t line() const { return line_; }

  // UTF-8 "number: description", for logs and uncaught reports.
  const char* what() const noexcept override;

 private:
  int32_t number_;
  std::u16string description_;
  std::u16string source_;
  int32_t line_;
  std::string what_;
};

// The platform's runtime errors that the contract's own code raises.
namespace errors {
inline constexpr int32_t kInvalidCall = 5;     // "Invalid procedure call or argument"
inline constexpr int32_t kOutOfMemory = 7;     // "Out of memory"
inline constexpr int32_t kSubscript = 9;       // "Subscript out of range"
inline constexpr int32_t kTypeMismatch = 13;   // "Type mismatch"
inline constexpr int32_t kInternal = 51;       // "Internal error"
inline constexpr int32_t kObjectNotSet = 91;   // "Object variable or With block variable not set"
inline constexpr int32_t kInvalidNull = 94;    // "Invalid use of Null"
inline constexpr int32_t kCannotCreate = 429;  // "ActiveX component can't create object"
// "Class does not support Automation or does not support expected interface"
inline constexpr int32_t kNoInterface = 430;
// "This key is already associated with an element of this collection"
inline constexpr int32_t kDuplicateKey = 457;
inline constexpr int32_t kNotImplemented = 445;  // "Object doesn't support this action"
}  // namespace errors

// Raises one of the runtime errors above with its standard text.
[[noreturn]] HARNESS_API void RaiseRuntime(int32_t number, std::u16string source = {});
HARNESS_API std::u16string RuntimeText(int32_t number);

// The exception being handled, as the contract's error: a harness::Error as
// it is, std::bad_alloc as error 7, any other std::exception as error 51 with
// its text, anything else as error 51. Meant for a catch block; with no
// current exception it gives error 5 instead of terminating the process.
HARNESS_API Error CurrentError();

}  // namespace harness

#endif  // TAVORA_HARNESS_ERROR_H_
