// Taking a unit from running its application to running the package's: its mode, the PIN
// sequence, the bounded wait for its bootloader, the update and the running confirmation.
#pragma once

#include <cstdint>
#include <optional>
#include <stop_token>
#include <string>
#include <string_view>

#include "package/package.h"
#include "transport/unit_address.h"
#include "update/jobs.h"
#include "update/unit_identity.h"
#include "update/unit_update.h"

namespace tessaline {

// How long a unit that took the bootload command has for its bootloader to answer.
inline constexpr std::uint32_t kBootloaderWaitLimitMs = 20000;
// Each identity request of that wait.
inline constexpr std::uint16_t kBootloaderPollTimeoutMs = 250;

enum class UnitMode { Bootload, Application, Silent };
// "bootload", "application", "silent".
std::string_view UnitModeWord(UnitMode mode);

// What a unit tells without being changed: the bootloader's answers, or its application's
// bootload query.
struct UnitState {
  UnitMode mode = UnitMode::Silent;
  std::optional<std::uint16_t> bootloaderVersion;  // (major << 8) | minor, in bootload mode
  // In bootload mode: the application's version, none when the unit reports none.
  std::optional<std::uint32_t> applicationVersion;
  char bootloadState = '\0';             // in application mode: the query's state letter
  std::optional<UnitIdentity> identity;  // in bootload mode, when its identity text is usable
  std::optional<SocketFailure> socketFailure;
};

// The version query: the bootloader's version (and application's) or, when no bootloader
// answers, the text port's bootload query. Sends nothing that changes the unit.
UnitState ReadUnitState(const UnitAddress& unit, std::uint32_t parserPort);

// Asks for the bootloader's version until it answers, `limitMs` pass or `stop` is requested.
bool WaitForBootloader(const UnitAddress& unit, std::uint32_t limitMs, std::stop_token stop);

// Updates `unit` whichever mode it is in: one in application mode is first taken into bootload
// mode with `pin`. The running confirmation is always made (policy's limit, or the default). The
// observer hears the stages and, last, Finished with the verdict. `pin` is never reported.
JobResult UpdateFromAnyMode(const UnitAddress& unit, const Package& package,
                            const UnitUpdatePolicy& policy, std::string_view pin,
                            JobObserver& observer, std::stop_token stop = {});

}  // namespace tessaline
