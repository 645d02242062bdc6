#ifndef TAVORA_SERVER_TDS_REFUSAL_H_
#define TAVORA_SERVER_TDS_REFUSAL_H_

#include <array>
#include <asio.hpp>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "server/tds/packet.h"

namespace server::tds {

// A client the listener will not serve, told why the way a client
// understands: its pre-login is answered as usual, and its LOGIN7 with the
// error reply given (17809, the server is full); then it is closed. Runs on
// the listener's io_context without a thread of its own, holds at most one
// packet of the client's, and ends by itself after `timeout`.
class Refusal : public std::enable_shared_from_this<Refusal> {
 public:
  // `on_end` runs once, on the io_context, when the refusal is over.
  Refusal(asio::ip::tcp::socket socket, std::vector<uint8_t> error_reply, uint32_t thread_id,
          std::function<void(Refusal*)> on_end);

  void Start(std::chrono::milliseconds timeout);
  // Ends it now (the listener stops); call on the io_context.
  void Close();

 private:
  void ReadMore();
  // Answers what the client has sent so far; false once the refusal is over.
  bool Answer();
  void Write(std::vector<uint8_t> packets, bool last);
  void End();

  asio::ip::tcp::socket socket_;
  asio::steady_timer timer_;
  std::vector<uint8_t> error_reply_;
  uint32_t thread_id_;
  std::function<void(Refusal*)> on_end_;
  MessageAssembler assembler_{kMaxLoginMessageSize, kMaxLoginPacketSize};
  std::array<uint8_t, kMaxLoginPacketSize> buffer_;
  std::vector<uint8_t> writing_;
  bool ended_ = false;
};

}  // namespace server::tds

#endif  // TAVORA_SERVER_TDS_REFUSAL_H_
