// Reading the rack window's box of units.
#include "ui/rack_units.h"

#include <cctype>
#include <map>

#include "discovery/network_discovery.h"
#include "platform/network_interfaces.h"
#include "strings/ui_strings.h"

namespace tessaline {
namespace {

std::string_view Trimmed(std::string_view text) {
  while (!text.empty() && std::isspace(static_cast<unsigned char>(text.front()))) {
    text.remove_prefix(1);
  }
  while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back()))) {
    text.remove_suffix(1);
  }
  return text;
}

bool AllDigits(std::string_view text) {
  if (text.empty()) return false;
  for (const char c : text) {
    if (c < '0' || c > '9') return false;
  }
  return true;
}

// "COM7" in any case, optionally with the device prefix "\\.\", or a device path.
bool NamesSerialPort(std::string_view text) {
  if (text.starts_with("/dev/")) return text.size() > 5;
  if (text.starts_with("\\\\.\\")) text.remove_prefix(4);
  if (text.size() < 4) return false;
  const std::string head{text.substr(0, 3)};
  return (head == "COM" || head == "com" || head == "Com") && AllDigits(text.substr(3));
}

std::string Filled(StringId id, const std::string& value) {
  std::string text = UiString(id);
  const auto at = text.find("%s");
  if (at != std::string::npos) text.replace(at, 2, value);
  return text;
}

}  // namespace

std::vector<RackUnitLine> ReadRackUnits(std::string_view text) {
  std::vector<RackUnitLine> lines;
  std::map<std::string, std::size_t> seen;  // canonical unit -> its line number
  std::size_t number = 0;
  std::optional<std::optional<InterfaceTable>> interfaces;  // read once, at the first address
  while (!text.empty()) {
    const auto end = text.find('\n');
    const std::string_view raw = text.substr(0, end);
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    ++number;
    const std::string_view trimmed = Trimmed(raw);
    if (trimmed.empty()) continue;
    RackUnitLine line;
    line.text = std::string(trimmed);
    if (const auto address = ParseIpv4(trimmed)) {
      // The main window's rule: no host, the broadcast address, this computer and the
      // broadcast address of one of its networks are not units.
      if (!interfaces) interfaces = platform::ReadLocalInterfaces();
      const bool usable =
          *address != 0 && *address != 0xFFFFFFFFu && IsUsableUnitAddress(*address, *interfaces);
      if (usable) {
        line.unit = UnitAddress::Network(*address);
      } else {
        line.problem = UiString(IDS_RACK_LINE_REFUSED);
      }
    } else if (NamesSerialPort(trimmed)) {
      line.unit = UnitAddress::Serial(line.text);
    } else {
      line.problem = UiString(IDS_RACK_LINE_NEITHER);
    }
    if (line.unit) {
      const auto [at, fresh] = seen.emplace(line.unit->Canonical(), number);
      if (!fresh) {
        line.problem = Filled(IDS_RACK_LINE_TWICE, std::to_string(at->second));
        line.unit.reset();
      }
    }
    lines.push_back(std::move(line));
  }
  return lines;
}

}  // namespace tessaline
