// Command names and the application version rule.
#include "link/bootloader_commands.h"

#include <cstdio>
#include <string_view>
#include <utility>

namespace tessaline {

namespace {
constexpr std::uint16_t kBootloaderVersionReplyLength = 5;   // code, major, minor, CRC
constexpr std::uint16_t kApplicationVersionReplyLength = 7;  // code, 4 version bytes, CRC
constexpr std::uint32_t kNoApplicationMarker = 0xFFFFFFFFu;
constexpr std::uint32_t kMinorMask = 0xFFFF;

// Codes nobody names (unassigned, and the text command) are absent.
constexpr std::pair<std::uint8_t, std::string_view> kCommandNames[] = {
    {BootloaderVersionCommand, "bootloader version"},
    {EraseApplicationCommand, "erase application"},
    {ApplicationRecordsCommand, "application records"},
    {FinishUpdateCommand, "finish update"},
    {EraseFlashDataCommand, "erase flash data"},
    {FlashDataChunkCommand, "flash data chunk"},
    {EndFlashDataCommand, "end flash data"},
    {ApplicationVersionCommand, "application version"},
    {ExitBootloadCommand, "exit bootload"},
    {FactoryDefaultsCommand, "factory defaults"},
    {IdentityTextCommand, "identity text"},
    {BeginApplicationCommand, "begin application"},
    {EndApplicationCommand, "end application"},
};
}  // namespace

std::string CommandName(std::uint8_t plainCode) {
  for (const auto& [code, name] : kCommandNames) {
    if (code == plainCode) return std::string(name);
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
