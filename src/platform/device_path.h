// The one spelling of a serial device name, so two spellings of one port compare equal.
#pragma once

#include <string>

namespace tessaline::platform {

// POSIX: the path with links and "." / ".." resolved (the name itself when it does not exist).
// Windows: the port name without "\\.\" in upper case ("com3" and "\\.\COM3" are COM3).
std::string CanonicalDevicePath(const std::string& deviceName);

}  // namespace tessaline::platform
