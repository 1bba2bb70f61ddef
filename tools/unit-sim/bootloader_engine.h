// What the unit's bootloader does with each command: its memory, transfers and replies.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "simulated_unit.h"
#include "sparse_memory.h"

namespace tessaline::sim {

inline constexpr std::uint8_t kStatusRefused = 0;
inline constexpr std::uint8_t kStatusDone = 1;
inline constexpr std::uint32_t kApplicationVersionAddress = 0x0807FFFC;
inline constexpr std::size_t kFlashChunkPayload = 72;  // address LE32, length LE32, 64 data bytes
inline constexpr std::uint32_t kFlashChunkMaxData = 64;

namespace command {
inline constexpr std::uint8_t kIdentity = 0x01;
inline constexpr std::uint8_t kEraseApplication = 0x02;
inline constexpr std::uint8_t kApplicationRecords = 0x03;
inline constexpr std::uint8_t kFinishUpdate = 0x04;
inline constexpr std::uint8_t kEraseFlashData = 0x05;
inline constexpr std::uint8_t kFlashDataChunk = 0x06;
inline constexpr std::uint8_t kEndFlashData = 0x07;
inline constexpr std::uint8_t kApplicationVersion = 0x09;
inline constexpr std::uint8_t kExitBootload = 0x0B;
inline constexpr std::uint8_t kFactoryDefaults = 0x0C;
inline constexpr std::uint8_t kIdentityText = 0x0D;
inline constexpr std::uint8_t kBeginApplication = 0x0E;
inline constexpr std::uint8_t kEndApplication = 0x0F;
}  // namespace command

struct CommandResult {
  bool replies = false;
  std::vector<std::uint8_t> data;  // reply data after the command byte (and sequence number)
  std::uint32_t processingMs = 0;  // how long the unit is busy before it answers
  bool leavesBootload = false;
};

class BootloaderEngine {
 public:
  explicit BootloaderEngine(const UnitConfig& config);

  // Applies one request (plain code, bit 0x80 cleared) and tells what the unit answers.
  CommandResult Apply(std::uint8_t plainCode, std::span<const std::uint8_t> data);
  // The answer when the unit refuses a command without applying it.
  static CommandResult Refusal();

  // Three lines ended by CR LF, the last "Brume <model> - Bootload"; also the discovery lines.
  std::string IdentityLines(const char* modeSuffix) const;

  std::uint32_t ApplicationVersion() const;
  const SparseMemory& Application() const { return application_; }
  const SparseMemory& FlashData() const { return flashData_; }
  bool FactoryDefaultsRestored() const { return factoryDefaultsRestored_; }
  bool UpdateFinished() const { return updateFinished_; }

 private:
  CommandResult Status(bool done) const;
  CommandResult ApplicationRecords(std::span<const std::uint8_t> data);
  CommandResult FlashDataChunk(std::span<const std::uint8_t> data);

  const UnitConfig& config_;
  SparseMemory application_;
  SparseMemory flashData_;
  bool applicationErased_ = false;        // erased since start; the version then comes from memory
  std::uint32_t versionBeforeErase_ = 0;  // reported instead with the stale-version fault
  bool beginAllowed_ = false;             // an erase came and no transfer has begun since
  bool applicationOpen_ = false;          // between begin and end
  bool endOfFileSeen_ = false;
  std::uint32_t upperAddress_ = 0;  // from the last extended linear address record
  bool flashDataOpen_ = false;      // between the flash data erase and its end
  bool factoryDefaultsRestored_ = false;
  bool updateFinished_ = false;
};

}  // namespace tessaline::sim
