// The one spelling of a serial device name, so two spellings of one port compare equal, and the
// device behind a name the user gives.
#pragma once

#include <string>

namespace tessaline::platform {

// POSIX: the path with links and "." / ".." resolved (the name itself when it does not exist).
// Windows: the port name without "\\.\" in upper case ("com3" and "\\.\COM3" are COM3).
std::string CanonicalDevicePath(const std::string& deviceName);

// The device that opens a port named as the user sees it. Windows: a friendly name ending in
// "(COM3)", or "COM3", is "\\.\COM3". POSIX: the name itself (a /dev/serial link opens as is).
std::string DeviceForPortName(const std::string& name);

}  // namespace tessaline::platform
