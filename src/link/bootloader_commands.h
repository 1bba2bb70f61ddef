// The one table of bootloader command codes and the application version they report.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace tessaline {

// Plain codes; the sequenced form adds kSequencedBit (packet_codec.h).
inline constexpr std::uint8_t BootloaderVersionCommand = 0x01;  // always plain; restarts sequences
inline constexpr std::uint8_t EraseApplicationCommand = 0x02;
inline constexpr std::uint8_t ApplicationRecordsCommand = 0x03;  // a batch of raw HEX records
inline constexpr std::uint8_t FinishUpdateCommand = 0x04;        // outcome ignored
inline constexpr std::uint8_t EraseFlashDataCommand = 0x05;
inline constexpr std::uint8_t FlashDataChunkCommand = 0x06;  // 72-byte addressed chunk
inline constexpr std::uint8_t EndFlashDataCommand = 0x07;
inline constexpr std::uint8_t UnassignedCommand = 0x08;  // refused by the link
inline constexpr std::uint8_t ApplicationVersionCommand = 0x09;
inline constexpr std::uint8_t TextCommand = 0x0A;          // accepted, sent by nobody
inline constexpr std::uint8_t ExitBootloadCommand = 0x0B;  // outcome ignored
inline constexpr std::uint8_t FactoryDefaultsCommand = 0x0C;
inline constexpr std::uint8_t IdentityTextCommand = 0x0D;  // serial discovery probe
inline constexpr std::uint8_t BeginApplicationCommand = 0x0E;
inline constexpr std::uint8_t EndApplicationCommand = 0x0F;
inline constexpr std::uint8_t HighestCommand = 0x0F;

// "erase application" for reasons and receipts; "command 0xNN" for codes not in the table.
std::string CommandName(std::uint8_t plainCode);

// The bootloader version of a 0x01 reply, (major << 8) | minor; none when the reply is shorter
// than code, major, minor and CRC.
std::optional<std::uint16_t> DecodeBootloaderVersion(const std::uint8_t* reply,
                                                     std::uint16_t length);

// A reported application version word (major << 16 | minor); none when it says the unit has no
// application (0 or all ones).
std::optional<std::uint32_t> ApplicationVersionFromWord(std::uint32_t word);
// The application version of a short-form 0x09 reply (code, four version bytes little-endian,
// CRC), by ApplicationVersionFromWord; none too when the reply is short.
std::optional<std::uint32_t> DecodeApplicationVersion(const std::uint8_t* reply,
                                                      std::uint16_t length);
// 0x00010002 -> "1.2".
std::string FormatApplicationVersion(std::uint32_t version);
// 0x0102 -> "1.2".
std::string FormatBootloaderVersion(std::uint16_t version);

}  // namespace tessaline
