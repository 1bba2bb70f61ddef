// Simulated units started for a test, and the check that one ends up holding the built-in package.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/module_resources.h"
#include "platform/sockets.h"
#include "unit-sim/simulated_unit.h"

namespace tessaline::testing {

// A unit that is already listening; a start that fails fails the test.
inline std::unique_ptr<sim::SimulatedUnit> StartUnit(sim::UnitConfig config) {
  auto unit = std::make_unique<sim::SimulatedUnit>(std::move(config));
  std::string error;
  EXPECT_TRUE(unit->Start(&error)) << error;
  return unit;
}

inline sim::UnitConfig UdpUnit(const std::string& address) {
  sim::UnitConfig config;
  config.udpAddress = address;
  return config;
}

// The updater's form (network byte order) of a unit's dotted address, as tests name units.
inline std::uint32_t UnitIp(const std::string& dotted) {
  unsigned a = 0, b = 0, c = 0, d = 0;
  std::sscanf(dotted.c_str(), "%u.%u.%u.%u", &a, &b, &c, &d);
  return platform::Ipv4FromOctets(static_cast<std::uint8_t>(a), static_cast<std::uint8_t>(b),
                                  static_cast<std::uint8_t>(c), static_cast<std::uint8_t>(d));
}

inline std::vector<std::uint8_t> ResourceBytes(std::string_view type, std::string_view name) {
  const auto bytes = platform::FindModuleResource(type, name);
  if (!bytes) return {};
  return std::vector<std::uint8_t>(bytes->begin(), bytes->end());
}

inline std::string ResourceText(std::string_view type, std::string_view name) {
  const auto bytes = platform::FindModuleResource(type, name);
  if (!bytes) return {};
  return std::string(reinterpret_cast<const char*>(bytes->data()), bytes->size());
}

// The first `records` lines of the package's application image, then the records that place its
// version word (so a read-back finds the package's version), then the end-of-file record.
inline std::string ApplicationHead(std::size_t records) {
  constexpr std::uint32_t kVersionWordAddress = 0x0807FFFC;
  const std::string full = ResourceText("HEX", "APPLICATION_STM32_ADAU1452");
  std::string head;
  std::string versionRecords;
  std::string segmentRecord;  // the last extended linear address record seen
  std::uint32_t segment = 0;
  std::size_t at = 0;
  for (std::size_t line = 0; at < full.size(); ++line) {
    std::size_t end = full.find('\n', at);
    if (end == std::string::npos) end = full.size() - 1;
    const std::string text = full.substr(at, end - at + 1);
    at = end + 1;
    if (line < records) head += text;
    unsigned count = 0, address = 0, type = 0, upper = 0;
    if (std::sscanf(text.c_str(), ":%2x%4x%2x", &count, &address, &type) != 3) continue;
    if (type == 0x04 && std::sscanf(text.c_str() + 9, "%4x", &upper) == 1) {
      segment = upper << 16;
      segmentRecord = text;
    } else if (type == 0x00 && segment + address <= kVersionWordAddress &&
               kVersionWordAddress < segment + address + count) {
      versionRecords += segmentRecord + text;
    }
  }
  return head + versionRecords + ":00000001FF\n";
}

// The unit holds the package's application image at its base and its flash data, and was told
// the update is finished.
inline void ExpectHoldsThePackage(const sim::SimulatedUnit& unit, const std::string& label = "") {
  const auto expected = sim::DecodeIntelHex(ResourceText("HEX", "APPLICATION_STM32_ADAU1452"));
  ASSERT_TRUE(expected.has_value());
  EXPECT_EQ(unit.ApplicationBase(), expected->base) << label;
  EXPECT_TRUE(unit.ApplicationMemory() == expected->bytes) << label << ": application differs";
  EXPECT_TRUE(unit.FlashData() == ResourceBytes("BIN", "FLASH_STM32_ADAU1452"))
      << label << ": flash data differs";
  EXPECT_TRUE(unit.UpdateFinished()) << label;
}

}  // namespace tessaline::testing
