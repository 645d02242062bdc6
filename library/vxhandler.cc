#include "library/vxhandler.h"

#include <string>

#include "harness/error.h"

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

}  // namespace

void Raise(int number, std::u16string description) {
  throw harness::Error(number, std::move(description), kProjectName);
}

void HandleError(std::u16string_view module, std::u16string_view procedure) {
  harness::Error error = harness::CurrentError();
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
