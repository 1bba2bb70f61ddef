// Fuzzes the rewrite of a sequenced reply into the short form callers read.
#include <cstdint>
#include <vector>

#include "fuzz_input.h"
#include "link/crc16.h"
#include "link/packet_codec.h"

using tessaline::fuzz::Require;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size > tessaline::kMaxDecodedReply) return 0;  // the decoder never keeps more
  std::vector<std::uint8_t> reply(data, data + size);
  const std::vector<std::uint8_t> original = reply;
  const auto length = static_cast<std::uint16_t>(size);
  const std::uint16_t shortLength = tessaline::ShortFormOfSequencedReply(reply.data(), length);

  if (size < tessaline::kShortestSequencedPacket) {
    Require(shortLength == length && reply == original, "a short reply is left alone");
    return 0;
  }
  Require(shortLength == length - tessaline::kSequenceBytes, "the sequence bytes go");
  Require(reply[0] == (original[0] & 0x7F), "the command loses bit 0x80");
  const std::size_t dataLength = size - tessaline::kShortestSequencedPacket;
  for (std::size_t i = 0; i < dataLength; ++i) {
    Require(reply[1 + i] == original[1 + tessaline::kSequenceBytes + i], "the data stay in order");
  }
  const std::size_t body = shortLength - tessaline::kCrcBytes;
  const auto crc = static_cast<std::uint16_t>(reply[body] | reply[body + 1] << 8);
  Require(tessaline::Crc16(reply.data(), body) == crc, "the short form carries a good CRC");
  for (std::size_t i = shortLength; i < size; ++i) {
    Require(reply[i] == original[i], "nothing past the short form is written");
  }
  return 0;
}
