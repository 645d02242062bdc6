#include "server/tds/packet.h"

#include <algorithm>
#include <string>

#include "server/tds/wire.h"

namespace server::tds {

void EncodeHeader(const PacketHeader& header, uint8_t out[kHeaderSize]) {
  out[0] = static_cast<uint8_t>(header.type);
  out[1] = header.status;
  out[2] = header.length >> 8;
  out[3] = header.length & 0xFF;
  out[4] = header.spid >> 8;
  out[5] = header.spid & 0xFF;
  out[6] = header.packet_id;
  out[7] = header.window;
}

namespace {

// The message types of the protocol, either direction. Anything else is not
// TDS at all (an HTTP request's 'G', say) and is refused at once rather than
// after waiting for the length its header seems to give.
bool KnownType(uint8_t type) {
  switch (static_cast<PacketType>(type)) {
    case PacketType::kSqlBatch:
    case PacketType::kRpc:
    case PacketType::kReply:
    case PacketType::kAttention:
    case PacketType::kBulkLoad:
    case PacketType::kTransactionManager:
    case PacketType::kLogin7:
    case PacketType::kSspi:
    case PacketType::kPreLogin:
      return true;
  }
  return false;
}

}  // namespace

PacketHeader DecodeHeader(std::span<const uint8_t, kHeaderSize> bytes) {
  PacketHeader header;
  header.type = static_cast<PacketType>(bytes[0]);
  header.status = bytes[1];
  header.length = static_cast<uint16_t>((bytes[2] << 8) | bytes[3]);
  header.spid = static_cast<uint16_t>((bytes[4] << 8) | bytes[5]);
  header.packet_id = bytes[6];
  header.window = bytes[7];
  if (!KnownType(bytes[0])) {
    throw DecodeError("packet type " + std::to_string(bytes[0]) + " is not a TDS message type");
  }
  if (header.length < kHeaderSize || header.length > kMaxPacketSize) {
    throw DecodeError("packet length " + std::to_string(header.length) + " is outside " +
                      std::to_string(kHeaderSize) + ".." + std::to_string(kMaxPacketSize));
  }
  return header;
}

void MessageAssembler::Feed(std::span<const uint8_t> bytes) {
  while (!bytes.empty()) {
    // The header first, then exactly the packet's length: a packet is never
    // read past its end, so the next one starts cleanly.
    if (pending_.size() < kHeaderSize) {
      size_t take = std::min(kHeaderSize - pending_.size(), bytes.size());
      pending_.insert(pending_.end(), bytes.begin(), bytes.begin() + take);
      bytes = bytes.subspan(take);
      if (pending_.size() < kHeaderSize) break;
      // Validates the length as soon as it is known.
      header_ = DecodeHeader(std::span<const uint8_t, kHeaderSize>(pending_.data(), kHeaderSize));
      if (header_.length > max_packet_) {
        throw DecodeError("packet length " + std::to_string(header_.length) + " is above " +
                          std::to_string(max_packet_));
      }
    }
    size_t take = std::min(header_.length - pending_.size(), bytes.size());
    pending_.insert(pending_.end(), bytes.begin(), bytes.begin() + take);
    bytes = bytes.subspan(take);
    if (pending_.size() == header_.length) FinishPacket();
  }
}

void MessageAssembler::FinishPacket() {
  if (partial_ && partial_->type != header_.type) {
    throw DecodeError("packet of type " + std::to_string(static_cast<int>(header_.type)) +
                      " inside a message of type " +
                      std::to_string(static_cast<int>(partial_->type)));
  }
  if (!partial_) partial_ = Message{header_.type, {}};
  if (partial_->payload.size() + pending_.size() - kHeaderSize > max_message_) {
    throw DecodeError("message longer than " + std::to_string(max_message_) + " bytes");
  }
  partial_->payload.insert(partial_->payload.end(), pending_.begin() + kHeaderSize, pending_.end());
  pending_.clear();
  if (header_.status & kStatusEndOfMessage) {
    complete_.push_back(std::move(*partial_));
    partial_.reset();
  }
}

std::optional<Message> MessageAssembler::Next() {
  if (complete_.empty()) return std::nullopt;
  Message message = std::move(complete_.front());
  complete_.pop_front();
  return message;
}

void MessageAssembler::PutBack(std::deque<Message> messages) {
  for (auto it = messages.rbegin(); it != messages.rend(); ++it) {
    complete_.push_front(std::move(*it));
  }
}

std::vector<uint8_t> Packetize(PacketType type, std::span<const uint8_t> payload, uint16_t spid,
                               size_t packet_size) {
  packet_size = std::clamp(packet_size, kMinPacketSize, kMaxPacketSize);
  size_t body = packet_size - kHeaderSize;
  std::vector<uint8_t> out;
  out.reserve(payload.size() + (payload.size() / body + 1) * kHeaderSize);
  uint8_t packet_id = 1;
  size_t offset = 0;
  do {
    size_t n = std::min(body, payload.size() - offset);
    bool last = offset + n == payload.size();
    PacketHeader header{type,
                        last ? kStatusEndOfMessage : uint8_t{0},
                        static_cast<uint16_t>(n + kHeaderSize),
                        spid,
                        packet_id,
                        0};
    uint8_t bytes[kHeaderSize];
    EncodeHeader(header, bytes);
    out.insert(out.end(), bytes, bytes + kHeaderSize);
    out.insert(out.end(), payload.begin() + offset, payload.begin() + offset + n);
    offset += n;
    ++packet_id;  // wraps at 256, as the protocol allows
  } while (offset < payload.size());
  return out;
}

}  // namespace server::tds
