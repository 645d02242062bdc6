#include "host/backends.h"

#include "harness/error.h"
#include "harness/utf.h"
#include "host/embedded_session.h"
#include "host/odbc_session.h"

namespace host {

namespace {

Backend MakeRecordBackend(const BackendOptions&) {
  auto record = std::make_shared<RecordBackend>();
  return {RecordSessions(record), record};
}

Backend MakeEmbeddedBackend(const BackendOptions& options) {
  auto record = std::make_shared<RecordBackend>();
  std::shared_ptr<server::DataFolder> server = OpenEmbeddedServer(options.data);
  return {[record, server] { return MakeTranscribedSession(MakeEmbeddedSession(server), record); },
          record};
}

// Sessions through the ODBC driver registered as "SQL Server"; the server is
// whatever the datasets' connection string names.
Backend MakeOdbcBackend(const BackendOptions&) {
  auto record = std::make_shared<RecordBackend>();
  return {[record] { return MakeTranscribedSession(MakeOdbcSession(), record); }, record};
}

struct BackendRow {
  const char* name;
  Backend (*make)(const BackendOptions&);
};

constexpr BackendRow kBackends[] = {
    {"record", MakeRecordBackend},
    {"embedded", MakeEmbeddedBackend},
    {"odbc", MakeOdbcBackend},
};

}  // namespace

std::vector<std::string> BackendNames() {
  std::vector<std::string> names;
  for (const BackendRow& row : kBackends) names.emplace_back(row.name);
  return names;
}

Backend MakeBackend(const std::string& name, const BackendOptions& options) {
  for (const BackendRow& row : kBackends) {
    if (name == row.name) return row.make(options);
  }
  throw harness::Error(harness::errors::kInvalidCall,
                       harness::FromUtf8("unknown back end '" + name + "'"));
}

}  // namespace host
