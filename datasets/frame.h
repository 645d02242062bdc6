#ifndef TAVORA_DATASETS_FRAME_H_
#define TAVORA_DATASETS_FRAME_H_

#include <string>
#include <string_view>

#include "harness/session.h"
#include "harness/workspace.h"

namespace tavora {

// The lifecycle pieces every dataset shares: server settings, names, the
// session, and the workspace project "Project1".

struct ServerLogin {
  std::u16string server;
  std::u16string user;
  std::u16string password;
};

// Reads a new ServerSettings, which is released at once.
ServerLogin ReadServerSettings();

// The first 30 characters of "tavora_" + the class token.
std::u16string DatabaseName(std::u16string_view class_token);

// "DRIVER=SQL Server;SERVER=..;UID=..;PWD=..;Trusted_Connection=Yes|No".
// A value holding ';', '{' or '}', or beginning or ending with a blank, is
// written in ODBC braces with '}' doubled, so it cannot rewrite the string;
// every other value goes in as it stands.
std::u16string ConnectionString(const ServerLogin& login);

// A new session with its login timeout of 15, opened with the login's string.
harness::ComPtr<harness::SqlSession> OpenSession(const ServerLogin& login);

// "USE master" + CR LF + "SELECT Name FROM sysdatabases WHERE Name='db'";
// true when the result has exactly one row.
bool DatabaseExists(harness::SqlSession& session, std::u16string_view database);

// Replaces the workspace project "Project1" with one that points at the
// database: Server, 0, 15, Database and, when `write_flags`, 1.
void RegisterWorkspaceProject(harness::Workspace& workspace, const std::u16string& server,
                              const std::u16string& database, bool write_flags);

// Saves the workspace project "Project1" (error 5 when there is none).
void SaveWorkspaceProject(harness::Workspace& workspace);

}  // namespace tavora

#endif  // TAVORA_DATASETS_FRAME_H_
