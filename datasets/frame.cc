#include "datasets/frame.h"

#include "datasets/batch.h"
#include "harness/activation.h"
#include "harness/error.h"

namespace tavora {

namespace {

constexpr char16_t kWorkspaceProject[] = u"Project1";

bool NeedsBraces(std::u16string_view value) {
  if (value.empty()) return false;
  if (value.front() == u' ' || value.back() == u' ') return true;
  return value.find_first_of(u";{}") != std::u16string_view::npos;
}

std::u16string OdbcValue(std::u16string_view value) {
  if (!NeedsBraces(value)) return std::u16string(value);
  std::u16string quoted = u"{";
  for (char16_t c : value) {
    quoted += c;
    if (c == u'}') quoted += u'}';
  }
  quoted += u'}';
  return quoted;
}

}  // namespace

ServerLogin ReadServerSettings() {
  auto settings = harness::CreateObject<harness::ServerSettings>();
  return {settings->ServerName(), settings->UserName(), settings->Password()};
}

std::u16string DatabaseName(std::u16string_view class_token) {
  std::u16string name = u"tavora_";
  name += class_token;
  return name.substr(0, 30);
}

std::u16string ConnectionString(const ServerLogin& login) {
  return u"DRIVER=SQL Server;SERVER=" + OdbcValue(login.server) + u";UID=" + OdbcValue(login.user) +
         u";PWD=" + OdbcValue(login.password) + u";Trusted_Connection=" +
         (login.user.empty() ? u"Yes" : u"No");
}

harness::ComPtr<harness::SqlSession> OpenSession(const ServerLogin& login) {
  auto session = harness::CreateObject<harness::SqlSession>();
  session->SetLoginTimeout(15);
  session->Open(ConnectionString(login));
  return session;
}

bool DatabaseExists(harness::SqlSession& session, std::u16string_view database) {
  std::u16string query = u"SELECT Name FROM sysdatabases WHERE Name='";
  query += database;
  query += u"'";
  auto rows = session.Query(ServerBatch(query));
  return rows->RowCount() == 1;
}

void RegisterWorkspaceProject(harness::Workspace& workspace, const std::u16string& server,
                              const std::u16string& database, bool write_flags) {
  auto projects = workspace.Projects();
  projects->Remove(harness::Variant::String(kWorkspaceProject), 0);
  auto project = projects->Add(2, kWorkspaceProject);
  auto connection = project->Connection();
  connection->SetServer(server);
  connection->SetSecurityMode(0);
  connection->SetLoginTimeout(15);
  connection->SetDatabase(database);
  if (write_flags) connection->SetFlags(1);
}

void SaveWorkspaceProject(harness::Workspace& workspace) {
  workspace.Projects()->Item(harness::Variant::String(kWorkspaceProject))->Save();
}

}  // namespace tavora
