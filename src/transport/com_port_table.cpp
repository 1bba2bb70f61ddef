// The serial port scan and the process-wide table it fills.
#include "transport/com_port_table.h"

#include "platform/serial_adapters.h"
#include "platform/serial_port.h"

namespace tessaline {

namespace {
constexpr std::string_view kDevicePrefix = R"(\\.\)";
}  // namespace

void ComPortTableType::ScanComPorts() { ScanComPorts(platform::SerialPortCandidates()); }

void ComPortTableType::ScanComPorts(const std::vector<std::string>& candidates) {
  std::vector<std::string> found;
  for (const std::string& name : candidates) {
    if (found.size() == kComPortTableSize) break;
    // A port another program holds cannot be opened exclusively and is left out.
    platform::SerialPort probe;
    if (probe.Open(name)) found.push_back(name);
  }
  std::lock_guard lock(mutex_);
  entries_ = std::move(found);
}

std::size_t ComPortTableType::Count() const {
  std::lock_guard lock(mutex_);
  return entries_.size();
}

std::string ComPortTableType::Entry(std::size_t index) const {
  std::lock_guard lock(mutex_);
  return index < entries_.size() ? entries_[index] : std::string();
}

std::vector<std::string> ComPortTableType::Entries() const {
  std::lock_guard lock(mutex_);
  return entries_;
}

ComPortTableType& ComPortTable() {
  static ComPortTableType table;
  return table;
}

std::string PortLabel(const std::string& deviceName) {
  if (deviceName.starts_with(kDevicePrefix)) return deviceName.substr(kDevicePrefix.size());
  return deviceName;
}

}  // namespace tessaline

namespace tessaline {

std::string StablePortLabel(const std::string& deviceName) {
  const std::string stable = platform::StableSerialName(deviceName);
  return stable.empty() ? PortLabel(deviceName) : stable;
}

}  // namespace tessaline
