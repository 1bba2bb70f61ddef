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

std::string DeviceForPortName(const std::string& name) {
  // "USB Serial Port (COM3)": the COM name between the last parentheses.
  std::string port = name;
  const auto open = name.rfind("(COM");
  if (open != std::string::npos && name.ends_with(")")) {
    port = name.substr(open + 1, name.size() - open - 2);
  }
  const bool comName = port.size() > 3 && port.starts_with("COM") &&
                       port.find_first_not_of("0123456789", 3) == std::string::npos;
  return comName ? "\\\\.\\" + port : name;
}

}  // namespace tessaline::platform
