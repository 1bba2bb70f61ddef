// Who the unit's bootloader says it is, and whether this updater may program it.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "link/bootloader_link.h"

namespace tessaline {

struct UnitIdentity {
  std::string text;                     // the identity text as the unit sent it (cut)
  std::string model;                    // "Tessaline"
  std::string mcuFamily;                // "STM32" or "GD32"
  std::string dsp;                      // "ADAU1452" or "ADAU1462"
  std::uint16_t bootloaderVersion = 0;  // major << 8 | minor
  bool SequencedCommands = false;       // the bootloader takes the sequenced command forms
};

enum IdentityResult : int { IdentityOk = 0, IdentityNoResponse = 1, IdentityWrong = 2 };

// Only the part before the comma is compared: any MCU family passes here, the variant check
// of the update job decides whether the package can serve it.
inline constexpr std::string_view ExpectedIdentity = "Tessaline,STM32";
inline constexpr std::uint16_t kMaxBootloaderVersion = 0x0400;  // 4.0; newer ones are refused

// Longest identity text and fields kept; longer ones are cut (they are the unit's display
// texts and never longer on real units).
inline constexpr std::size_t kIdentityTextLimit = 127;
inline constexpr std::size_t kModelLimit = 63;
inline constexpr std::size_t kMcuFamilyLimit = 31;
inline constexpr std::size_t kDspLimit = 31;

// Splits "model,MCU family,DSP": without a first comma all fields stay empty, without a second
// comma MCU family and DSP stay empty; the DSP is everything after the second comma.
void SplitIdentityText(std::string_view text, UnitIdentity& identity);

// Judges an identity reply in short form (code, data..., CRC; `length` counts the CRC).
IdentityResult EvaluateIdentityReply(const std::uint8_t* reply, std::uint16_t length,
                                     UnitIdentity& identity);

// Asks the bootloader (plain 0x01, which also restarts the link's sequence numbers).
IdentityResult CheckBootloaderIdentity(BootloaderLink& link, UnitIdentity& identity);

}  // namespace tessaline
