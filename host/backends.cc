#include "host/backends.h"

#include "harness/error.h"
#include "harness/utf.h"

namespace host {

namespace {

Backend MakeRecordBackend() {
  auto record = std::make_shared<RecordBackend>();
  return {RecordSessions(record), record};
}

struct BackendRow {
  const char* name;
  // Null while the back end is not part of the build.
  Backend (*make)();
};

constexpr BackendRow kBackends[] = {
    {"record", MakeRecordBackend},
    {"embedded", nullptr},
    {"odbc", nullptr},
};

}  // namespace

std::vector<std::string> BackendNames() {
  std::vector<std::string> names;
  for (const BackendRow& row : kBackends) names.emplace_back(row.name);
  return names;
}

Backend MakeBackend(const std::string& name) {
  for (const BackendRow& row : kBackends) {
    if (name != row.name) continue;
    if (row.make == nullptr) {
      throw harness::Error(
          harness::errors::kCannotCreate,
          harness::FromUtf8("back end '" + name + "' is not available in this build"));
    }
    return row.make();
  }
  throw harness::Error(harness::errors::kInvalidCall,
                       harness::FromUtf8("unknown back end '" + name + "'"));
}

}  // namespace host
