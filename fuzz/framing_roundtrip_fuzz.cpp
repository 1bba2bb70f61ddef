// Fuzzes request building and framing: encode, split, decode must give back the request.
#include <array>
#include <cstdint>
#include <vector>

#include "fuzz_input.h"
#include "link/crc16.h"
#include "link/packet_codec.h"

namespace {

using tessaline::fuzz::FuzzInput;
using tessaline::fuzz::Require;

std::uint32_t ReadBe32(const std::uint8_t* at) {
  return static_cast<std::uint32_t>(at[0]) << 24 | static_cast<std::uint32_t>(at[1]) << 16 |
         static_cast<std::uint32_t>(at[2]) << 8 | at[3];
}

void CheckPacket(std::uint8_t command, std::span<const std::uint8_t> data, std::uint32_t before,
                 std::uint32_t after, std::span<const std::uint8_t> packet) {
  Require(packet.size() <= tessaline::kFrameCapacity, "a request fits 2048 bytes");
  Require(packet[0] == command, "the command byte leads");
  std::size_t header = 1;
  if ((command & 0x7F) == 0x01 && !tessaline::IsSequenced(command)) {
    Require(after == 0, "the plain identity command restarts the counter");
  }
  if (tessaline::IsSequenced(command)) {
    Require(after != 0, "sequence number 0 never goes on the wire");
    if (command == 0x81) Require(after == 1, "the sequenced identity command always carries 1");
    if ((command & 0x7F) != 0x01) {
      Require(after == before + 1 || (before == 0xFFFFFFFF && after == 1),
              "a sequenced request advances the counter by one");
    }
    Require(ReadBe32(packet.data() + 1) == after, "the counter is sent most significant first");
    header += tessaline::kSequenceBytes;
  }
  const std::size_t body = packet.size() - tessaline::kCrcBytes;
  const auto crc = static_cast<std::uint16_t>(packet[body] | packet[body + 1] << 8);
  Require(tessaline::Crc16(packet.data(), body) == crc, "the CRC covers everything before it");

  const auto rule = tessaline::RuleFor(command);
  const std::size_t fieldLength = body - header;
  if (rule.hasCallerData) Require(fieldLength == data.size(), "a batch carries the caller's data");
  if (rule.fixedChunk72) Require(fieldLength == tessaline::kChunkDataBytes, "a chunk is 72 bytes");
  if (rule.nulText) Require(packet[body - 1] == 0, "a text ends with its NUL");
  if (!rule.hasCallerData && !rule.fixedChunk72 && !rule.nulText) {
    Require(fieldLength == 0, "data-less commands carry no data");
  }
  for (std::size_t i = 0; i < fieldLength; ++i) {
    Require(packet[header + i] == data[i], "the data field is the caller's bytes");
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzInput input(data, size);
  const std::uint8_t command = input.Byte();
  std::uint32_t counter = input.Flag() ? 0xFFFFFFFFu - input.Byte() : input.U32();
  const std::uint32_t before = counter;
  const auto cutBytes = input.Take(16);
  const auto rest = input.Rest();
  std::vector<std::uint8_t> payload(rest.begin(), rest.end());
  // Honour the callers' side of the contract: a chunk is read as 72 bytes whatever the length,
  // and a text up to its NUL.
  const auto rule = tessaline::RuleFor(command);
  if (rule.fixedChunk72 && payload.size() < tessaline::kChunkDataBytes) {
    payload.resize(tessaline::kChunkDataBytes);
  }
  if (rule.nulText) payload.push_back(0);
  const auto payloadSize = static_cast<std::uint32_t>(payload.size());

  std::array<std::uint8_t, tessaline::kFrameCapacity> packet{};
  const auto built = tessaline::BuildRequest(command, payload.empty() ? nullptr : payload.data(),
                                             payloadSize, counter, packet);
  if (!built) {
    // Command, sequence number and CRC take at most 7 of the 2048 bytes.
    Require(!rule.listed || payload.size() + 7 > tessaline::kFrameCapacity,
            "only unlisted codes and oversized data fields are refused");
    return 0;
  }
  const std::span<const std::uint8_t> request(packet.data(), *built);
  CheckPacket(command, payload, before, counter, request);

  std::vector<std::uint8_t> frame;
  tessaline::FrameBytes(request, frame);
  Require(frame.size() == tessaline::FramedSize(request), "FramedSize tells the frame's size");
  Require(frame.front() == tessaline::kSoh && frame.back() == tessaline::kEot,
          "a frame runs from SOH to EOT");
  for (std::size_t i = 1; i + 1 < frame.size(); ++i) {
    if (frame[i] == tessaline::kDle) {
      ++i;  // the escaped byte
      continue;
    }
    Require(frame[i] != tessaline::kSoh && frame[i] != tessaline::kEot,
            "no bare SOH or EOT inside a frame");
  }
  std::array<std::uint8_t, tessaline::kFrameCapacity * 2 + 2> flat{};
  const auto into = tessaline::FrameInto(request, flat);
  Require(into.has_value() && std::equal(frame.begin(), frame.end(), flat.begin()),
          "FrameInto and FrameBytes agree");

  // The link frames into a buffer of the request's own capacity, so a frame that outgrows it is
  // never sent; the receiver, which keeps 2046 decoded bytes, could not take it back whole.
  std::array<std::uint8_t, tessaline::kFrameCapacity> linkFrame{};
  const bool sent = tessaline::FrameInto(request, linkFrame).has_value();
  Require(sent == (frame.size() <= tessaline::kFrameCapacity),
          "the link sends exactly the frames that fit its buffer");
  if (!sent) return 0;

  FuzzInput cuts(cutBytes.data(), cutBytes.size());
  tessaline::FrameDecoder decoder;
  std::size_t at = 0;
  while (at < frame.size() && !decoder.Complete()) {
    const std::size_t chunk = std::min<std::size_t>(cuts.InRange(1, 40), frame.size() - at);
    at += decoder.Feed(frame.data() + at, chunk);
  }
  Require(at == frame.size(), "the frame completes at its EOT, not before");
  const auto decoded = decoder.Take();
  Require(std::equal(decoded.begin(), decoded.end(), request.begin(), request.end()),
          "decoding the frame gives back the request");
  return 0;
}
