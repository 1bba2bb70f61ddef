// Command names and the application version rule.
#include "link/bootloader_commands.h"

#include <array>
#include <cstdio>
#include <string_view>

namespace tessaline {

namespace {
constexpr std::uint16_t kBootloaderVersionReplyLength = 5;   // code, major, minor, CRC
constexpr std::uint16_t kApplicationVersionReplyLength = 7;  // code, 4 version bytes, CRC
constexpr std::uint32_t kNoApplicationMarker = 0xFFFFFFFFu;
constexpr std::uint32_t kMinorMask = 0xFFFF;

// Indexed by plain code; empty for codes nobody names (unassigned, and the text command).
constexpr std::array<std::string_view, HighestCommand + 1> kCommandNames{
    "",                     // 0x00
    "bootloader version",   // BootloaderVersionCommand
    "erase application",    // EraseApplicationCommand
    "application records",  // ApplicationRecordsCommand
    "finish update",        // FinishUpdateCommand
    "erase flash data",     // EraseFlashDataCommand
    "flash data chunk",     // FlashDataChunkCommand
    "end flash data",       // EndFlashDataCommand
    "",                     // UnassignedCommand
    "application version",  // ApplicationVersionCommand
    "",                     // TextCommand
    "exit bootload",        // ExitBootloadCommand
    "factory defaults",     // FactoryDefaultsCommand
    "identity text",        // IdentityTextCommand
    "begin application",    // BeginApplicationCommand
    "end application",      // EndApplicationCommand
};
}  // namespace

std::string CommandName(std::uint8_t plainCode) {
  if (plainCode < kCommandNames.size() && !kCommandNames[plainCode].empty()) {
    return std::string(kCommandNames[plainCode]);
  }
  char text[16];
  std::snprintf(text, sizeof text, "command 0x%02X", plainCode);
  return text;
}

std::optional<std::uint16_t> DecodeBootloaderVersion(const std::uint8_t* reply,
                                                     std::uint16_t length) {
  if (length < kBootloaderVersionReplyLength) return std::nullopt;
  return static_cast<std::uint16_t>(reply[1] << 8 | reply[2]);
}

std::optional<std::uint32_t> ApplicationVersionFromWord(std::uint32_t word) {
  if (word == 0 || word == kNoApplicationMarker) return std::nullopt;
  return word;
}

std::optional<std::uint32_t> DecodeApplicationVersion(const std::uint8_t* reply,
                                                      std::uint16_t length) {
  if (length < kApplicationVersionReplyLength) return std::nullopt;
  const std::uint32_t version = std::uint32_t{reply[1]} | std::uint32_t{reply[2]} << 8 |
                                std::uint32_t{reply[3]} << 16 | std::uint32_t{reply[4]} << 24;
  return ApplicationVersionFromWord(version);
}

std::string FormatApplicationVersion(std::uint32_t version) {
  return std::to_string(version >> 16) + "." + std::to_string(version & kMinorMask);
}

std::string FormatBootloaderVersion(std::uint16_t version) {
  return std::to_string(version >> 8) + "." + std::to_string(version & 0xFF);
}

}  // namespace tessaline
