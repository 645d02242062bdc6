#ifndef TAVORA_SERVER_TDS_PACKET_H_
#define TAVORA_SERVER_TDS_PACKET_H_

#include <cstddef>
#include <cstdint>
#include <deque>
#include <optional>
#include <span>
#include <vector>

namespace server::tds {

// Message types of the packet header.
enum class PacketType : uint8_t {
  kSqlBatch = 0x01,
  kRpc = 0x03,
  kReply = 0x04,
  kAttention = 0x06,
  kBulkLoad = 0x07,
  kTransactionManager = 0x0E,
  kLogin7 = 0x10,
  kSspi = 0x11,
  kPreLogin = 0x12,
};

constexpr size_t kHeaderSize = 8;
// Status bit: the last packet of a message.
constexpr uint8_t kStatusEndOfMessage = 0x01;
// The protocol's smallest and largest packet sizes; 4096 until the login
// settles another.
constexpr size_t kMinPacketSize = 512;
constexpr size_t kMaxPacketSize = 32767;
constexpr size_t kDefaultPacketSize = 4096;
// No request this server understands comes near this; a client sending more
// in one message is refused rather than buffered without end.
constexpr size_t kMaxMessageSize = 4 * 1024 * 1024;
// Before its login a client has not proven anything, so what it may make the
// server hold is one packet of the size every client starts with: its
// pre-login and its LOGIN7 each fit in one.
constexpr size_t kMaxLoginPacketSize = kDefaultPacketSize;
constexpr size_t kMaxLoginMessageSize = kDefaultPacketSize - kHeaderSize;

struct PacketHeader {
  PacketType type = PacketType::kReply;
  uint8_t status = kStatusEndOfMessage;
  uint16_t length = kHeaderSize;  // header included, big-endian on the wire
  uint16_t spid = 0;              // big-endian on the wire
  uint8_t packet_id = 1;
  uint8_t window = 0;

  friend bool operator==(const PacketHeader&, const PacketHeader&) = default;
};

void EncodeHeader(const PacketHeader& header, uint8_t out[kHeaderSize]);
// Throws DecodeError when the type is not one of PacketType's, or the length
// is below the header's own size or above kMaxPacketSize. Which types are
// welcome is the connection's business, in its state.
PacketHeader DecodeHeader(std::span<const uint8_t, kHeaderSize> bytes);

// A whole message: the payloads of its packets joined.
struct Message {
  PacketType type = PacketType::kSqlBatch;
  std::vector<uint8_t> payload;
};

// Joins packets into messages as bytes arrive from a stream, in whatever
// pieces. Bounded: a packet longer than `max_packet` (or out of the
// protocol's range), a message longer than `max_message`, or a packet of
// another type in the middle of a message throws DecodeError; the assembler
// is unusable afterwards (the stream has lost its framing).
class MessageAssembler {
 public:
  explicit MessageAssembler(size_t max_message = kMaxMessageSize,
                            size_t max_packet = kMaxPacketSize)
      : max_message_(max_message), max_packet_(max_packet) {}

  // New bounds for what is still to come, such as after a login.
  void SetLimits(size_t max_message, size_t max_packet) {
    max_message_ = max_message;
    max_packet_ = max_packet;
  }

  // Takes the next bytes of the stream; complete messages become available
  // through Next().
  void Feed(std::span<const uint8_t> bytes);
  // The oldest complete message not yet taken.
  std::optional<Message> Next();
  // Returns messages taken with Next() to the front of the queue, in their
  // order, for a caller that was looking for one kind among them.
  void PutBack(std::deque<Message> messages);
  // True when no packet is half received and no message half assembled, so a
  // truncated stream can be told from one that ended cleanly.
  bool idle() const { return pending_.empty() && !partial_; }

 private:
  void FinishPacket();

  size_t max_message_;
  size_t max_packet_;
  PacketHeader header_;             // of the packet being received, once complete
  std::vector<uint8_t> pending_;    // bytes of the packet being received
  std::optional<Message> partial_;  // packets of a message before its last
  std::deque<Message> complete_;
};

// The packets of one message, each at most `packet_size` bytes, header
// included, numbered from 1 (wrapping at 256), the last one marked end of
// message. An empty payload gives one packet with the header only.
std::vector<uint8_t> Packetize(PacketType type, std::span<const uint8_t> payload, uint16_t spid,
                               size_t packet_size);

}  // namespace server::tds

#endif  // TAVORA_SERVER_TDS_PACKET_H_
