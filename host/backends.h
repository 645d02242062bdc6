#ifndef TAVORA_HOST_BACKENDS_H_
#define TAVORA_HOST_BACKENDS_H_

#include <memory>
#include <string>
#include <vector>

#include "host/harness_classes.h"
#include "host/record_session.h"

namespace host {

// The back end used when the command line names none.
inline constexpr char kDefaultBackend[] = "embedded";

// The back ends the command line accepts.
std::vector<std::string> BackendNames();

// Sessions of one back end, and the record of every call they made (every
// back end keeps one, so runs on any of them can be compared).
struct Backend {
  SessionFactory sessions;
  std::shared_ptr<RecordBackend> record;
};

// What a back end is made with beyond its name.
struct BackendOptions {
  // The embedded server's data folder: empty for DefaultDataFolder(),
  // ":memory:" for a server that lives only as long as the back end.
  std::string data;
};

// The back end called `name`; error 5 for an unknown name, and the embedded
// back end's errors opening its data folder.
Backend MakeBackend(const std::string& name, const BackendOptions& options = {});

}  // namespace host

#endif  // TAVORA_HOST_BACKENDS_H_
