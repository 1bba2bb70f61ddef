// TextQuery: one text command and its "<...>" reply, the same over every kind of transport.
#include "transport/transport.h"

#include <algorithm>
#include <array>

namespace tessaline {

namespace {
constexpr std::size_t kTextChunk = 128;
// Pause between reads while discarding input that was waiting before the command.
constexpr std::uint32_t kDrainPauseMs = 200;
// Gives the unit a moment to start answering before the first read.
constexpr std::uint32_t kFirstReadDelayMs = 10;
// The network path adds the stack's and the unit's task latency to every answer.
constexpr std::uint32_t kNetworkTimeoutFactor = 5;
constexpr std::array<std::uint8_t, 2> kLineEnd{'\r', '\n'};
}  // namespace

bool Transport::TextQuery(std::string_view command, std::string& reply, std::uint32_t replyLimit,
                          std::uint32_t timeoutMs, platform::Clock& clock) {
  std::array<std::uint8_t, kTextChunk> scratch{};
  reply.clear();
  bool started = false;

  // A peer that never falls silent (a chattering device, noise at the wrong rate, a streaming
  // service) would hold the drain for ever: it gets no longer than the query's own time-out.
  const std::uint32_t drainStart = clock.Now();
  while (Read(scratch.data(), kTextChunk) != 0 &&
         platform::TicksBetween(drainStart, clock.Now()) < timeoutMs) {
    clock.Sleep(kDrainPauseMs);
  }
  if (!IsOpen()) return false;

  if (!Write(reinterpret_cast<const std::uint8_t*>(command.data()),
             static_cast<std::uint32_t>(command.size()))) {
    return false;
  }
  if (GetKind() != kKindCom) {
    Write(kLineEnd.data(), kLineEnd.size());
    timeoutMs *= kNetworkTimeoutFactor;
  }

  // A fixed deadline from here: slow reads must not eat into the unit's time to answer.
  const std::uint32_t start = clock.Now();
  clock.Sleep(kFirstReadDelayMs);
  std::uint32_t limitLeft = replyLimit;
  do {
    const auto want = static_cast<std::uint32_t>(std::min<std::size_t>(limitLeft, kTextChunk));
    const std::uint32_t count = want == 0 ? 0 : std::min(Read(scratch.data(), want), want);
    // A peer that hung up will send nothing more.
    if (count == 0 && !IsOpen()) return false;
    for (std::uint32_t i = 0; i < count && limitLeft > 0; ++i) {
      const char byte = static_cast<char>(scratch[i]);
      if (!started) {
        if (byte != '<') continue;
        started = true;
      }
      reply.push_back(byte);
      --limitLeft;
      if (byte == '>') return true;
    }
  } while (limitLeft > 0 && platform::TicksBetween(start, clock.Now()) < timeoutMs);
  return false;
}

}  // namespace tessaline
