// Answers "Discovery: Who is out there ?" on UDP 30303, unicast to the unit or broadcast on its
// subnet.
#pragma once

#include <cstdint>
#include <vector>

#include "posix_io.h"
#include "unit_core.h"

namespace tessaline::sim {

class DiscoveryResponder {
 public:
  DiscoveryResponder(UnitCore& core, const StopSignal& stop) : core_(core), stop_(stop) {}
  bool Open(std::string* error);
  void Run();

 private:
  bool AddressedToUnit(in_addr destination) const;
  void Answer(int fd, bool checkDestination);

  UnitCore& core_;
  const StopSignal& stop_;
  in_addr address_{};
  // Broadcasts arrive only at a socket bound to the wildcard address; several units share it
  // through SO_REUSEADDR and each checks the destination. Unicasts go to the unit's own socket,
  // which also sends every answer so that it leaves from ADDR:30303.
  UniqueFd wildcard_;
  UniqueFd own_;
  std::vector<std::uint32_t> broadcasts_;  // network byte order
};

}  // namespace tessaline::sim
