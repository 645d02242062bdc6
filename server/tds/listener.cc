#include "server/tds/listener.h"

#include <asio.hpp>
#include <atomic>
#include <list>
#include <stdexcept>
#include <thread>
#include <utility>

#include "server/tds/connection.h"

namespace server::tds {

// A client's connection and the thread serving it.
struct ClientSlot {
  std::unique_ptr<Connection> connection;
  std::thread thread;
  std::atomic<bool> done{false};
};

class ListenerImpl {
 public:
  ListenerImpl(DataFolder& folder, ListenerOptions options)
      : folder_(folder), options_(std::move(options)) {}

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
    if (server_name_.empty()) {
      std::lock_guard<std::mutex> engine_lock(engine_mutex_);
      server_name_ = folder_.engine().options().name;
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
    });
    accept_thread_.join();
    std::list<std::unique_ptr<ClientSlot>> clients;
    {
      std::lock_guard<std::mutex> clients_lock(clients_mutex_);
      clients.swap(clients_);
    }
    for (auto& client : clients) client->connection->Close();
    for (auto& client : clients) client->thread.join();
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
      if (!ec) Launch(std::move(socket));
      Accept();
    });
  }

  void Launch(asio::ip::tcp::socket socket) {
    asio::error_code ignored;
    socket.set_option(asio::ip::tcp::no_delay(true), ignored);
    std::lock_guard<std::mutex> lock(clients_mutex_);
    Reap();
    auto client = std::make_unique<ClientSlot>();
    client->connection = std::make_unique<Connection>(
        std::move(socket),
        SharedEngine{folder_, engine_mutex_, server_name_,
                     [this](const Connection* asking) { LogOutDeparted(asking); }},
        ++next_thread_id_);
    ClientSlot* raw = client.get();
    clients_.push_back(std::move(client));
    raw->thread = std::thread([raw] {
      raw->connection->Serve();
      raw->done = true;
    });
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

  DataFolder& folder_;
  ListenerOptions options_;
  std::string server_name_;
  std::mutex engine_mutex_;
  std::mutex state_mutex_;  // Start and Stop
  asio::io_context io_;
  std::unique_ptr<asio::ip::tcp::acceptor> acceptor_;
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
