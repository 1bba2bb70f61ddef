// Building, framing and decoding bootloader packets, shared by the link and the simulated unit.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace tessaline {

inline constexpr std::uint8_t kSoh = 0x01;  // starts a frame
inline constexpr std::uint8_t kEot = 0x04;  // ends a frame
inline constexpr std::uint8_t kDle = 0x10;  // makes the next byte data, whatever its value
inline constexpr std::uint8_t kSequencedBit = 0x80;

inline constexpr std::size_t kFrameCapacity = 2048;    // bytes of a request, framed or unframed
inline constexpr std::size_t kMaxDecodedReply = 2046;  // decoded bytes kept of one received frame
inline constexpr std::size_t kSequenceBytes = 4;       // big-endian, sequenced forms only
inline constexpr std::size_t kCrcBytes = 2;            // little-endian, always last
inline constexpr std::size_t kChunkDataBytes = 72;     // data field of 0x06/0x86
inline constexpr std::size_t kShortestPlainPacket = 1 + kCrcBytes;
inline constexpr std::size_t kShortestSequencedPacket = 1 + kSequenceBytes + kCrcBytes;

// How the link treats a command code, plain and sequenced forms alike; refused codes never go out.
struct CommandRule {
  bool listed = false;            // false: refused
  bool hasCallerData = false;     // 0x03/0x83 caller's data and length
  bool fixedChunk72 = false;      // 0x06/0x86 exactly 72 bytes
  bool nulText = false;           // 0x0A/0x8A NUL-terminated text including its NUL
  bool singleSend = false;        // 0x04/0x84 and 0x0B/0x8B
  bool fixedTimeout10ms = false;  // 0x04/0x84
};
CommandRule RuleFor(std::uint8_t command);

constexpr bool IsSequenced(std::uint8_t command) { return (command & kSequencedBit) != 0; }

// Builds the unframed request (command, sequence number, data field, CRC) into `packet`, applying
// the counter rules: 0x01/0x81 reset it to 0, sequenced codes advance it (skipping 0) and carry it.
// Empty when the code is refused, the data field is missing, or the request would not fit.
std::optional<std::size_t> BuildRequest(std::uint8_t command, const std::uint8_t* data,
                                        std::uint32_t length, std::uint32_t& sequenceCounter,
                                        std::span<std::uint8_t, kFrameCapacity> packet);

// SOH, the stuffed packet bytes and EOT: the size, and the frame written into `out` (empty when it
// does not fit).
std::size_t FramedSize(std::span<const std::uint8_t> packet);
std::optional<std::size_t> FrameInto(std::span<const std::uint8_t> packet,
                                     std::span<std::uint8_t> out);

// Appends SOH, the stuffed packet bytes and EOT to `out`.
void FrameBytes(std::span<const std::uint8_t> packet, std::vector<std::uint8_t>& out);

// Appends the CRC of `packet` (low byte first).
void AppendCrc(std::vector<std::uint8_t>& packet);

// Rewrites a sequenced reply (command|0x80, 4 sequence bytes, data, CRC) into the short form
// (command without 0x80, data, new CRC). Returns the new length; `bytes` is rewritten in place.
// A reply shorter than 7 bytes is left as it is.
std::uint16_t ShortFormOfSequencedReply(std::uint8_t* bytes, std::uint16_t length);

// What the receiver keeps between bytes; the decoded bytes live in a caller's buffer.
struct DecoderState {
  std::uint16_t length = 0;  // decoded bytes of the frame being received
  bool escapePending = false;
  bool complete = false;  // a frame with a good CRC ends at `length`; further bytes are not taken
};

// Feeds received bytes through the receiver's rules (2046-byte cap, DLE escapes, CRC check on EOT)
// until a frame completes; returns how many bytes were taken. The rest of a chunk after a complete
// frame is the caller's to drop.
std::size_t DecodeReceived(const std::uint8_t* bytes, std::size_t count,
                           std::span<std::uint8_t, kMaxDecodedReply> decoded, DecoderState& state);

// A frame decoder with the link's rules and its own buffer. Used by the simulated unit and tests.
class FrameDecoder {
 public:
  // Feeds bytes; returns how many were consumed (decoding stops after a complete frame).
  std::size_t Feed(const std::uint8_t* bytes, std::size_t count);
  bool Complete() const { return state_.complete; }
  // The decoded packet (command through CRC) of the complete frame, empty when none is complete;
  // clears the completion and starts the next frame afresh.
  std::vector<std::uint8_t> Take();

 private:
  std::array<std::uint8_t, kMaxDecodedReply> buffer_{};
  DecoderState state_;
};

}  // namespace tessaline
