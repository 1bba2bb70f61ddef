// The one table of worker-to-window message codes (WM_APP based) and the unit flags they carry.
#pragma once

#include <cstdint>

namespace tessaline {

enum WorkerMessageCode : std::uint32_t {
  WM_APP_NET_UNIT_FOUND = 0x8000,  // wParam unit flags, lParam IPv4 address (network order)
  // wParam bit 0 in bootload; the unit's serial device travels with the message (owned copy), so
  // a rescan of the ports never changes which unit it names.
  WM_APP_COM_UNIT_FOUND = 0x8001,
  WM_APP_UPDATE_SUCCEEDED = 0x8002,
  WM_APP_UPDATE_FAILED = 0x8003,
  WM_APP_PROGRESS_TEXT = 0x8004,  // text travels with the message (owned copy)
  WM_APP_WRONG_RESPONSE = 0x8005,
  WM_APP_NO_RESPONSE = 0x8006,
  WM_APP_BOOTLOAD_EXITED = 0x8007,
  // 0x8008 is not used.
  WM_APP_BOOTLOADER_VERSION = 0x8009,  // wParam (major << 8) | minor
  WM_APP_NO_BOOTLOADER = 0x800A,
  WM_APP_APPLICATION_VERSION = 0x800B,  // lParam version, 0xFFFFFFFF when none
  WM_APP_VERSION_QUERY_DONE = 0x800C,
  WM_APP_ENABLE_ENTER_BOOTLOAD = 0x800D,  // wParam 0/1
  WM_APP_ENABLE_EXIT_BOOTLOAD = 0x800E,   // wParam 0/1
  WM_APP_PROGRESS_RANGE = 0x800F,         // sent: wParam low (also the position), lParam high
  WM_APP_PROGRESS_POS = 0x8010,           // wParam position
  // A job's other endings (declined, verify failed, the final command not taken, ...): the text
  // travels with the message (owned copy); wParam 1 when it is a success, else 0.
  WM_APP_JOB_ENDED = 0x8011,
  // Sent: the unit runs a newer version than the package's; the text asks whether to write the
  // older one. The window returns kDowngradeAllowed to go on.
  WM_APP_CONFIRM_DOWNGRADE = 0x8012,
  // The rack window: a unit's row has news (wParam the unit's index in the run); the window
  // takes the row's facts from its RackBoard, which posts again only after that.
  WM_APP_RACK_ROW_CHANGED = 0x8013,
  WM_APP_RACK_RUN_ENDED = 0x8014,  // every started unit's job has returned
};

// The window's answer to WM_APP_CONFIRM_DOWNGRADE that lets the job go on (IDYES).
inline constexpr std::int64_t kDowngradeAllowed = 6;

// The messages whose lParam carries an owned copy of WorkerMessage::text.
constexpr bool CarriesText(std::uint32_t code) {
  return code == WM_APP_PROGRESS_TEXT || code == WM_APP_JOB_ENDED ||
         code == WM_APP_CONFIRM_DOWNGRADE || code == WM_APP_COM_UNIT_FOUND;
}

// lParam of WM_APP_APPLICATION_VERSION when no version was read.
inline constexpr std::uint32_t kNoApplicationVersion = 0xFFFFFFFFu;

}  // namespace tessaline
