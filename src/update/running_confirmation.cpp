// Asking a freshly updated unit's application, again and again, whether it runs.
#include "update/running_confirmation.h"

#include <chrono>
#include <thread>

#include "discovery/text_protocol.h"
#include "discovery/version_worker.h"

namespace tessaline {

namespace {
// Between two searches: the unit's reset takes seconds, so asking faster only adds traffic.
constexpr std::uint32_t kRetryPauseMs = 500;
constexpr std::uint32_t kPauseSliceMs = 50;

using SteadyClock = std::chrono::steady_clock;

std::uint64_t MsSince(SteadyClock::time_point start) {
  return static_cast<std::uint64_t>(
      std::chrono::duration_cast<std::chrono::milliseconds>(SteadyClock::now() - start).count());
}
}  // namespace

RunningCheck ConfirmRunning(const UnitAddress& unit, std::uint32_t parserPort,
                            std::uint32_t limitSeconds,
                            std::stop_token stop) {
  RunningCheck check;
  check.limitSeconds = limitSeconds;
  const std::uint64_t limitMs = std::uint64_t{limitSeconds} * 1000;
  const std::uint32_t timeoutMs =
      unit.IsSerial() ? kVersionSerialTextTimeoutMs : kVersionNetworkTextTimeoutMs;
  const auto start = SteadyClock::now();
  for (;;) {
    if (stop.stop_requested()) {
      check.interrupted = true;
      break;
    }
    // The same search the query command makes; it only reads the transport it is given.
    const TextSearchResult found = TextPortSearch(
        unit, parserPort, timeoutMs, [&](Transport& /*text*/, const std::string& reply) {
          check.bootloadState = BootloadStateLetter(reply);
        });
    if (found.answered) {
      check.running = true;
      break;
    }
    check.socketFailure = found.socketFailure;
    if (check.socketFailure) break;  // asking again would fail the same way
    if (MsSince(start) >= limitMs) break;
    for (std::uint32_t waited = 0; waited < kRetryPauseMs && !stop.stop_requested();
         waited += kPauseSliceMs) {
      std::this_thread::sleep_for(std::chrono::milliseconds(kPauseSliceMs));
    }
  }
  check.elapsedMs = MsSince(start);
  return check;
}

}  // namespace tessaline
