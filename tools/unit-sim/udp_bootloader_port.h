// The bootloader's UDP port: one frame per datagram, answered to the sender's address and port.
#pragma once

#include "posix_io.h"
#include "unit_core.h"

namespace tessaline::sim {

class UdpBootloaderPort {
 public:
  UdpBootloaderPort(UnitCore& core, const StopSignal& stop, in_addr address)
      : core_(core), stop_(stop), address_(address) {}
  bool Open(std::string* error);
  void Run();
  // Called after the stop signal is raised: Run returns at once.
  void WakeForStop();

 private:
  UnitCore& core_;
  const StopSignal& stop_;
  in_addr address_;
  UniqueFd socket_;
};

}  // namespace tessaline::sim
