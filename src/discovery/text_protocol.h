// The unit's text command protocol: finding its text port and switching it into bootload mode.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/clock.h"
#include "transport/transport.h"
#include "transport/unit_address.h"

namespace tessaline {

inline constexpr std::string_view kBootloadQueryCommand = "<SY,BQ/>";
inline constexpr std::string_view kEnableBootloadCommand = "<SY,BE/>";
inline constexpr std::string_view kFinalBootloadCommand = "<SY,BR/>";
// Every recognised bootload query reply starts with this (the blanks around '=' included).
inline constexpr std::string_view kBootloadQueryReplyPrefix = "<sy,bq = ";
inline constexpr std::string_view kPinAcceptedReply = "<sy,bu = ud/>";
inline constexpr std::string_view kPinAcceptedEnabledReply = "<sy,bu = ue/>";
inline constexpr std::string_view kEnableAcceptedReply = "<sy,be = ue/>";
inline constexpr std::string_view kFinalAcceptedReply = "<sy,br/>";

inline constexpr std::uint32_t kBootloadQueryReplyLimit = 16;  // characters
inline constexpr std::uint32_t kSequenceReplyLimit = 32;       // characters
inline constexpr std::uint32_t kSequenceStepTimeoutMs = 1000;
// Time the unit needs after the final command before its bootloader answers.
inline constexpr std::uint32_t kBootloaderStartWaitMs = 5000;
// Time-out the Enter Bootload dialog gives the search.
inline constexpr std::uint32_t kEnterBootloadSearchTimeoutMs = 1000;

// The bootload state letters of a query reply.
inline constexpr char kBootloadEnabledLetter = 'e';
inline constexpr char kBootloadDisabledLetter = 'd';

// "<SY,BU" + pin + "/>".
std::string PinCommand(std::string_view pin);

// True when `reply` begins with kBootloadQueryReplyPrefix.
bool IsBootloadQueryReply(std::string_view reply);

// The 11th character of a bootload query reply ('e' enabled, 'd' not); '\0' when the reply is
// shorter than that. Only that one character is read.
char BootloadStateLetter(std::string_view reply);

// Runs on the first recognised reply, with the open text transport and that reply.
using TextPortAction = std::function<void(Transport& textTransport, const std::string& reply)>;

struct TextSearchResult {
  bool answered = false;
  // Serial searches: the rates at which a port was opened and queried, in order.
  std::vector<std::uint32_t> ratesTried;
  // Network searches: the socket to the text port could not be set up.
  std::optional<SocketFailure> socketFailure;
};

// Finds the text port of `unit` and runs `action` at most once: for a serial unit the bootload
// query on the same device at each rate of BaudRateTable until one answers; for a network unit
// the query over TCP to the same address at `parserPort`. Every text transport made here is
// closed and deleted before this returns.
TextSearchResult TextPortSearch(const UnitAddress& unit, std::uint32_t parserPort,
                                std::uint32_t timeoutMs, const TextPortAction& action);

// The serial branch on its own, for a device name (serial discovery).
TextSearchResult SerialTextPortSearch(const std::string& deviceName, std::uint32_t timeoutMs,
                                      const TextPortAction& action);

enum class EnterBootloadOutcome { NoUnitAnswered, Entered, Refused };
// Tells the user the sequence's outcome (Entered or Refused) while the text port is still open;
// the desktop program shows its box here.
using BootloadAnnouncer = std::function<void(EnterBootloadOutcome)>;

// How the PIN, enable and final commands went: the step refused and the unit's reply to it (the
// PIN itself is never kept).
struct PinSequenceResult {
  bool accepted = false;
  std::string refusedStep;  // "PIN", "enable", "final"
  std::string reply;        // empty when the unit did not answer
};
// Sends the three commands over the open `textTransport`, stopping at the first refusal. No wait.
PinSequenceResult SendPinSequence(Transport& textTransport, std::string_view pin);

// Sends the PIN, enable and final commands over the open `textTransport`, stopping at the first
// refusal; announces the outcome and, when all three were accepted, waits kBootloaderStartWaitMs
// on `clock`.
EnterBootloadOutcome EnterBootloadSequence(Transport& textTransport, std::string_view pin,
                                           const BootloadAnnouncer& announce = {},
                                           platform::Clock& clock = platform::SystemClock());

struct EnterBootloadResult {
  EnterBootloadOutcome outcome = EnterBootloadOutcome::NoUnitAnswered;
  std::optional<SocketFailure> socketFailure;  // why no unit could be asked over the network
};

// What the Enter Bootload dialog does on OK: the search with kEnterBootloadSearchTimeoutMs and,
// on the first answer, the sequence.
EnterBootloadResult EnterBootloadMode(const UnitAddress& unit, std::uint32_t parserPort,
                                      std::string_view pin, const BootloadAnnouncer& announce = {},
                                      platform::Clock& clock = platform::SystemClock());

// True for exactly four decimal digits: the only PIN form the dialog accepts.
bool IsWellFormedPin(std::string_view pin);

}  // namespace tessaline
