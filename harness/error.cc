#include "harness/error.h"

#include <new>

#include "harness/utf.h"

namespace harness {

Error::Error(int32_t number, std::u16string description, std::u16string source, int32_t line)
    : number_(number),
      description_(std::move(description)),
      source_(std::move(source)),
      line_(line),
      what_(std::to_string(number) + ": " + ToUtf8(description_)) {}

// Out of line so that the type's identity lives in this library alone.
Error::~Error() = default;

const char* Error::what() const noexcept { return what_.c_str(); }

std::u16string RuntimeText(int32_t number) {
  switch (number) {
    case errors::kInvalidCall:
      return u"Invalid procedure call or argument";
    case errors::kOutOfMemory:
      return u"Out of memory";
    case errors::kSubscript:
      return u"Subscript out of range";
    case errors::kTypeMismatch:
      return u"Type mismatch";
    case errors::kInternal:
      return u"Internal error";
    case errors::kObjectNotSet:
      return u"Object variable or With block variable not set";
    case errors::kInvalidNull:
      return u"Invalid use of Null";
    case errors::kCannotCreate:
      return u"ActiveX component can't create object";
    case errors::kNoInterface:
      return u"Class does not support Automation or does not support expected interface";
    case errors::kDuplicateKey:
      return u"This key is already associated with an element of this collection";
    case errors::kNotImplemented:
      return u"Object doesn't support this action";
  }
  return u"Application-defined or object-defined error";
}

void RaiseRuntime(int32_t number, std::u16string source) {
  throw Error(number, RuntimeText(number), std::move(source));
}

Error CurrentError() {
  if (!std::current_exception())
    return Error(errors::kInvalidCall, RuntimeText(errors::kInvalidCall));
  try {
    throw;
  } catch (const Error& error) {
    return error;
  } catch (const std::bad_alloc&) {
    return Error(errors::kOutOfMemory, RuntimeText(errors::kOutOfMemory));
  } catch (const std::exception& e) {
    return Error(errors::kInternal, RuntimeText(errors::kInternal) + u": " + FromUtf8(e.what()));
  } catch (...) {
    return Error(errors::kInternal, RuntimeText(errors::kInternal));
  }
}

}  // namespace harness
