// The deterministic sample firmware package: its application and flash data images.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tessaline::packagegen {

// Sizes the sample's images must have; the generator refuses to write anything else.
inline constexpr std::size_t kSampleHexBytes = 702237;
inline constexpr std::uint32_t kSampleHexRecords = 15613;
inline constexpr std::size_t kSampleFlashDataBytes = 656911;
inline constexpr std::size_t kSampleBuildNotesBytes = 239;

// Application code and data occupy [kApplicationBegin, kApplicationEnd].
inline constexpr std::uint32_t kApplicationBegin = 0x08020000;
inline constexpr std::uint32_t kApplicationEnd = 0x0805CF1F;
inline constexpr std::uint32_t kApplicationEntry = 0x0803373D;  // Thumb: odd address
// The application's version word lives in the last word of the flash (minor low, major high).
inline constexpr std::uint32_t kVersionWordAddress = 0x0807FFFC;
inline constexpr std::uint16_t kVersionMajor = 1;
inline constexpr std::uint16_t kVersionMinor = 2;

// The Intel HEX text of the application image, CR LF lines.
std::string SampleApplicationHex();
// The raw flash data image, beginning with its four-byte magic number.
std::vector<std::uint8_t> SampleFlashData();

}  // namespace tessaline::packagegen
