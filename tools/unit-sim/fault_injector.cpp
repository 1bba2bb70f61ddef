// Seeded fault decisions for the bootloader protocol.
#include "fault_injector.h"

#include <algorithm>

namespace tessaline::sim {

FaultInjector::FaultInjector(const FaultConfig& config) : config_(config), state_(config.seed) {}

// SplitMix64: small, and the same sequence on every platform and standard library.
std::uint64_t FaultInjector::Next() {
  std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ULL);
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
  return z ^ (z >> 31);
}

bool FaultInjector::Chance(double probability) {
  const double draw = static_cast<double>(Next() >> 11) * 0x1.0p-53;  // uniform in [0, 1)
  return draw < probability;
}

RequestFate FaultInjector::Draw() {
  RequestFate fate;
  fate.drop = Chance(config_.dropRequests);
  fate.corrupt = Chance(config_.corruptReplies);
  fate.duplicate = Chance(config_.duplicateReplies);
  fate.delay = Chance(config_.delayReplies);
  fate.stale = Chance(config_.staleSequence);
  fate.pick = Next();
  return fate;
}

bool FaultInjector::DropThisArrival(std::uint8_t command) {
  const std::uint8_t code = command & 0x7F;
  const std::uint32_t arrived = ++arrivedPerCode_[code];
  return std::ranges::any_of(config_.dropArrivals, [&](const CommandArrival& drop) {
    return (drop.command & 0x7F) == code && drop.nth == arrived;
  });
}

bool FaultInjector::RefuseThis(std::uint8_t plainCode) {
  const std::uint32_t seen = ++seenPerCode_[plainCode & 0x7F];
  return config_.refuseCommand == (plainCode & 0x7F) && seen == config_.refuseNth;
}

bool FaultInjector::SilentNow() {
  ++requestsSeen_;
  return config_.silentAfter != 0 && requestsSeen_ > config_.silentAfter;
}

}  // namespace tessaline::sim
