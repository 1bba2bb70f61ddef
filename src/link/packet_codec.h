// Building, framing and decoding bootloader packets, shared by the link and the simulated unit.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace tessaline {

inline constexpr std::uint8_t kSoh = 0x01;
inline constexpr std::uint8_t kEot = 0x04;
inline constexpr std::uint8_t kDle = 0x10;
inline constexpr std::uint8_t kSequencedBit = 0x80;

// How the link treats a command code: refused codes are never sent.
struct CommandRule {
  bool listed = false;        // false: refused
  bool hasCallerData = false; // 0x03/0x83 caller's data and length
  bool fixedChunk72 = false;  // 0x06/0x86 exactly 72 bytes
  bool nulText = false;       // 0x0A/0x8A NUL-terminated text including its NUL
  bool singleSend = false;    // 0x04/0x84 and 0x0B/0x8B
  bool fixedTimeout10ms = false;  // 0x04/0x84
};
CommandRule RuleFor(std::uint8_t command);

// Appends SOH, the stuffed packet bytes and EOT to `out`.
void FrameBytes(std::span<const std::uint8_t> packet, std::vector<std::uint8_t>& out);

// Appends the CRC of `packet` (low byte first).
void AppendCrc(std::vector<std::uint8_t>& packet);

// Rewrites a sequenced reply (command|0x80, 4 sequence bytes, data, CRC) into the short form
// (command without 0x80, data, new CRC). Returns the new length; `bytes` is rewritten in place.
std::uint16_t ShortFormOfSequencedReply(std::uint8_t* bytes, std::uint16_t length);

// A byte-at-a-time frame decoder with the link's rules (2046-byte cap, DLE escapes, CRC check on
// EOT, stop at the first complete frame of a chunk). Used by the simulated unit and by tests.
class FrameDecoder {
 public:
  // Feeds bytes; returns how many were consumed (decoding stops after a complete frame).
  std::size_t Feed(const std::uint8_t* bytes, std::size_t count);
  bool Complete() const { return complete_; }
  // The decoded packet (command through CRC) of the complete frame; clears the completion.
  std::vector<std::uint8_t> Take();

 private:
  std::vector<std::uint8_t> buffer_;
  bool escapePending_ = false;
  bool complete_ = false;
};

}  // namespace tessaline
