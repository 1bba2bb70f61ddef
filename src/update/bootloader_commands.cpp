// SendCommand and the status-reply rule.
#include "update/bootloader_commands.h"

namespace tessaline {

namespace {
constexpr std::uint16_t kStatusReplyLength = 4;  // code, status, two CRC bytes
}  // namespace

bool StatusReplyAccepted(const std::uint8_t* reply, std::uint16_t length) {
  return length != kStatusReplyLength || reply[1] == kStatusDone;
}

bool DataReplyAccepted(const std::uint8_t* reply, std::uint16_t length) {
  // Shorter than a status reply, byte 1 would be the CRC.
  return length >= kStatusReplyLength && reply[1] == kStatusDone;
}

bool SendCommand(BootloaderLink& link, bool sequenced, std::uint8_t plainCode,
                 const std::uint8_t* data, std::uint32_t length, SendSchedule schedule) {
  if (!link.Exchange(WireCode(plainCode, sequenced), data, length, schedule.sends,
                     schedule.timeoutMs)) {
    return false;
  }
  return StatusReplyAccepted(link.GetReply(), link.GetReplyLength());
}

}  // namespace tessaline
