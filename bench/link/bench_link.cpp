// Prints the CPU cost of one exchange through the engine and of coding one 72-byte chunk request.
#include <algorithm>
#include <array>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <ctime>
#include <memory>
#include <optional>
#include <span>

#include "link/bootloader_link.h"
#include "link/crc16.h"
#include "link/packet_codec.h"
#include "platform/clock.h"

namespace tessaline {
namespace {

constexpr int kExchangeRounds = 200000;
constexpr int kCodecRounds = 500000;
constexpr std::uint8_t kStatusAccepted = 0x01;

// Answers each request on the very next read with "accepted", carrying the request's sequence
// number; allocates nothing.
class AnsweringTransport final : public Transport {
 public:
  bool Open() override { return true; }
  bool IsOpen() const override { return true; }
  bool Write(const std::uint8_t* bytes, std::uint32_t count) override {
    // The reply echoes the request's command byte and sequence number, so decode the request.
    decoder_ = DecoderState{};
    DecodeReceived(bytes, count, request_, decoder_);
    std::array<std::uint8_t, kShortestSequencedPacket + 1> reply{};
    std::size_t size = 0;
    reply[size++] = request_[0];
    if (IsSequenced(request_[0])) {
      for (std::size_t i = 1; i <= kSequenceBytes; ++i) reply[size++] = request_[i];
    }
    reply[size++] = kStatusAccepted;
    const std::uint16_t crc = Crc16(reply.data(), size);
    reply[size++] = static_cast<std::uint8_t>(crc & 0xFF);
    reply[size++] = static_cast<std::uint8_t>(crc >> 8);
    replyLength_ = FrameInto(std::span<const std::uint8_t>(reply.data(), size), pending_).value();
    return true;
  }
  std::uint32_t Read(std::uint8_t* buffer, std::uint32_t capacity) override {
    const std::size_t count = std::min<std::size_t>(replyLength_, capacity);
    std::copy_n(pending_.begin(), count, buffer);
    replyLength_ = 0;
    return static_cast<std::uint32_t>(count);
  }
  std::string_view GetKind() const override { return kKindIp; }

 private:
  std::array<std::uint8_t, kMaxDecodedReply> request_{};
  DecoderState decoder_;
  std::array<std::uint8_t, 2 * (kShortestSequencedPacket + 1) + 2> pending_{};
  std::size_t replyLength_ = 0;
};

// CPU seconds of the process, and wall seconds, around `body`.
template <typename Body>
void Measure(const char* name, int rounds, Body body) {
  const std::clock_t cpuStart = std::clock();
  const auto wallStart = std::chrono::steady_clock::now();
  int failures = 0;
  for (int i = 0; i < rounds; ++i) {
    if (!body(i)) ++failures;
  }
  const double cpuSeconds = static_cast<double>(std::clock() - cpuStart) / CLOCKS_PER_SEC;
  const double wallSeconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - wallStart).count();
  std::printf("%-44s %8d rounds  %8.1f ns CPU each  %8.1f ns wall each  %d failed\n", name, rounds,
              cpuSeconds * 1e9 / rounds, wallSeconds * 1e9 / rounds, failures);
}

int Run() {
  std::array<std::uint8_t, kChunkDataBytes> chunk{};
  for (std::size_t i = 0; i < chunk.size(); ++i) chunk[i] = static_cast<std::uint8_t>(i * 7);

  BootloaderLink link(platform::SystemClock());
  link.SetTransport(std::make_unique<AnsweringTransport>());
  link.OpenTransport();
  Measure("Exchange 0x06 (plain, 72-byte chunk)", kExchangeRounds, [&](int i) {
    chunk[0] = static_cast<std::uint8_t>(i);
    return link.Exchange(0x06, chunk.data(), kChunkDataBytes, 5, 1000);
  });
  Measure("Exchange 0x86 (sequenced, 72-byte chunk)", kExchangeRounds, [&](int i) {
    chunk[0] = static_cast<std::uint8_t>(i);
    return link.Exchange(0x86, chunk.data(), kChunkDataBytes, 5, 1000);
  });

  std::array<std::uint8_t, kFrameCapacity> packet{};
  std::array<std::uint8_t, kFrameCapacity> frame{};
  std::array<std::uint8_t, kMaxDecodedReply> decoded{};
  std::uint32_t counter = 0;
  std::size_t framedBytes = 0;
  Measure("Build + frame + decode 0x86 chunk request", kCodecRounds, [&](int i) {
    chunk[1] = static_cast<std::uint8_t>(i);
    const auto size = BuildRequest(0x86, chunk.data(), kChunkDataBytes, counter, packet);
    if (!size) return false;
    const auto framed = FrameInto(std::span<const std::uint8_t>(packet.data(), *size), frame);
    if (!framed) return false;
    framedBytes = *framed;
    DecoderState state;
    DecodeReceived(frame.data(), *framed, decoded, state);
    return state.complete && state.length == *size;
  });
  std::printf("framed 0x86 chunk request: %zu bytes on the wire\n", framedBytes);
  return 0;
}

}  // namespace
}  // namespace tessaline

int main() { return tessaline::Run(); }
