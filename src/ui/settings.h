// The desktop program's settings shared by the window and its workers: Parser Port and the
// Overwrite choices.
#pragma once

#include <atomic>
#include <cstdint>

namespace tessaline {

// TCP port of the unit's text command port (1024..65535), initially 4999.
extern std::atomic<std::uint32_t> CurrentParserPort;
// The user's Overwrite choices, read by the update job when it reaches each step. The Firmware
// choice is the user's alone; whether the package holds an application image is kept apart
// (PackageHasApplication) and only decides whether the Firmware box is offered.
extern std::atomic<bool> OverwriteFactoryDefaults;
extern std::atomic<bool> OverwriteFirmware;
extern std::atomic<bool> PackageHasApplication;

}  // namespace tessaline
