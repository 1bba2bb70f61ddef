// Seeded fault decisions for the bootloader protocol: loss, corruption, duplicates, delays,
// refusals.
#pragma once

#include <array>
#include <cstdint>

#include "simulated_unit.h"

namespace tessaline::sim {

// What happens to one request and its reply.
struct RequestFate {
  bool drop = false;
  bool corrupt = false;
  bool duplicate = false;
  bool delay = false;
  bool stale = false;
  std::uint64_t pick = 0;  // which byte to corrupt and how
};

class FaultInjector {
 public:
  explicit FaultInjector(const FaultConfig& config);

  // Draws the same amount for every request, so a flag's pattern does not depend on the others.
  RequestFate Draw();
  // Counts an arriving request packet with this command byte (either form); true when it is one
  // to lose.
  bool DropThisArrival(std::uint8_t command);
  // Counts a fresh request of this plain code; true when it is the one to refuse.
  bool RefuseThis(std::uint8_t plainCode);
  // Counts a request that reached the unit; true once the unit has fallen silent.
  bool SilentNow();

  const FaultConfig& Config() const { return config_; }
  FaultCounts& Counts() { return counts_; }
  const FaultCounts& Counts() const { return counts_; }

 private:
  std::uint64_t Next();
  bool Chance(double probability);

  FaultConfig config_;
  std::uint64_t state_;
  std::array<std::uint32_t, 128> arrivedPerCode_{};
  std::array<std::uint32_t, 128> seenPerCode_{};
  std::uint32_t requestsSeen_ = 0;
  FaultCounts counts_;
};

}  // namespace tessaline::sim
