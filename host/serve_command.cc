#include <arpa/inet.h>
#include <pthread.h>
#include <signal.h>

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <optional>
#include <stdexcept>

#include "harness/utf.h"
#include "host/commands.h"
#include "host/embedded_session.h"
#include "server/tds/listener.h"

namespace host {

namespace {

// SIGINT and SIGTERM, blocked in every thread and taken by sigwait, so that
// stopping runs as ordinary code rather than in a signal handler.
class StopSignals {
 public:
  StopSignals() {
    sigemptyset(&set_);
    sigaddset(&set_, SIGINT);
    sigaddset(&set_, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &set_, &previous_);
  }
  ~StopSignals() { pthread_sigmask(SIG_SETMASK, &previous_, nullptr); }
  StopSignals(const StopSignals&) = delete;
  StopSignals& operator=(const StopSignals&) = delete;

  int Wait() {
    int signal = 0;
    sigwait(&set_, &signal);
    return signal;
  }

 private:
  sigset_t set_;
  sigset_t previous_;
};

// Whether `address` is one of this machine's loopback addresses (127.0.0.0/8,
// ::1, or 127.0.0.0/8 mapped into IPv6); empty when it is no IP address at
// all, which the listener reports.
std::optional<bool> IsLoopback(const std::string& address) {
  in_addr v4{};
  if (inet_pton(AF_INET, address.c_str(), &v4) == 1) return (ntohl(v4.s_addr) >> 24) == 127;
  in6_addr v6{};
  if (inet_pton(AF_INET6, address.c_str(), &v6) != 1) return std::nullopt;
  if (IN6_IS_ADDR_LOOPBACK(&v6)) return true;
  return IN6_IS_ADDR_V4MAPPED(&v6) && v6.s6_addr[12] == 127;
}

// sa's password: the file's first line without its line break, else the
// environment's, else none. Empty when the file cannot be read.
std::optional<std::string> SaPassword(const ServeOptions& serve) {
  if (serve.sa_password_file.empty()) {
    const char* variable = std::getenv("TAVORA_SA_PASSWORD");
    return variable ? variable : "";
  }
  std::ifstream file(serve.sa_password_file, std::ios::binary);
  std::string line;
  if (!file || (!std::getline(file, line) && !file.eof())) return std::nullopt;
  while (!line.empty() && (line.back() == '\r' || line.back() == '\n')) line.pop_back();
  return line;
}

}  // namespace

int ServeCommand(const CommandOptions& options, const ServeOptions& serve, std::ostream& out,
                 std::ostream& err) {
  std::optional<std::string> password = SaPassword(serve);
  if (!password) {
    err << "tavora serve: cannot read the sa password file '" << serve.sa_password_file
        << "': " << std::strerror(errno) << "\n";
    return 1;
  }
  if (password->empty() && !IsLoopback(serve.address).value_or(true)) {
    throw UsageError("serve: sa has no password, and " + serve.address +
                     " is reachable from other machines; give sa a password with "
                     "--sa-password-file FILE or $TAVORA_SA_PASSWORD, or listen on 127.0.0.1");
  }
  // Blocked before the listener starts its threads, which inherit the mask.
  StopSignals signals;
  server::ServerOptions server_options;
  server_options.sa_password = *password;
  std::shared_ptr<server::DataFolder> folder = OpenEmbeddedServer(options.data, server_options);
  server::tds::ListenerOptions listener_options;
  listener_options.address = serve.address;
  listener_options.port = serve.port;
  listener_options.max_connections = serve.max_connections;
  listener_options.login_timeout = serve.login_timeout;
  listener_options.log = [&err](const std::string& line) {
    err << "tavora serve: " << line << std::endl;
  };
  server::tds::Listener listener(*folder, listener_options);
  try {
    uint16_t bound = listener.Start();
    out << "listening on " << serve.address << ":" << bound << std::endl;
  } catch (const std::runtime_error& e) {
    err << "tavora serve: " << e.what() << "\n";
    return 1;
  }
  int signal = signals.Wait();
  listener.Stop();
  out << "stopped (" << (signal == SIGINT ? "SIGINT" : "SIGTERM") << ")" << std::endl;
  return 0;
}

}  // namespace host
