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
