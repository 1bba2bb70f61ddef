// The update job and the exit-bootload job.
#include "update/jobs.h"

#include "strings/ui_strings.h"
#include "update/bootloader_commands.h"
#include "update/image_version.h"
#include "update/programming.h"

namespace tessaline {

namespace {

ApplicationReading AskApplicationVersion(BootloaderLink& link, bool sequenced) {
  ApplicationReading reading;
  if (!link.Exchange(WireCode(ApplicationVersionCommand, sequenced), nullptr, 0,
                     kApplicationVersionSchedule.sends, kApplicationVersionSchedule.timeoutMs)) {
    return reading;
  }
  if (const auto version = DecodeApplicationVersion(link.GetReply(), link.GetReplyLength())) {
    reading = {ApplicationState::Version, *version};
  } else {
    reading.state = ApplicationState::NoApplication;
  }
  return reading;
}

// A short question the bootloader answers at once while it runs: after a final command that got
// no answer, it tells a unit that reset (silence) from one that missed the command.
inline constexpr SendSchedule kBootloaderPresenceSchedule{2, 250};
// The final and exit commands are sent at most this often while the bootloader still answers.
inline constexpr int kFinalCommandAttempts = 3;

enum class FinalCommandFate { Taken, Refused, StillInBootload, PortLost, Stopped };

// Sends the command that makes the unit leave bootload mode until it is known to be taken: a
// reply that is not a refusal, or a bootloader that stops answering (the unit reset).
FinalCommandFate SendFinalCommand(BootloaderLink& link, std::uint8_t plainCode, bool sequenced,
                                  SendSchedule schedule) {
  for (int attempt = 0; attempt < kFinalCommandAttempts; ++attempt) {
    if (link.Exchange(WireCode(plainCode, sequenced), nullptr, 0, schedule.sends,
                      schedule.timeoutMs)) {
      return StatusReplyAccepted(link.GetReply(), link.GetReplyLength())
                 ? FinalCommandFate::Taken
                 : FinalCommandFate::Refused;
    }
    if (link.TransportLost()) return FinalCommandFate::PortLost;
    // A wait the user ended tells nothing about the unit.
    if (link.StoppedByRequest()) return FinalCommandFate::Stopped;
    if (!link.Exchange(BootloaderVersionCommand, nullptr, 0, kBootloaderPresenceSchedule.sends,
                       kBootloaderPresenceSchedule.timeoutMs)) {
      if (link.TransportLost()) return FinalCommandFate::PortLost;
      if (link.StoppedByRequest()) return FinalCommandFate::Stopped;
      return FinalCommandFate::Taken;
    }
  }
  return FinalCommandFate::StillInBootload;
}

std::string DigestHex(platform::Sha256& digest) {
  const auto value = digest.Finish();
  return value ? platform::LowerHex(*value) : std::string();
}

std::string VariantText(const UnitIdentity& identity) {
  return identity.mcuFamily + "/" + identity.dsp;
}

// Why the link's port went away, in the transport's words when it has them.
std::string PortLostReason(const BootloaderLink& link) {
  const Transport* transport = link.GetTransport();
  const std::string why = transport != nullptr ? transport->LossReason() : std::string();
  return "the serial port went away" + (why.empty() ? std::string() : " (" + why + ")");
}

// Keeps the statistics of the stage running and closes it when the next one begins.
class StageLedger {
 public:
  StageLedger(BootloaderLink& link, platform::Clock& clock, JobResult& result)
      : link_(link), clock_(clock), result_(result), jobStart_(clock.Now()) {}

  void Enter(Stage stage) {
    Close();
    result_.stage = stage;
    current_ = StageStats{stage, link_.ExchangeCount(), link_.SendCount(), clock_.Now()};
    open_ = true;
  }
  void Close() {
    if (!open_) return;
    const std::uint32_t now = clock_.Now();
    result_.stages.push_back(StageStats{current_.stage, link_.ExchangeCount() - current_.exchanges,
                                        link_.SendCount() - current_.sends,
                                        platform::TicksBetween(current_.durationMs, now)});
    result_.totalMs = platform::TicksBetween(jobStart_, now);
    open_ = false;
  }

 private:
  BootloaderLink& link_;
  platform::Clock& clock_;
  JobResult& result_;
  std::uint32_t jobStart_;
  StageStats current_;  // counters and start time at entry
  bool open_ = false;
};

// The parts every job has: its clock, its own link, its ledger and its result.
struct JobRun {
  JobRun(std::unique_ptr<Transport> transport, const JobOptions& jobOptions,
         JobObserver& jobObserver)
      : options(jobOptions),
        observer(jobObserver),
        clock(jobOptions.clock ? *jobOptions.clock : platform::SystemClock()),
        link(clock),
        ledger(link, clock, result) {
    link.SetTraceHook(jobOptions.trace);
    // A stop request ends a wait for a reply, never a frame half sent.
    link.SetStop(jobOptions.stop);
    link.SetTransport(std::move(transport));
  }

  // Closes the transport, reports the outcome and pauses when the user is told something.
  JobResult End(JobOutcome outcome, std::string reason = {}) {
    ledger.Close();
    link.CloseTransport();
    result.outcome = outcome;
    result.reason = std::move(reason);
    observer.Finished(result);
    if (outcome != JobOutcome::Declined && outcome != JobOutcome::Interrupted &&
        outcome != JobOutcome::PackageRefused) {
      clock.Sleep(kJobEndPauseMs);
    }
    return std::move(result);
  }

  // The final or exit command, and the ending its fate gives: `taken` when the unit took it.
  JobResult Finish(std::uint8_t plainCode, SendSchedule schedule, JobOutcome taken,
                   std::string takenReason = {}) {
    ledger.Enter(Stage::Finishing);
    switch (SendFinalCommand(link, plainCode, result.identity.SequencedCommands, schedule)) {
      case FinalCommandFate::Taken:
        return End(taken, std::move(takenReason));
      case FinalCommandFate::Refused:
        return End(JobOutcome::FinalCommandRefused,
                   "the unit refused the " + CommandName(plainCode) + " command");
      case FinalCommandFate::StillInBootload:
        return End(JobOutcome::StillInBootloadMode,
                   "the unit did not take the " + CommandName(plainCode) + " command in " +
                       std::to_string(kFinalCommandAttempts) +
                       " tries and its bootloader still answers");
      case FinalCommandFate::PortLost:
        return End(JobOutcome::UpdateFailed, PortLostReason(link));
      case FinalCommandFate::Stopped:
        return End(JobOutcome::Interrupted, "stopped on request");
    }
    return End(JobOutcome::UpdateFailed, "the final command's fate is unknown");
  }

  // A step that failed: stopped on request, the port gone, or the unit's refusal.
  JobResult EndFailedStep(const std::string& failure) {
    if (StopRequested()) return End(JobOutcome::Interrupted, "stopped on request");
    if (link.TransportLost()) return End(JobOutcome::UpdateFailed, PortLostReason(link));
    return End(JobOutcome::UpdateFailed, failure);
  }

  // Identity check; none when the job can go on, otherwise the ended result.
  std::optional<JobResult> Identify() {
    if (link.GetTransport() != nullptr && !link.OpenTransport()) {
      result.socketFailure = link.GetTransport()->SocketSetupFailure();
      const std::string why = link.GetTransport()->OpenFailure();
      return End(JobOutcome::PortUnavailable, why.empty() ? "the port could not be opened" : why);
    }
    UnitIdentity& identity = result.identity;
    switch (CheckBootloaderIdentity(link, identity)) {
      case IdentityNoResponse:
        if (StopRequested()) return End(JobOutcome::Interrupted, "stopped on request");
        return End(JobOutcome::NoResponse, "the bootloader did not answer");
      case IdentityWrong:
        if (identity.bootloaderVersion > kMaxBootloaderVersion) {
          return End(JobOutcome::WrongResponse,
                     "bootloader version " + FormatBootloaderVersion(identity.bootloaderVersion) +
                         " is newer than this updater knows");
        }
        return End(JobOutcome::WrongResponse,
                   "the identity '" + identity.text + "' is not a Tessaline bootloader");
      case IdentityOk:
        break;
    }
    return std::nullopt;
  }

  bool StopRequested() const { return options.stop.stop_requested(); }

  const JobOptions& options;
  JobObserver& observer;
  platform::Clock& clock;
  BootloaderLink link;
  JobResult result;
  StageLedger ledger;
};

}  // namespace

std::string_view ApplicationStateWord(ApplicationState state) {
  switch (state) {
    case ApplicationState::NoAnswer:
      return "no-answer";
    case ApplicationState::NoApplication:
      return "none";
    case ApplicationState::Version:
      break;
  }
  return "version";
}

std::string StageName(Stage stage) {
  switch (stage) {
    case Stage::ReadingMode:
      return "Reading mode";
    case Stage::EnteringBootload:
      return "Entering bootload";
    case Stage::WaitingForBootloader:
      return "Waiting for bootloader";
    case Stage::ConfirmingRunning:
      return "Confirming running";
    case Stage::Initializing:
      return UiString(IDS_STAGE_INITIALIZING);
    case Stage::Application:
      return UiString(IDS_STAGE_APPLICATION);
    case Stage::FlashData:
      return UiString(IDS_STAGE_UI);
    case Stage::FactoryDefaults:
      return UiString(IDS_STAGE_FACTORY_DEFAULTS);
    case Stage::Verifying:
      return "Verifying";
    case Stage::Finishing:
      break;
  }
  return "Finishing";
}

JobResult RunUpdateJob(std::unique_ptr<Transport> transport, const Package& package,
                       const JobOptions& options, JobObserver& observer) {
  JobRun run(std::move(transport), options, observer);
  run.ledger.Enter(Stage::Initializing);
  observer.StageBegan(Stage::Initializing, 0);
  if (run.StopRequested()) return run.End(JobOutcome::Interrupted, "stopped on request");
  if (auto ended = run.Identify()) return std::move(*ended);
  const UnitIdentity& identity = run.result.identity;
  BootloaderLink& link = run.link;

  if (run.StopRequested()) return run.End(JobOutcome::Interrupted, "stopped on request");
  ApplicationReading& before = run.result.applicationBefore.emplace();
  before = AskApplicationVersion(link, identity.SequencedCommands);
  // Silence is not "no application": a guard that must know asks once more on the schedule.
  if (options.versionGuard && before.state == ApplicationState::NoAnswer && !run.StopRequested()) {
    before = AskApplicationVersion(link, identity.SequencedCommands);
  }
  run.result.applicationVersionBefore = before.Known();
  if (run.StopRequested()) return run.End(JobOutcome::Interrupted, "stopped on request");
  if (options.versionGuard) {
    if (GuardRefusal refusal = options.versionGuard(before)) {
      return run.End(JobOutcome::Declined, std::move(*refusal));
    }
  }
  if (run.StopRequested()) return run.End(JobOutcome::Interrupted, "stopped on request");

  // Only the unit's own images: an area is erased only when its image is there to be written.
  CHexManager application;
  CBinManager flashData;
  run.result.variant = SelectVariant(identity.mcuFamily, identity.dsp);
  switch (package.LoadVariant(identity.mcuFamily, identity.dsp, application, flashData)) {
    case VariantImages::Loaded:
      break;
    case VariantImages::UnknownVariant:
    case VariantImages::NotInPackage:
      return run.End(JobOutcome::WrongResponse,
                     "the package holds no images for " + VariantText(identity));
    case VariantImages::Damaged:
      return run.End(JobOutcome::WrongResponse,
                     "the package's images for " + VariantText(identity) + " are damaged");
  }

  // The user's Firmware choice, not the package's contents, decides whether firmware is written.
  const std::size_t variant = *run.result.variant;
  const bool writeApplication = options.firmware && package.Presence()[ApplicationRow(variant)];
  const bool writeFlashData = options.firmware && package.Presence()[FlashDataRow(variant)];
  std::uint32_t total = 0;
  if (writeApplication) total += application.RecordCount();
  if (writeFlashData) total += flashData.GetImageSize();
  if (options.factoryDefaults) total += kFactoryDefaultsWeight;
  observer.PlanReady(total);

  // Read before programming: the records are then walked once more, from the start.
  const bool verify = options.verifyApplicationVersion && (writeApplication || writeFlashData);
  if (verify) {
    run.result.applicationVersionExpected =
        writeApplication ? ApplicationVersionInImage(application) : std::nullopt;
    if (!run.result.applicationVersionExpected) {
      run.result.applicationVersionExpected = options.fallbackApplicationVersion;
    }
  }

  platform::Sha256 applicationDigest;
  platform::Sha256 flashDataDigest;
  ProgrammingSession session{link, identity.SequencedCommands, observer,        options.stop, 0,
                             {},   &applicationDigest,         &flashDataDigest};
  StepResult r = StepResult::Done;
  if (writeApplication) {
    run.ledger.Enter(Stage::Application);
    r = ProgramApplication(session, application);
    run.result.applicationSha256 = DigestHex(applicationDigest);
  }
  if (r == StepResult::Done) {
    run.clock.Sleep(kStepPauseMs);
    if (writeFlashData) {
      run.ledger.Enter(Stage::FlashData);
      r = ProgramFlashData(session, flashData);
      run.result.flashDataSha256 = DigestHex(flashDataDigest);
    }
  }
  if (r == StepResult::Done) {
    run.clock.Sleep(kStepPauseMs);
    if (options.factoryDefaults) {
      run.ledger.Enter(Stage::FactoryDefaults);
      r = RestoreFactoryDefaults(session);
    }
  }
  if (r == StepResult::Done && run.StopRequested()) r = StepResult::Interrupted;
  if (r == StepResult::Interrupted) return run.End(JobOutcome::Interrupted, "stopped on request");
  if (r == StepResult::Failed) return run.EndFailedStep(session.failure);
  run.result.wroteFirmware = writeApplication || writeFlashData;
  run.result.restoredFactoryDefaults = options.factoryDefaults;

  if (verify) {
    // Acknowledged is not yet written where it belongs: the bootloader reports what it now holds.
    run.clock.Sleep(kStepPauseMs);
    run.ledger.Enter(Stage::Verifying);
    const ApplicationReading readBack = AskApplicationVersion(link, identity.SequencedCommands);
    run.result.applicationVersionAfter = readBack.Known();
    const auto& expected = run.result.applicationVersionExpected;
    const auto& after = run.result.applicationVersionAfter;
    if (!after) {
      if (run.StopRequested()) return run.End(JobOutcome::Interrupted, "stopped on request");
      if (link.TransportLost()) return run.End(JobOutcome::UpdateFailed, PortLostReason(link));
      return run.End(JobOutcome::VerifyFailed,
                     readBack.state == ApplicationState::NoAnswer
                         ? "the unit did not report its application version"
                         : "the unit reports no application");
    }
    if (expected && *after != *expected) {
      return run.End(JobOutcome::VerifyFailed,
                     "the unit reports version " + FormatApplicationVersion(*after) +
                         " instead of " + FormatApplicationVersion(*expected));
    }
    if (run.StopRequested()) return run.End(JobOutcome::Interrupted, "stopped on request");
  }

  run.clock.Sleep(kStepPauseMs);
  if (!run.result.wroteFirmware) {
    return run.Finish(FinishUpdateCommand, kFinishUpdateSchedule,
                      JobOutcome::FinishedWithoutFirmware);
  }
  if (!verify) {
    return run.Finish(FinishUpdateCommand, kFinishUpdateSchedule, JobOutcome::WrittenUnverified,
                      "the version was not read back");
  }
  if (!run.result.applicationVersionExpected) {
    return run.Finish(FinishUpdateCommand, kFinishUpdateSchedule, JobOutcome::WrittenUnverified,
                      "the package names no version to compare the unit's with");
  }
  return run.Finish(FinishUpdateCommand, kFinishUpdateSchedule, JobOutcome::Succeeded);
}

JobResult RunUpdateJob(const UnitAddress& unit, const Package& package, const JobOptions& options,
                       JobObserver& observer) {
  return RunUpdateJob(unit.MakeBootloaderTransport(), package, options, observer);
}

JobResult RunExitBootloadJob(std::unique_ptr<Transport> transport, const JobOptions& options,
                             JobObserver& observer) {
  JobRun run(std::move(transport), options, observer);
  run.ledger.Enter(Stage::Initializing);
  if (auto ended = run.Identify()) return std::move(*ended);
  if (run.StopRequested()) return run.End(JobOutcome::Interrupted, "stopped on request");
  return run.Finish(ExitBootloadCommand, kExitBootloadSchedule, JobOutcome::BootloadExited);
}

JobResult RunExitBootloadJob(const UnitAddress& unit, const JobOptions& options,
                             JobObserver& observer) {
  return RunExitBootloadJob(unit.MakeBootloaderTransport(), options, observer);
}

}  // namespace tessaline
