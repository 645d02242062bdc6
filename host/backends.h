#ifndef TAVORA_HOST_BACKENDS_H_
#define TAVORA_HOST_BACKENDS_H_

#include <memory>
#include <string>
#include <vector>

#include "host/harness_classes.h"
#include "host/record_session.h"

namespace host {

// The back end used when the command line names none.
inline constexpr char kDefaultBackend[] = "record";

// The back ends the command line accepts, whether built or not.
std::vector<std::string> BackendNames();

// Sessions of one back end, and the record of every call they made.
struct Backend {
  SessionFactory sessions;
  std::shared_ptr<RecordBackend> record;
};

// The back end called `name`. Error 429 "back end 'NAME' is not available in
// this build" for a known back end that is not built, error 5 for an unknown
// name.
Backend MakeBackend(const std::string& name);

}  // namespace host

#endif  // TAVORA_HOST_BACKENDS_H_
