// USB serial adapters on Linux: sysfs's tty devices and the /dev/serial links udev makes.
#include "platform/serial_adapters.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <tuple>

namespace tessaline::platform {

namespace fs = std::filesystem;

namespace {

// The tty families of the USB serial drivers (usb-serial's ttyUSB, cdc-acm's ttyACM).
constexpr std::string_view kUsbFamilies[] = {"ttyUSB", "ttyACM"};

fs::path Base(const std::string& root) { return root.empty() ? fs::path("/") : fs::path(root); }

// The system path of a file under the fake or real root: "<root>/dev/x" is "/dev/x".
std::string SystemPath(const fs::path& path, const fs::path& base) {
  return "/" + path.lexically_relative(base).generic_string();
}

// tty name ("ttyUSB0") to its /dev/serial link; by-id wins over by-path, since it names the
// adapter itself rather than the socket it is plugged into.
std::map<std::string, std::string> StableLinks(const fs::path& base) {
  std::map<std::string, std::string> links;
  for (const char* folder : {"dev/serial/by-path", "dev/serial/by-id"}) {
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(base / folder, error)) {
      std::error_code linkError;
      const fs::path target = fs::read_symlink(entry.path(), linkError);
      if (!linkError) links[target.filename().string()] = SystemPath(entry.path(), base);
    }
  }
  return links;
}

std::optional<std::uint32_t> ReadMilliseconds(const fs::path& file) {
  std::ifstream in(file);
  long value = -1;
  if (!(in >> value) || value < 0) return std::nullopt;
  return static_cast<std::uint32_t>(value);
}

}  // namespace

std::vector<SerialAdapter> ReadSerialAdapters(const std::string& root) {
  const fs::path base = Base(root);
  const auto links = StableLinks(base);
  std::vector<std::tuple<std::string_view, unsigned long, SerialAdapter>> found;
  std::error_code error;
  for (const auto& entry : fs::directory_iterator(base / "sys/class/tty", error)) {
    const std::string name = entry.path().filename().string();
    const auto family = std::find_if(std::begin(kUsbFamilies), std::end(kUsbFamilies),
                                     [&](std::string_view f) { return name.starts_with(f); });
    if (family == std::end(kUsbFamilies)) continue;
    const fs::path device = entry.path() / "device";
    SerialAdapter adapter;
    adapter.device = "/dev/" + name;
    if (const auto link = links.find(name); link != links.end()) adapter.stableName = link->second;
    std::error_code driverError;
    adapter.driver = fs::read_symlink(device / "driver", driverError).filename().string();
    adapter.latencyTimerMs = ReadMilliseconds(device / "latency_timer");
    if (adapter.latencyTimerMs) {
      adapter.latencySetting = "/sys/class/tty/" + name + "/device/latency_timer";
    }
    const unsigned long number = std::strtoul(name.c_str() + family->size(), nullptr, 10);
    found.emplace_back(*family, number, std::move(adapter));
  }
  std::sort(found.begin(), found.end(), [](const auto& a, const auto& b) {
    return std::tie(std::get<0>(a), std::get<1>(a)) < std::tie(std::get<0>(b), std::get<1>(b));
  });
  std::vector<SerialAdapter> adapters;
  for (auto& row : found) adapters.push_back(std::move(std::get<2>(row)));
  return adapters;
}

std::string LatencyRemedy(const SerialAdapter& adapter) {
  return "Run: echo 1 | sudo tee " + adapter.latencySetting +
         " (until the adapter is replugged; a udev rule makes it last)";
}

}  // namespace tessaline::platform
