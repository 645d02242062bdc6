#include "library/vxhandler.h"

#include <exception>
#include <new>
#include <string>

#include "harness/error.h"
#include "harness/utf.h"

namespace tavora {

namespace {

// The default source of an error raised without one, learned the way the
// runtime hands it out; a function-local static so it is learned once, on the
// first call of HandleError, even if two threads get there together.
std::u16string LearnProjectName() {
  try {
    Raise(999, u"");
  } catch (const harness::Error& throwaway) {
    return throwaway.source();
  }
}

const std::u16string& ProjectName() {
  static const std::u16string name = LearnProjectName();
  return name;
}

std::u16string Decimal(long n) {
  std::string ascii = std::to_string(n);
  return std::u16string(ascii.begin(), ascii.end());
}

// The failure being handled, as the contract's error. Called outside a catch
// block there is none; that misuse becomes error 5 instead of terminating the
// harness's process.
harness::Error CurrentError() {
  if (!std::current_exception()) {
    return harness::Error(harness::errors::kInvalidCall,
                          harness::RuntimeText(harness::errors::kInvalidCall));
  }
  try {
    throw;
  } catch (const harness::Error& error) {
    return error;
  } catch (const std::bad_alloc&) {
    return harness::Error(harness::errors::kOutOfMemory,
                          harness::RuntimeText(harness::errors::kOutOfMemory));
  } catch (const std::exception& e) {
    return harness::Error(
        harness::errors::kInternal,
        harness::RuntimeText(harness::errors::kInternal) + u": " + harness::FromUtf8(e.what()));
  } catch (...) {
    return harness::Error(harness::errors::kInternal,
                          harness::RuntimeText(harness::errors::kInternal));
  }
}

}  // namespace

void Raise(int number, std::u16string description) {
  throw harness::Error(number, std::move(description), kProjectName);
}

void HandleError(std::u16string_view module, std::u16string_view procedure) {
  harness::Error error = CurrentError();
  int line = error.line() == 0 ? 1 : error.line();
  std::u16string context = ProjectName() + u"." + std::u16string(module) + u"." +
                           std::u16string(procedure) + u"." + Decimal(line) + u"  (" +
                           Decimal(kVersionMajor) + u"." + Decimal(kVersionMinor) + u"." +
                           Decimal(kVersionRevision) + u")";
  std::u16string description = error.description();
  if (description.find(u"PROGRAM CONTEXT:") == std::u16string::npos) {
    description += u"\r\n\r\nPROGRAM CONTEXT:\r\n" + context;
  } else {
    description += u"\r\n" + context;
  }
  // The line belonged to this level; the next handler up records its own.
  throw harness::Error(error.number(), std::move(description), u"", 0);
}

}  // namespace tavora
