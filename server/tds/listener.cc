#include "server/tds/listener.h"

#include <asio.hpp>
#include <atomic>
#include <chrono>
#include <iostream>
#include <list>
#include <map>
#include <stdexcept>
#include <thread>
#include <utility>

#include "server/errors.h"
#include "server/tds/connection.h"
#include "server/tds/refusal.h"
#include "server/tds/reply.h"

namespace server::tds {

namespace {

// How long accepting pauses when the process is out of descriptors: the
// waiting client stays in the backlog and would wake the accept at once.
constexpr std::chrono::milliseconds kAcceptPause{100};
// Clients being told the server is full at one time, and how long each may
// take; more are closed without a word.
constexpr size_t kMaxRefusals = 32;
constexpr std::chrono::seconds kRefusalTime{10};

bool OutOfDescriptors(const asio::error_code& ec) {
  return ec == asio::error::no_descriptors || ec == asio::error::no_buffer_space ||
         ec == asio::error::no_memory ||
         ec == std::error_code(ENFILE, asio::error::get_system_category());
}

}  // namespace

// A client's connection and the thread serving it.
struct ClientSlot {
  std::unique_ptr<Connection> connection;
  std::thread thread;
  std::atomic<bool> done{false};
};

class ListenerImpl {
 public:
  ListenerImpl(DataFolder& folder, ListenerOptions options)
      : folder_(folder), options_(std::move(options)), pause_(io_) {}

  uint16_t Start() {
    std::lock_guard<std::mutex> lock(state_mutex_);
    if (acceptor_) throw std::runtime_error("the listener already runs");
    asio::error_code ec;
    asio::ip::address address = asio::ip::make_address(options_.address, ec);
    if (ec) throw std::runtime_error("'" + options_.address + "' is not an IP address");
    asio::ip::tcp::endpoint endpoint(address, options_.port);
    auto acceptor = std::make_unique<asio::ip::tcp::acceptor>(io_);
    acceptor->open(endpoint.protocol(), ec);
    if (!ec) acceptor->set_option(asio::ip::tcp::acceptor::reuse_address(true), ec);
    if (!ec) acceptor->bind(endpoint, ec);
    if (!ec) acceptor->listen(asio::socket_base::max_listen_connections, ec);
    if (ec) {
      throw std::runtime_error("cannot listen on " + options_.address + ":" +
                               std::to_string(options_.port) + ": " + ec.message());
    }
    port_ = acceptor->local_endpoint().port();
    server_name_ = options_.server_name;
    {
      std::lock_guard<std::mutex> engine_lock(engine_mutex_);
      if (server_name_.empty()) server_name_ = folder_.engine().options().name;
      // A batch waiting for a lock tries again when another releases one.
      folder_.engine().OnLocksReleased([this] { batch_ended_.notify_all(); });
    }
    acceptor_ = std::move(acceptor);
    io_.restart();
    Accept();
    accept_thread_ = std::thread([this] { io_.run(); });
    return port_;
  }

  void Stop() {
    std::lock_guard<std::mutex> lock(state_mutex_);
    if (!acceptor_) return;
    asio::post(io_, [this] {
      asio::error_code ignored;
      acceptor_->close(ignored);
      pause_.cancel();
      // Each refusal removes itself from the map as it ends.
      std::map<Refusal*, std::shared_ptr<Refusal>> refusals = refusals_;
      for (auto& [raw, refusal] : refusals) refusal->Close();
    });
    accept_thread_.join();
    std::list<std::unique_ptr<ClientSlot>> clients;
    {
      std::lock_guard<std::mutex> clients_lock(clients_mutex_);
      clients.swap(clients_);
    }
    for (auto& client : clients) client->connection->Close();
    for (auto& client : clients) client->thread.join();
    {
      // The engine may outlive this listener.
      std::lock_guard<std::mutex> engine_lock(engine_mutex_);
      folder_.engine().OnLocksReleased({});
    }
    acceptor_.reset();
    port_ = 0;
  }

  uint16_t port() const { return port_; }

  int open_connections() const {
    std::lock_guard<std::mutex> lock(clients_mutex_);
    int open = 0;
    for (const auto& client : clients_) open += client->done ? 0 : 1;
    return open;
  }

  std::mutex& engine_mutex() { return engine_mutex_; }

 private:
  void Accept() {
    acceptor_->async_accept([this](asio::error_code ec, asio::ip::tcp::socket socket) {
      if (ec == asio::error::operation_aborted || !acceptor_->is_open()) return;
      if (OutOfDescriptors(ec)) {
        if (!paused_) Log("cannot accept clients for now: " + ec.message());
        paused_ = true;
        pause_.expires_after(kAcceptPause);
        pause_.async_wait([this](asio::error_code wait_ec) {
          if (!wait_ec && acceptor_->is_open()) Accept();
        });
        return;
      }
      paused_ = false;
      if (!ec) {
        try {
          Launch(std::move(socket));
        } catch (const std::exception& e) {
          // Out of memory, say: this client is lost, the listener goes on.
          Log(std::string("cannot serve a client: ") + e.what());
        }
      }
      Accept();
    });
  }

  void Launch(asio::ip::tcp::socket accepted) {
    asio::error_code ignored;
    accepted.set_option(asio::ip::tcp::no_delay(true), ignored);
    std::lock_guard<std::mutex> lock(clients_mutex_);
    Reap();
    uint32_t thread_id = ++next_thread_id_;
    if (clients_.size() >= static_cast<size_t>(std::max(options_.max_connections, 1))) {
      Refuse(std::move(accepted), thread_id);
      return;
    }
    // A served client reads and writes on its own thread, never through the
    // io_context; left registered there, every packet it sent would also
    // wake the accepting thread.
    const asio::ip::tcp protocol = acceptor_->local_endpoint(ignored).protocol();
    asio::ip::tcp::socket socket(served_io_, protocol, accepted.release());
    auto client = std::make_unique<ClientSlot>();
    client->connection = std::make_unique<Connection>(
        std::move(socket),
        SharedEngine{folder_, engine_mutex_, batch_ended_, server_name_,
                     [this](const Connection* asking) { LogOutDeparted(asking); }},
        thread_id, std::chrono::seconds(std::max(options_.login_timeout, 0)));
    ClientSlot* raw = client.get();
    clients_.push_back(std::move(client));
    try {
      raw->thread = std::thread([raw] {
        raw->connection->Serve();
        raw->done = true;
      });
    } catch (const std::system_error& e) {
      // No thread to be had (a process or memory limit): the client is
      // closed with its connection rather than the whole server going down.
      clients_.pop_back();
      Log(std::string("cannot serve a client: no thread for it: ") + e.what());
    }
  }

  // Called with clients_mutex_, on the io_context.
  void Refuse(asio::ip::tcp::socket socket, uint32_t thread_id) {
    if (refusals_.size() >= kMaxRefusals) return;  // the socket closes as it goes
    ReplyContext context;
    context.server_name = server_name_;
    SqlError full =
        Raise(Msg::kTooManyConnections, {std::to_string(std::max(options_.max_connections, 1))});
    full.line = 1;
    auto refusal =
        std::make_shared<Refusal>(std::move(socket), LoginFailedReply(context, full), thread_id,
                                  [this](Refusal* ended) { refusals_.erase(ended); });
    refusals_[refusal.get()] = refusal;
    refusal->Start(kRefusalTime);
  }

  void LogOutDeparted(const Connection* asking) {
    std::lock_guard<std::mutex> lock(clients_mutex_);
    for (auto& client : clients_) {
      if (!client->done && client->connection.get() != asking) {
        client->connection->LogOutIfDeparted();
      }
    }
  }

  // Joins the threads of clients that have left; called with clients_mutex_.
  void Reap() {
    for (auto it = clients_.begin(); it != clients_.end();) {
      if ((*it)->done) {
        (*it)->thread.join();
        it = clients_.erase(it);
      } else {
        ++it;
      }
    }
  }

  void Log(const std::string& line) {
    if (options_.log) {
      options_.log(line);
    } else {
      std::cerr << "tavora listener: " << line << std::endl;
    }
  }

  DataFolder& folder_;
  ListenerOptions options_;
  std::string server_name_;
  std::mutex engine_mutex_;
  std::condition_variable batch_ended_;  // with engine_mutex_
  std::mutex state_mutex_;               // Start and Stop
  asio::io_context io_;
  asio::io_context served_io_;  // holds the served clients' sockets; never run
  std::unique_ptr<asio::ip::tcp::acceptor> acceptor_;
  asio::steady_timer pause_;  // accepting again after running out of descriptors
  bool paused_ = false;
  std::map<Refusal*, std::shared_ptr<Refusal>> refusals_;  // on the io_context only
  std::thread accept_thread_;
  std::atomic<uint16_t> port_{0};
  mutable std::mutex clients_mutex_;
  std::list<std::unique_ptr<ClientSlot>> clients_;
  uint32_t next_thread_id_ = 0;
};

Listener::Listener(DataFolder& folder, ListenerOptions options)
    : impl_(std::make_unique<ListenerImpl>(folder, std::move(options))) {}

Listener::~Listener() { Stop(); }

uint16_t Listener::Start() { return impl_->Start(); }

void Listener::Stop() { impl_->Stop(); }

uint16_t Listener::port() const { return impl_->port(); }

int Listener::open_connections() const { return impl_->open_connections(); }

std::mutex& Listener::engine_mutex() { return impl_->engine_mutex(); }

}  // namespace server::tds
