// Canonical serial device paths on POSIX: the resolved file name.
#include "platform/device_path.h"

#include <climits>
#include <cstdlib>
#include <memory>

namespace tessaline::platform {

std::string CanonicalDevicePath(const std::string& deviceName) {
  const std::unique_ptr<char, decltype(&std::free)> resolved(
      ::realpath(deviceName.c_str(), nullptr), &std::free);
  return resolved ? std::string(resolved.get()) : deviceName;
}

std::string DeviceForPortName(const std::string& name) { return name; }

}  // namespace tessaline::platform
