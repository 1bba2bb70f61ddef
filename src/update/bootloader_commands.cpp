// The status-reply rules.
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

}  // namespace tessaline
