#include "server/tds/refusal.h"

#include <utility>

#include "server/tds/prelogin.h"
#include "server/tds/wire.h"

namespace server::tds {

Refusal::Refusal(asio::ip::tcp::socket socket, std::vector<uint8_t> error_reply, uint32_t thread_id,
                 std::function<void(Refusal*)> on_end)
    : socket_(std::move(socket)),
      timer_(socket_.get_executor()),
      error_reply_(std::move(error_reply)),
      thread_id_(thread_id),
      on_end_(std::move(on_end)) {}

void Refusal::Start(std::chrono::milliseconds timeout) {
  timer_.expires_after(timeout);
  timer_.async_wait([self = shared_from_this()](asio::error_code ec) {
    if (!ec) self->End();
  });
  ReadMore();
}

void Refusal::Close() { End(); }

void Refusal::ReadMore() {
  socket_.async_read_some(
      asio::buffer(buffer_), [self = shared_from_this()](asio::error_code ec, size_t n) {
        if (self->ended_) return;
        if (ec) return self->End();
        try {
          self->assembler_.Feed(std::span<const uint8_t>(self->buffer_.data(), n));
        } catch (const DecodeError&) {
          return self->End();
        }
        if (self->Answer()) self->ReadMore();
      });
}

bool Refusal::Answer() {
  std::optional<Message> message = assembler_.Next();
  if (!message) return true;
  if (message->type == PacketType::kPreLogin) {
    Write(Packetize(PacketType::kReply, EncodePreLogin(PreLoginReply(thread_id_)), 0,
                    kDefaultPacketSize),
          false);
  } else {
    // The LOGIN7, or whatever else came first: the client learns why.
    Write(Packetize(PacketType::kReply, error_reply_, 0, kDefaultPacketSize), true);
  }
  return false;
}

void Refusal::Write(std::vector<uint8_t> packets, bool last) {
  writing_ = std::move(packets);
  asio::async_write(socket_, asio::buffer(writing_),
                    [self = shared_from_this(), last](asio::error_code ec, size_t) {
                      if (self->ended_) return;
                      if (ec || last) return self->End();
                      if (self->Answer()) self->ReadMore();
                    });
}

void Refusal::End() {
  if (ended_) return;
  ended_ = true;
  asio::error_code ignored;
  timer_.cancel();
  socket_.shutdown(asio::ip::tcp::socket::shutdown_both, ignored);
  socket_.close(ignored);
  if (on_end_) on_end_(this);
}

}  // namespace server::tds
