#ifndef TAVORA_SERVER_TDS_LISTENER_H_
#define TAVORA_SERVER_TDS_LISTENER_H_

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include "server/data_folder.h"

namespace server::tds {

// Where and how a listener accepts clients.
struct ListenerOptions {
  // Loopback unless the caller asks otherwise: the server has no encryption.
  std::string address = "127.0.0.1";
  // 0 picks a free port; Start() returns the one bound.
  uint16_t port = 0;
  // The name the server gives in LOGINACK, ERROR and INFO tokens; empty means
  // the engine's own server name.
  std::string server_name;
  // Clients served at once, each on a thread of its own; one more is told so
  // with error 17809 and closed.
  int max_connections = 256;
  // Seconds a client has to finish its login before it is closed; 0 for no
  // limit.
  int login_timeout = 60;
  // Where the listener reports clients it could not serve and failures to
  // accept; standard error when empty.
  std::function<void(const std::string&)> log;
};

class ListenerImpl;

// A TDS 7.1 listener in front of one embedded server: accepts several
// clients at once, each on its own thread, and runs their pre-login, login
// and SQL batches on the folder's engine. Every call into the engine is made
// under one lock, since the engine is not thread-safe; batches go through
// DataFolder::Execute so that their changes persist.
//
// The folder must outlive the listener. A client that misbehaves (garbage,
// a truncated or oversized packet, a disconnect in the middle of a batch)
// loses its own connection only; the listener keeps serving and its session
// is logged out of the engine. Clients cost bounded resources: at most
// `max_connections` threads, one packet of memory each before login, and a
// client without a thread (none left, or too many clients) is closed while
// the listener goes on. When descriptors run out, accepting pauses briefly
// rather than spinning.
class Listener {
 public:
  Listener(DataFolder& folder, ListenerOptions options);
  // Stops the listener if it still runs.
  ~Listener();
  Listener(const Listener&) = delete;
  Listener& operator=(const Listener&) = delete;

  // Binds, starts accepting on a background thread and returns the bound
  // port. Throws std::runtime_error saying why when the address is not valid
  // or the port cannot be bound, and when the listener already runs.
  uint16_t Start();

  // Stops accepting, closes every client connection, logs their sessions out
  // and joins every thread. Safe to call twice, and before Start().
  void Stop();

  // The bound port (0 before Start() and after Stop()).
  uint16_t port() const;

  // Connections currently open (accepted and not yet closed); tests wait on it.
  int open_connections() const;

  // The lock held around every call into the engine. Whoever else touches the
  // same engine while the listener runs (a test checking the catalog) holds it.
  std::mutex& engine_mutex();

 private:
  std::unique_ptr<ListenerImpl> impl_;
};

}  // namespace server::tds

#endif  // TAVORA_SERVER_TDS_LISTENER_H_
