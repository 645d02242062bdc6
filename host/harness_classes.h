#ifndef TAVORA_HOST_HARNESS_CLASSES_H_
#define TAVORA_HOST_HARNESS_CLASSES_H_

#include <functional>
#include <memory>
#include <string>

#include "harness/session.h"
#include "harness/test_library.h"
#include "harness/workspace.h"
#include "host/record_session.h"

namespace host {

// The diagnostics server's settings: TAVORA_SERVER, TAVORA_USER and
// TAVORA_PASSWORD, overridden by command-line options. Defaults: "(local)",
// empty user, empty password.
struct Settings {
  std::u16string server = u"(local)";
  std::u16string user;
  std::u16string password;
};
Settings SettingsFromEnvironment();

// Makes the SqlSession objects the datasets create.
using SessionFactory = std::function<harness::ComPtr<harness::SqlSession>()>;

// Installs the harness classes the component creates (ObjectModel,
// ServerSettings answering `settings`, SqlSession from `sessions`, TestCase)
// in the process's activation table.
void InstallHarnessClasses(const Settings& settings, SessionFactory sessions);

// A new TestCase record: the harness's own, which the component fills in.
harness::ComPtr<harness::TestCase> MakeTestCase();

// A session factory of the record back end over `backend`.
SessionFactory RecordSessions(std::shared_ptr<RecordBackend> backend);

// A workspace whose projects save to `folder`/<name>.json.
harness::ComPtr<harness::Workspace> MakeWorkspace(std::string folder);

}  // namespace host

#endif  // TAVORA_HOST_HARNESS_CLASSES_H_
