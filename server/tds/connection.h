#ifndef TAVORA_SERVER_TDS_CONNECTION_H_
#define TAVORA_SERVER_TDS_CONNECTION_H_

#include <asio.hpp>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>

#include "server/data_folder.h"
#include "server/tds/packet.h"
#include "server/tds/reply.h"
#include "server/tds/rpc.h"

namespace server::tds {

class Connection;

// The engine a listener serves and the lock every call into it takes.
struct SharedEngine {
  DataFolder& folder;
  std::mutex& mutex;
  // Notified, under `mutex`, whenever a batch ends, a session logs out or
  // the engine releases locks: a batch waiting for a lock tries again.
  std::condition_variable& batch_ended;
  std::string server_name;
  // Logs out the sessions of the other clients that have already left; run
  // before each batch, without any lock held.
  std::function<void(const Connection*)> log_out_departed;
};

// One client from its pre-login to its disconnect: reads its messages, runs
// them on the engine and writes the replies. Internal to the listener.
class Connection {
 public:
  // A client that has not logged in within `login_timeout` (zero: no limit)
  // is closed.
  Connection(asio::ip::tcp::socket socket, SharedEngine engine, uint32_t thread_id,
             std::chrono::seconds login_timeout);

  // Serves until the client leaves, breaks the protocol or Close() is called;
  // the engine session, if any, is logged out before it returns. Never throws.
  void Serve();

  // Wakes a Serve() blocked on the socket, from another thread.
  void Close();

  // Logs the session out now when the client has closed its end and left
  // nothing unread, from another thread. The serving thread notices the
  // disconnect only when the scheduler gets to it; a client that disconnects
  // and at once reconnects to drop the database it used must not find it
  // still in use.
  void LogOutIfDeparted();

 private:
  enum class State { kPreLogin, kLogin, kLoggedIn };

  // The next message, or empty when the client is gone or its login time
  // is up. DecodeError when the stream breaks the packet framing or sends
  // more than one packet's worth before its login.
  std::optional<Message> Read();
  // Waits until the socket has bytes to read; false when the login deadline
  // passes first.
  bool WaitForLoginData();
  // Takes what the client has already sent without waiting for more, so an
  // attention sent during a batch is seen before its reply goes out.
  void ReadPending();
  // Whether the client has hung up with nothing left unread.
  bool HungUp();
  bool HungUpLocked();  // with socket_mutex_
  bool Send(PacketType type, const std::vector<uint8_t>& payload);

  // Each handles one message; false ends the connection.
  bool OnPreLogin(const Message& message);
  bool OnLogin(const Message& message);
  bool OnBatch(const Message& message);
  bool OnRpc(const Message& message);
  // The rows of an INSERT BULK the client sent just before.
  bool OnBulkLoad(const Message& message);
  // Runs `sql` on the engine (nothing when empty) and sends the reply
  // `make_reply` builds from the outcome and the databases before and after,
  // or the attention acknowledgement when a cancel came meanwhile.
  bool RunAndReply(const std::string& sql,
                   const std::function<std::vector<uint8_t>(const BatchOutcome&, const std::string&,
                                                            const std::string&)>& make_reply);
  // The same for what `run` runs on the engine, with the session and the
  // wait for other sessions' locks.
  bool RunAndReply(const std::function<BatchOutcome(Engine&, int, const LockWait&)>& run,
                   const std::function<std::vector<uint8_t>(const BatchOutcome&, const std::string&,
                                                            const std::string&)>& make_reply);
  // How running a batch or call on the engine ended.
  enum class RunEnd { kDone, kCancelled, kGone };
  // Runs `run` under the engine lock and appends the reply `make_reply`
  // builds to `reply`; nothing is sent.
  RunEnd RunLocked(const std::function<BatchOutcome(Engine&, int, const LockWait&)>& run,
                   const std::function<std::vector<uint8_t>(const BatchOutcome&, const std::string&,
                                                            const std::string&)>& make_reply,
                   std::vector<uint8_t>& reply);
  // Sends what a run ended in: nothing when the client has gone, the
  // attention acknowledgement when it cancelled, else `reply`.
  bool SendRunEnd(RunEnd end, const std::vector<uint8_t>& reply);
  // One call of an RPC message, its reply appended to `reply`; `more` when
  // another call follows in the same message.
  RunEnd RunCall(const RpcRequest& rpc, bool more, std::vector<uint8_t>& reply);
  bool OnAttention();

  bool TakeAttention();
  // The name the client reached the server by, for the engine's login:
  // LOGIN7's server name with this connection's port when it has none.
  std::string ReachedAs(const std::string& login_server_name);
  void Logout();

  asio::ip::tcp::socket socket_;
  SharedEngine engine_;
  uint32_t thread_id_;
  std::mutex socket_mutex_;  // guards open_ against Close() from another thread
  bool open_ = true;
  MessageAssembler assembler_{kMaxLoginMessageSize, kMaxLoginPacketSize};
  // Until the login succeeds.
  std::optional<std::chrono::steady_clock::time_point> login_deadline_;
  State state_ = State::kPreLogin;
  std::optional<int> session_;
  uint16_t spid_ = 0;
  size_t packet_size_ = kDefaultPacketSize;
  ReplyContext context_;
  // Statements prepared with sp_prepare or sp_prepexec, by handle: the text
  // and the declaration of its parameters, which type the values each
  // sp_execute sends.
  struct Prepared {
    std::string statement;
    std::string parameters;
  };
  std::map<int32_t, Prepared> prepared_;
  int32_t next_handle_ = 1;
};

}  // namespace server::tds

#endif  // TAVORA_SERVER_TDS_CONNECTION_H_
