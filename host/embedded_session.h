#ifndef TAVORA_HOST_EMBEDDED_SESSION_H_
#define TAVORA_HOST_EMBEDDED_SESSION_H_

#include <memory>
#include <string>

#include "harness/session.h"
#include "server/data_folder.h"

namespace host {

// $XDG_STATE_HOME/tavora/server, else ~/.local/state/tavora/server: where
// the embedded server keeps its state between runs. Error 75 when neither
// variable gives an absolute folder.
std::string DefaultDataFolder();

// The embedded server over the data folder `data` (":memory:" for none; empty
// for DefaultDataFolder()). Error 75 naming the folder and the reason when it
// cannot be opened: locked by another process, unreadable or corrupt state.
std::shared_ptr<server::DataFolder> OpenEmbeddedServer(const std::string& data,
                                                       server::ServerOptions options = {});

// A session on `server`. Open takes an ODBC connection string: DRIVER must be
// "SQL Server"; SERVER is the name the server is reached by (it answers to
// it); Trusted_Connection=Yes logs in as the caller, otherwise UID and PWD are
// checked. Execute splits the text on GO lines and runs the batches in order;
// the first failing one ends the call with the server's native error number
// and text, and the informational messages of the batches run are returned.
// Query runs one batch and returns its first result. A session released while
// open logs out, so it holds no database in use.
harness::ComPtr<harness::SqlSession> MakeEmbeddedSession(
    std::shared_ptr<server::DataFolder> server);

}  // namespace host

#endif  // TAVORA_HOST_EMBEDDED_SESSION_H_
