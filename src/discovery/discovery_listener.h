// What discovery reports: each unit that answered, with its flags, or why the search could not run.
#pragma once

#include <cstdint>

#include "transport/socket_error.h"
#include "transport/unit_address.h"

namespace tessaline {

// Flags of a network unit found.
inline constexpr std::uint16_t kUnitInBootload = 0x0001;
inline constexpr std::uint16_t kUnitOnOtherSubnet = 0x4000;
inline constexpr std::uint16_t kUnitLinkLocal = 0x8000;

// Called on the discovery thread, once per answer (a unit answering twice is reported twice).
class DiscoveryListener {
 public:
  virtual ~DiscoveryListener() = default;
  // `addressNetworkOrder` answered the broadcast; `flags` of kUnitInBootload, ...
  virtual void NetworkUnitFound(std::uint32_t addressNetworkOrder, std::uint16_t flags) = 0;
  // The serial unit `unit` (its device, not a place in the port table) answered.
  virtual void SerialUnitFound(const UnitAddress& unit, bool inBootload) = 0;
  // The network search's socket could not be set up; the search has ended.
  virtual void NetworkSearchFailed(const SocketFailure& failure) = 0;
};

}  // namespace tessaline
