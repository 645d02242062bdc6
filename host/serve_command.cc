#include <pthread.h>
#include <signal.h>

#include <cstdint>
#include <memory>
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

}  // namespace

int ServeCommand(const CommandOptions& options, const std::string& address, uint16_t port,
                 std::ostream& out, std::ostream& err) {
  // Blocked before the listener starts its threads, which inherit the mask.
  StopSignals signals;
  std::shared_ptr<server::DataFolder> folder = OpenEmbeddedServer(options.data);
  server::tds::ListenerOptions listener_options;
  listener_options.address = address;
  listener_options.port = port;
  server::tds::Listener listener(*folder, listener_options);
  try {
    uint16_t bound = listener.Start();
    out << "listening on " << address << ":" << bound << std::endl;
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
