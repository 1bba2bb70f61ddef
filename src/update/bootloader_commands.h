// The send schedules of the bootloader commands the updater sends, and their reply rules.
#pragma once

#include <cstdint>

#include "link/bootloader_commands.h"
#include "link/bootloader_link.h"
#include "link/packet_codec.h"

namespace tessaline {

// How often each command may be sent and how long each attempt waits (ms, x5 on serial).
struct SendSchedule {
  std::uint16_t sends;
  std::uint16_t timeoutMs;
};
inline constexpr SendSchedule kIdentitySchedule{5, 1000};
inline constexpr SendSchedule kApplicationVersionSchedule{5, 1000};
// Erasing the whole application area takes the unit seconds.
inline constexpr SendSchedule kEraseApplicationSchedule{5, 10000};
inline constexpr SendSchedule kBeginApplicationSchedule{5, 1000};
inline constexpr SendSchedule kApplicationRecordsSchedule{5, 1000};
inline constexpr SendSchedule kEndApplicationSchedule{5, 1000};
// Two sends only: a repeated flash erase would cost another 10 s of the unit's time.
inline constexpr SendSchedule kEraseFlashDataSchedule{2, 10000};
inline constexpr SendSchedule kFlashDataChunkSchedule{5, 1000};
inline constexpr SendSchedule kEndFlashDataSchedule{5, 1000};
inline constexpr SendSchedule kFactoryDefaultsSchedule{2, 5000};
// The unit resets on these, so nobody waits for an answer (the link sends them once).
inline constexpr SendSchedule kFinishUpdateSchedule{1, 1000};
inline constexpr SendSchedule kExitBootloadSchedule{5, 1000};

// The code as sent: sequenced form when the unit's identity announced it.
constexpr std::uint8_t WireCode(std::uint8_t plainCode, bool sequenced) {
  return sequenced ? static_cast<std::uint8_t>(plainCode | kSequencedBit) : plainCode;
}

// Status byte of a 4-byte status reply meaning "done".
inline constexpr std::uint8_t kStatusDone = 1;

// A reply to a data-less command counts as done unless it is a 4-byte status reply (code,
// status, CRC) whose status is not kStatusDone.
bool StatusReplyAccepted(const std::uint8_t* reply, std::uint16_t length);

// A reply to a batch or chunk acknowledges it when it carries a status byte (code, status,
// CRC at the least) and that status is kStatusDone, whatever else follows.
bool DataReplyAccepted(const std::uint8_t* reply, std::uint16_t length);

}  // namespace tessaline
