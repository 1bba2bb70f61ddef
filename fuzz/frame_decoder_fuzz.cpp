// Fuzzes the receive side of the bootloader link: the frame decoder fed in random chunks.
#include <cstdint>
#include <vector>

#include "fuzz_input.h"
#include "link/bootloader_link.h"
#include "link/crc16.h"
#include "link/packet_codec.h"

namespace {

using tessaline::fuzz::FuzzInput;
using tessaline::fuzz::Require;
using Frames = std::vector<std::vector<std::uint8_t>>;

void RequireGoodFrame(const std::vector<std::uint8_t>& frame) {
  Require(frame.size() >= tessaline::kShortestPlainPacket, "a frame holds command and CRC");
  Require(frame.size() <= tessaline::kMaxDecodedReply, "a frame fits the receive buffer");
  const std::size_t body = frame.size() - tessaline::kCrcBytes;
  const auto crc = static_cast<std::uint16_t>(frame[body] | frame[body + 1] << 8);
  Require(tessaline::Crc16(frame.data(), body) == crc, "a completed frame carries a good CRC");
}

// A stream reader keeps what followed a frame in the same chunk and feeds it next.
Frames DecodeInChunks(std::span<const std::uint8_t> stream, FuzzInput& cuts) {
  tessaline::FrameDecoder decoder;
  Frames frames;
  std::size_t at = 0;
  while (at < stream.size()) {
    const std::size_t chunk = std::min<std::size_t>(cuts.InRange(1, 64), stream.size() - at);
    std::size_t fed = 0;
    while (fed < chunk) {
      const std::size_t taken = decoder.Feed(stream.data() + at + fed, chunk - fed);
      Require(taken >= 1 && taken <= chunk - fed, "Feed takes between one byte and the chunk");
      fed += taken;
      if (decoder.Complete()) frames.push_back(decoder.Take());
      Require(!decoder.Complete(), "Take clears the completion");
    }
    at += chunk;
  }
  return frames;
}

Frames DecodeByteByByte(std::span<const std::uint8_t> stream) {
  tessaline::FrameDecoder decoder;
  Frames frames;
  for (const std::uint8_t byte : stream) {
    decoder.Feed(&byte, 1);
    if (decoder.Complete()) frames.push_back(decoder.Take());
  }
  return frames;
}

// The link's decoder drops the rest of a read after a complete frame; up to that frame it must
// agree with the stream decoder.
void CompareWithLink(std::span<const std::uint8_t> stream, const Frames& frames) {
  tessaline::BootloaderLink link;
  link.ParseReceived(stream.data(), static_cast<std::uint32_t>(stream.size()));
  Require(link.FrameComplete() == !frames.empty(), "the link completes a frame when one exists");
  if (!link.FrameComplete()) return;
  const std::vector<std::uint8_t> reply(link.GetReply(), link.GetReply() + link.GetReplyLength());
  Require(reply == frames.front(), "the link decodes the same first frame");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzInput input(data, size);
  // The first bytes steer the chunk sizes; the rest is the received stream.
  const auto cutBytes = input.Take(input.InRange(0, 32));
  const auto stream = input.Rest();
  FuzzInput cuts(cutBytes.data(), cutBytes.size());

  const Frames chunked = DecodeInChunks(stream, cuts);
  for (const auto& frame : chunked) RequireGoodFrame(frame);
  Require(chunked == DecodeByteByByte(stream), "how the stream is cut changes nothing");
  CompareWithLink(stream, chunked);
  return 0;
}
