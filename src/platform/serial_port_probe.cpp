// ProbeSerialPort: the updater's own open first; only a port that fails it is asked why.
#include "platform/serial_port_probe.h"

#include "platform/serial_port.h"

namespace tessaline::platform {

SerialPortProbe ProbeSerialPort(const std::string& device) {
  SerialPortProbe probe;
  probe.device = device;
  {
    SerialPort port;
    if (port.Open(device)) {
      probe.state = SerialPortState::Usable;
      return probe;
    }
  }
  ExplainOpenFailure(probe);
  return probe;
}

}  // namespace tessaline::platform
