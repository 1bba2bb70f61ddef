// Canonical serial device names on Windows: the port name in upper case.
#include "platform/device_path.h"

#include <algorithm>

namespace tessaline::platform {

std::string CanonicalDevicePath(const std::string& deviceName) {
  constexpr std::string_view kDevicePrefix = R"(\\.\)";
  std::string name =
      deviceName.starts_with(kDevicePrefix) ? deviceName.substr(kDevicePrefix.size()) : deviceName;
  std::transform(name.begin(), name.end(), name.begin(),
                 [](char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c; });
  return name;
}

}  // namespace tessaline::platform
