// USB serial adapters as the system describes them: stable name, driver and latency timer.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace tessaline::platform {

struct SerialAdapter {
  std::string device;  // what opens it: "/dev/ttyUSB0", "\\.\COM3"
  // A name that survives replugging: "/dev/serial/by-id/usb-FTDI_…" (by-path when the adapter
  // has no serial number) on Linux, the friendly name with its COM number on Windows ("USB Serial
  // Port (COM3)"). Empty when the system gives none.
  std::string stableName;
  std::string driver;  // "ftdi_sio", "cp210x", "cdc_acm"; the driver's service on Windows
  // How long the driver holds received bytes before handing them over, where the system shows it
  // (sysfs on Linux, the driver's "LatencyTimer" value on Windows).
  std::optional<std::uint32_t> latencyTimerMs;
  // Where the latency timer is set: the sysfs file on Linux, the device's entry on Windows.
  std::string latencySetting;
};

// Every USB serial adapter present. `root` stands for the system's own facts so tests can lay out
// a fake tree: on Linux a folder holding sys/class/tty and dev/serial ("/" by default); on Windows
// a registry key under HKEY_LOCAL_MACHINE holding SYSTEM\CurrentControlSet\Enum (empty: the
// machine's own). An unreadable tree gives an empty list.
std::vector<SerialAdapter> ReadSerialAdapters(const std::string& root = {});

// One line telling the user how to bring the adapter's latency timer down to 1 ms: the exact
// command on Linux, the Device Manager path on Windows.
std::string LatencyRemedy(const SerialAdapter& adapter);

// The stable name of `device` (any spelling of it), or empty when it has none.
std::string StableSerialName(const std::string& device, const std::string& root = {});

}  // namespace tessaline::platform
