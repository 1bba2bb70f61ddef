// Building, framing and decoding bootloader packets.
#include "link/packet_codec.h"

#include <algorithm>
#include <cstring>

#include "link/bootloader_commands.h"
#include "link/crc16.h"

namespace tessaline {

namespace {

constexpr std::uint8_t kPlainCodeMask = 0x7F;

bool NeedsEscape(std::uint8_t byte) { return byte == kSoh || byte == kEot || byte == kDle; }

void StoreCrc(std::uint16_t crc, std::uint8_t* at) {
  at[0] = static_cast<std::uint8_t>(crc & 0xFF);
  at[1] = static_cast<std::uint8_t>(crc >> 8);
}

std::uint16_t LoadCrc(const std::uint8_t* at) {
  return static_cast<std::uint16_t>(at[0] | (at[1] << 8));
}

// The bytes the request carries after its header, as the command's rule says; empty optional when
// the caller's data is missing or cannot fit in `room` bytes.
std::optional<std::span<const std::uint8_t>> DataFieldOf(const CommandRule& rule,
                                                         const std::uint8_t* data,
                                                         std::uint32_t length, std::size_t room) {
  if (rule.hasCallerData) {
    if (length > room || (data == nullptr && length != 0)) return std::nullopt;
    return std::span<const std::uint8_t>(data, length);
  }
  if (rule.fixedChunk72) {
    if (data == nullptr || kChunkDataBytes > room) return std::nullopt;
    return std::span<const std::uint8_t>(data, kChunkDataBytes);
  }
  if (rule.nulText) {
    if (data == nullptr) return std::nullopt;
    // Never look further than the request could hold: an unterminated text is refused.
    for (std::size_t i = 0; i < room; ++i) {
      if (data[i] == 0) return std::span<const std::uint8_t>(data, i + 1);
    }
    return std::nullopt;
  }
  return std::span<const std::uint8_t>();
}

bool DecodeByte(std::uint8_t byte, std::span<std::uint8_t, kMaxDecodedReply> decoded,
                DecoderState& state) {
  const bool escaped = state.escapePending;
  state.escapePending = false;
  if (!escaped) {
    if (byte == kSoh) {
      state.length = 0;
      return false;
    }
    if (byte == kDle) {
      state.escapePending = true;
      return false;
    }
    if (byte == kEot) {
      if (state.length < kShortestPlainPacket) return false;
      const std::size_t body = state.length - kCrcBytes;
      return Crc16(decoded.data(), body) == LoadCrc(decoded.data() + body);
    }
  }
  // An overlong frame is dropped and decoding starts again, so its tail fails the CRC. The cap is
  // applied when a byte would pass it, so a frame of exactly 2046 decoded bytes still completes.
  if (state.length >= kMaxDecodedReply) state.length = 0;
  decoded[state.length++] = byte;
  return false;
}

}  // namespace

CommandRule RuleFor(std::uint8_t command) {
  CommandRule rule;
  const std::uint8_t plain = command & kPlainCodeMask;
  rule.listed =
      plain >= BootloaderVersionCommand && plain <= HighestCommand && plain != UnassignedCommand;
  if (!rule.listed) return rule;
  rule.hasCallerData = plain == ApplicationRecordsCommand;
  rule.fixedChunk72 = plain == FlashDataChunkCommand;
  rule.nulText = plain == TextCommand;
  // The unit answers neither of these: it resets or leaves bootload mode.
  rule.singleSend = plain == FinishUpdateCommand || plain == ExitBootloadCommand;
  rule.fixedTimeout10ms = plain == FinishUpdateCommand;
  return rule;
}

std::optional<std::size_t> BuildRequest(std::uint8_t command, const std::uint8_t* data,
                                        std::uint32_t length, std::uint32_t& sequenceCounter,
                                        std::span<std::uint8_t, kFrameCapacity> packet) {
  std::size_t size = 0;
  packet[size++] = command;
  // The identity command restarts the numbering.
  if ((command & kPlainCodeMask) == BootloaderVersionCommand) sequenceCounter = 0;
  // The counter moves before the code is checked, so a refused sequenced code uses up a number;
  // the unit only ever compares a reply's number with its own request's.
  if (IsSequenced(command)) {
    ++sequenceCounter;
    if (sequenceCounter == 0) sequenceCounter = 1;  // 0 never goes on the wire
    for (int shift = 24; shift >= 0; shift -= 8) {
      packet[size++] = static_cast<std::uint8_t>(sequenceCounter >> shift);
    }
  }
  const CommandRule rule = RuleFor(command);
  if (!rule.listed) return std::nullopt;
  const auto field = DataFieldOf(rule, data, length, packet.size() - size - kCrcBytes);
  if (!field) return std::nullopt;
  std::copy(field->begin(), field->end(), packet.begin() + static_cast<std::ptrdiff_t>(size));
  size += field->size();
  StoreCrc(Crc16(packet.data(), size), packet.data() + size);
  return size + kCrcBytes;
}

std::size_t FramedSize(std::span<const std::uint8_t> packet) {
  const auto escapes = std::count_if(packet.begin(), packet.end(), NeedsEscape);
  return 2 + packet.size() + static_cast<std::size_t>(escapes);
}

std::optional<std::size_t> FrameInto(std::span<const std::uint8_t> packet,
                                     std::span<std::uint8_t> out) {
  if (FramedSize(packet) > out.size()) return std::nullopt;
  std::size_t size = 0;
  out[size++] = kSoh;
  for (const std::uint8_t byte : packet) {
    if (NeedsEscape(byte)) out[size++] = kDle;
    out[size++] = byte;
  }
  out[size++] = kEot;
  return size;
}

void FrameBytes(std::span<const std::uint8_t> packet, std::vector<std::uint8_t>& out) {
  const std::size_t start = out.size();
  out.resize(start + FramedSize(packet));
  FrameInto(packet, std::span<std::uint8_t>(out).subspan(start));
}

void AppendCrc(std::vector<std::uint8_t>& packet) {
  const std::uint16_t crc = Crc16(packet.data(), packet.size());
  packet.resize(packet.size() + kCrcBytes);
  StoreCrc(crc, packet.data() + packet.size() - kCrcBytes);
}

std::uint16_t ShortFormOfSequencedReply(std::uint8_t* bytes, std::uint16_t length) {
  if (length < kShortestSequencedPacket) return length;
  const std::size_t dataLength = length - kShortestSequencedPacket;
  bytes[0] &= kPlainCodeMask;
  std::memmove(bytes + 1, bytes + 1 + kSequenceBytes, dataLength);
  const std::size_t body = 1 + dataLength;
  StoreCrc(Crc16(bytes, body), bytes + body);
  return static_cast<std::uint16_t>(body + kCrcBytes);
}

std::size_t DecodeReceived(const std::uint8_t* bytes, std::size_t count,
                           std::span<std::uint8_t, kMaxDecodedReply> decoded, DecoderState& state) {
  std::size_t taken = 0;
  while (taken < count && !state.complete) {
    if (DecodeByte(bytes[taken++], decoded, state)) state.complete = true;
  }
  return taken;
}

std::size_t FrameDecoder::Feed(const std::uint8_t* bytes, std::size_t count) {
  return DecodeReceived(bytes, count, buffer_, state_);
}

std::vector<std::uint8_t> FrameDecoder::Take() {
  if (!state_.complete) return {};
  std::vector<std::uint8_t> packet(buffer_.begin(), buffer_.begin() + state_.length);
  state_.complete = false;
  state_.length = 0;
  return packet;
}

}  // namespace tessaline
