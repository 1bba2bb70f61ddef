// Stable serial names: the adapter list looked up by the device's one spelling.
#include "platform/serial_adapters.h"

#include "platform/device_path.h"

namespace tessaline::platform {

std::string StableSerialName(const std::string& device, const std::string& root) {
  const std::string wanted = CanonicalDevicePath(device);
  for (const auto& adapter : ReadSerialAdapters(root)) {
    if (CanonicalDevicePath(adapter.device) == wanted) return adapter.stableName;
  }
  return {};
}

}  // namespace tessaline::platform
