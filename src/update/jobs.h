// The update job and the exit-bootload job: each owns its link and images, reports typed events
// to its observer and returns a JobResult. Nothing of a job is process-wide.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <stop_token>
#include <string>
#include <string_view>
#include <vector>

#include "link/bootloader_link.h"
#include "package/package.h"
#include "platform/clock.h"
#include "transport/unit_address.h"
#include "update/unit_identity.h"

namespace tessaline {

// Pauses of the job: between steps, so the unit's bootloader can finish flash housekeeping, and
// after the outcome is reported, before the job returns.
inline constexpr std::uint32_t kStepPauseMs = 10;
inline constexpr std::uint32_t kJobEndPauseMs = 500;
// Progress units of the factory defaults step (the others count records and bytes).
inline constexpr std::uint32_t kFactoryDefaultsWeight = 10;

// The stages of a job in the order they run. Verifying (the read-back of the version written)
// and Finishing (the final or exit command) have no progress text of their own. A unit taken from
// its application first passes EnteringBootload (the PIN sequence) and WaitingForBootloader;
// ConfirmingRunning is the wait for the application after the final command.
enum class Stage {
  ReadingMode,
  EnteringBootload,
  WaitingForBootloader,
  Initializing,
  Application,
  FlashData,
  FactoryDefaults,
  Verifying,
  Finishing,
  ConfirmingRunning,
};
// What the user reads for a stage: "Reading mode", "Entering bootload", "Waiting for bootloader",
// "Initializing", "Application", "UI", "Factory Defaults", "Verifying", "Finishing",
// "Confirming running".
std::string StageName(Stage stage);

// Every switch over it lists them all, without a default: a new ending must be given its words
// by each front end before the program builds.
enum class JobOutcome {
  // Firmware written, the version read back is the package's, the final command was taken.
  Succeeded,
  // Firmware written and the final command taken, but the version was not compared: the read-back
  // was turned off, or the package names no version to compare with.
  WrittenUnverified,
  // No firmware was asked for: the chosen steps (factory defaults, or none) ran and the final
  // command was taken.
  FinishedWithoutFirmware,
  UpdateFailed,    // a step was not acknowledged; JobResult::stage names it
  NoResponse,      // the bootloader did not answer the identity query
  WrongResponse,   // it answered, but this package cannot serve it; JobResult::reason says why
  BootloadExited,  // the exit-bootload job's command was taken
  Declined,        // the version guard stopped the job before anything was erased
  Interrupted,     // the stop request was seen at an exchange boundary
  // Firmware was written, but the version read back is not the package's (or none came); the
  // final command was not sent, so the unit stays in bootload mode.
  VerifyFailed,
  // The unit's port could not be opened; JobResult::reason has the system's words for why.
  PortUnavailable,
  // The package cannot serve a firmware update (no readable build version); nothing was sent.
  PackageRefused,
  // The unit answered the final (or exit) command with a refusal: it stays in bootload mode.
  FinalCommandRefused,
  // The final (or exit) command went unanswered and the bootloader still answered after every
  // resend: the unit stays in bootload mode.
  StillInBootloadMode,
  // Written and finished, but the application was not seen running within the time allowed.
  NotConfirmed,
  // The running unit refused the PIN sequence; JobResult::reason has its reply. Nothing was sent
  // to its bootloader.
  PinRefused,
};

// What the unit said when asked for its application version.
enum class ApplicationState {
  NoAnswer,       // no reply on the whole schedule, asked twice
  NoApplication,  // it reported 0 or all ones
  Version,        // it reported a version
};
struct ApplicationReading {
  ApplicationState state = ApplicationState::NoAnswer;
  std::uint32_t version = 0;  // major << 16 | minor, when state is Version
  std::optional<std::uint32_t> Known() const {
    return state == ApplicationState::Version ? std::optional(version) : std::nullopt;
  }
};
// "version", "none", "no-answer": the words receipts and JSON use.
std::string_view ApplicationStateWord(ApplicationState state);

// After the final command: whether the unit's application answered on its text port.
struct RunningCheck {
  std::uint32_t limitSeconds = 0;
  bool running = false;
  char bootloadState = '\0';    // the reply's state letter ('e', 'd') once running
  std::uint64_t elapsedMs = 0;  // until the answer, or until the wait ended
  bool interrupted = false;     // the stop request ended the wait
  std::optional<SocketFailure> socketFailure;  // the text port's socket could not be set up
};

struct StageStats {
  Stage stage = Stage::Initializing;
  std::uint32_t exchanges = 0;
  std::uint32_t sends = 0;  // resends included
  std::uint32_t durationMs = 0;
};

struct JobResult {
  JobOutcome outcome = JobOutcome::NoResponse;
  Stage stage = Stage::Initializing;                      // where the job ended
  std::string reason;                                     // empty on success
  std::optional<SocketFailure> socketFailure;             // PortUnavailable: the failed step
  UnitIdentity identity;                                  // empty when the unit did not answer
  std::optional<std::uint32_t> applicationVersionBefore;  // major << 16 | minor
  // The whole answer, "no answer" included; none when the job ended before asking.
  std::optional<ApplicationReading> applicationBefore;
  std::optional<std::size_t> variant;                     // the package variant used
  // The read-back (JobOptions::verifyApplicationVersion): what the package's image carries and
  // what the unit reported after the writing; both empty when no read-back ran.
  std::optional<std::uint32_t> applicationVersionExpected;
  std::optional<std::uint32_t> applicationVersionAfter;
  // Lower-case hex SHA-256 of the application records sent (each record's raw bytes as batched,
  // in order) and of the flash data bytes sent (chunk contents without their zero fill); empty
  // when that stage did not run.
  std::string applicationSha256;
  std::string flashDataSha256;
  std::vector<StageStats> stages;  // the stages that ran, in order
  std::uint32_t totalMs = 0;
  bool wroteFirmware = false;            // an application or flash data stage ran to its end
  bool restoredFactoryDefaults = false;  // the factory defaults step was acknowledged
  std::optional<RunningCheck> running;   // when the running confirmation was asked for
};

// What a job tells its front end while it runs. Every call comes from the job's own thread.
class JobObserver {
 public:
  virtual ~JobObserver() = default;
  // A stage with a progress text begins; `units` is its size in progress units (0 for
  // Initializing).
  virtual void StageBegan(Stage /*stage*/, std::uint32_t /*units*/) {}
  // The update's whole size in progress units, once the images are chosen; the position
  // restarts at 0. Before any programming stage.
  virtual void PlanReady(std::uint32_t /*totalUnits*/) {}
  virtual void PositionMoved(std::uint32_t /*position*/) {}
  // The outcome, for the user; the job returns after its closing pause.
  virtual void Finished(const JobResult& /*result*/) {}
  // A line for the user about this unit (a note of the front end's own checks).
  virtual void Message(std::string_view /*text*/) {}
};

// Whether the job may erase: none to go on, or why not (outcome Declined).
using GuardRefusal = std::optional<std::string>;
// Called after the unit's application version was asked for (the 0x89 exchange, asked again
// when no answer came), before anything is erased.
using VersionGuard = std::function<GuardRefusal(const ApplicationReading& unit)>;

struct JobOptions {
  bool firmware = true;          // write the unit's application and flash data images
  bool factoryDefaults = false;  // restore the factory defaults
  // Checked before every exchange of the programming steps, never inside one.
  std::stop_token stop;
  VersionGuard versionGuard;
  // After firmware was written (and factory defaults restored), ask for the application version
  // again and send the final command only when it is the one the application image carries.
  bool verifyApplicationVersion = true;
  // Expected instead when the application image carries no version word (major << 16 | minor).
  // With neither, the read-back is made but never counts as verified (WrittenUnverified).
  std::optional<std::uint32_t> fallbackApplicationVersion;
  FrameTraceHook trace;              // installed on the job's own link
  platform::Clock* clock = nullptr;  // the system clock when null
};

// The update: identity, application version, the unit's variant's images, the chosen steps,
// the read-back, the final command (resent while the bootloader still answers). Runs on the
// calling thread. Front ends call UpdateUnit (unit_update.h), which adds the package's policy.
JobResult RunUpdateJob(const UnitAddress& unit, const Package& package, const JobOptions& options,
                       JobObserver& observer);
JobResult RunUpdateJob(std::unique_ptr<Transport> transport, const Package& package,
                       const JobOptions& options, JobObserver& observer);

// Identity, then the exit command in the form the unit's own identity asks for, resent while
// the bootloader still answers.
JobResult RunExitBootloadJob(const UnitAddress& unit, const JobOptions& options,
                             JobObserver& observer);
JobResult RunExitBootloadJob(std::unique_ptr<Transport> transport, const JobOptions& options,
                             JobObserver& observer);

}  // namespace tessaline
