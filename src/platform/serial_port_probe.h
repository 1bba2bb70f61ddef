// Why a serial port cannot be opened, and which programs hold it, for diagnosis.
#pragma once

#include <string>
#include <vector>

namespace tessaline::platform {

enum class SerialPortState {
  Usable,   // opened exclusively (and closed again)
  InUse,    // another program (or another open in this one) holds it
  Denied,   // the system refused this user
  Absent,   // no such device, or no hardware behind the name
  Failed,   // any other failure; `detail` says which
};

struct SerialPortProbe {
  std::string device;
  SerialPortState state = SerialPortState::Failed;
  std::string detail;                // the system's words for a failure ("Permission denied")
  std::vector<std::string> holders;  // "socat (pid 812)", where the system tells (Linux)
  std::string group;                 // Denied on Linux: the group that may open the device
};

// Tries `device` the way the updater opens it and explains a failure.
SerialPortProbe ProbeSerialPort(const std::string& device);

// The system's side of ProbeSerialPort, one per platform: why `probe.device`, which did not open,
// fails, filled into `probe`.
void ExplainOpenFailure(SerialPortProbe& probe);

}  // namespace tessaline::platform
