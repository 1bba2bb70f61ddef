// A rack of simulated units: the per-unit addresses, links, seeds and log names.
#include "unit_rack.h"

#include <arpa/inet.h>

#include "posix_io.h"

namespace tessaline::sim {

namespace {

// ADDR or ADDR:PORT moved `step` addresses up; the port stays.
std::optional<std::string> StepAddress(const std::string& text, std::uint32_t step) {
  const auto colon = text.find(':');
  const auto address = ParseIpv4(text.substr(0, colon));
  if (!address) return std::nullopt;
  const std::uint32_t host = ntohl(address->s_addr);
  if ((host & 0xFFu) + step > 0xFFu) return std::nullopt;
  in_addr moved{};
  moved.s_addr = htonl(host + step);
  return FormatIpv4(moved) + (colon == std::string::npos ? "" : text.substr(colon));
}

std::string WithIndex(const std::string& path, std::uint32_t index) {
  const auto slash = path.find_last_of('/');
  const auto dot = path.find_last_of('.');
  const bool hasExtension =
      dot != std::string::npos && dot > 0 && (slash == std::string::npos || dot > slash + 1);
  const std::string suffix = "-" + std::to_string(index);
  return hasExtension ? path.substr(0, dot) + suffix + path.substr(dot) : path + suffix;
}

}  // namespace

std::optional<std::vector<UnitConfig>> RackConfigs(const UnitConfig& first, std::uint32_t count,
                                                   std::string* error) {
  std::vector<UnitConfig> configs;
  for (std::uint32_t k = 0; k < count; ++k) {
    UnitConfig config = first;
    config.faults.seed = first.faults.seed + k;
    for (std::string* address : {&config.udpAddress, &config.tcpText, &config.discoveryAddress}) {
      if (address->empty()) continue;
      const auto moved = StepAddress(*address, k);
      if (!moved) {
        *error = "cannot give unit " + std::to_string(k + 1) + " an address after " + *address;
        return std::nullopt;
      }
      *address = *moved;
    }
    if (count > 1 && !config.serialLink.empty())
      config.serialLink = WithIndex(first.serialLink, k + 1);
    configs.push_back(std::move(config));
  }
  return configs;
}

std::string RackLogPath(const std::string& path, std::uint32_t index, std::uint32_t count) {
  return count <= 1 ? path : WithIndex(path, index);
}

}  // namespace tessaline::sim
