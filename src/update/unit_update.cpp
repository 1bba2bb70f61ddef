// One unit's update with the package's policy.
#include "update/unit_update.h"

#include "update/running_confirmation.h"

namespace tessaline {

namespace {

// Passes every event on but the job's own Finished: the verdict is told once, after the checks
// that follow the job.
class VerdictLater final : public JobObserver {
 public:
  explicit VerdictLater(JobObserver& inner) : inner_(inner) {}
  void StageBegan(Stage stage, std::uint32_t units) override { inner_.StageBegan(stage, units); }
  void PlanReady(std::uint32_t totalUnits) override { inner_.PlanReady(totalUnits); }
  void PositionMoved(std::uint32_t position) override { inner_.PositionMoved(position); }
  void Message(std::string_view text) override { inner_.Message(text); }

 private:
  JobObserver& inner_;
};

bool LeftBootloadMode(JobOutcome outcome) {
  switch (outcome) {
    case JobOutcome::Succeeded:
    case JobOutcome::WrittenUnverified:
    case JobOutcome::FinishedWithoutFirmware:
      return true;
    case JobOutcome::UpdateFailed:
    case JobOutcome::NoResponse:
    case JobOutcome::WrongResponse:
    case JobOutcome::BootloadExited:
    case JobOutcome::Declined:
    case JobOutcome::Interrupted:
    case JobOutcome::VerifyFailed:
    case JobOutcome::PortUnavailable:
    case JobOutcome::PackageRefused:
    case JobOutcome::FinalCommandRefused:
    case JobOutcome::StillInBootloadMode:
    case JobOutcome::NotConfirmed:
    case JobOutcome::PinRefused:
      break;
  }
  return false;
}

void CheckRunning(JobResult& result, const UnitAddress& unit, const UnitUpdatePolicy& policy,
                  std::stop_token stop) {
  result.running = ConfirmRunning(unit, policy.parserPort, *policy.confirmRunningSeconds, stop);
  const RunningCheck& check = *result.running;
  if (check.running) return;
  if (check.interrupted) {
    result.outcome = JobOutcome::Interrupted;
    result.reason = "stopped while waiting for the unit to run again";
  } else {
    result.outcome = JobOutcome::NotConfirmed;
    result.reason = check.socketFailure
                        ? "the unit could not be asked whether it runs: " +
                              SocketFailureText(*check.socketFailure)
                        : "the unit was not seen running within " +
                              std::to_string(check.limitSeconds) + " s";
  }
}

}  // namespace

std::optional<std::string> PackageRefusal(const Package& package, const UnitUpdatePolicy& policy) {
  if (!policy.job.firmware || policy.force) return std::nullopt;
  const std::string version = package.UnitTexts().GetString("build-version");
  if (version.empty()) {
    return "the package names no build version (build-version in PROPERTIES/UNIT), so a newer "
           "unit cannot be told from an older one";
  }
  if (!ParseBuildVersion(version)) {
    return "the package's build version '" + version + "' is not of the form V<major>.<minor>";
  }
  return std::nullopt;
}

JobResult UpdateUnit(std::unique_ptr<Transport> transport, const Package& package,
                     const UnitUpdatePolicy& policy, JobObserver& observer,
                     std::stop_token stop, const UnitAddress* unit) {
  if (auto refusal = PackageRefusal(package, policy)) {
    JobResult refused;
    refused.outcome = JobOutcome::PackageRefused;
    refused.reason = std::move(*refusal);
    observer.Finished(refused);
    return refused;
  }
  JobOptions options = policy.job;
  options.stop = stop;
  const auto packageVersion =
      ParseBuildVersion(package.UnitTexts().GetString("build-version"));
  if (options.firmware && !policy.force) {
    options.versionGuard = [&](const ApplicationReading& reading) {
      if (reading.state == ApplicationState::Version && reading.version == *packageVersion) {
        observer.Message(
            "The unit reports this package's version; writing it again completes any "
            "earlier interrupted update.");
      }
      return GuardVersion(reading, *packageVersion, policy.askBeforeDowngrade);
    };
  }
  options.verifyApplicationVersion = policy.verify && options.firmware;
  options.fallbackApplicationVersion = packageVersion;

  VerdictLater events(observer);
  JobResult result = RunUpdateJob(std::move(transport), package, options, events);
  if (LeftBootloadMode(result.outcome) && policy.confirmRunningSeconds && unit != nullptr) {
    observer.StageBegan(Stage::ConfirmingRunning, 0);
    CheckRunning(result, *unit, policy, stop);
  }
  observer.Finished(result);
  return result;
}

JobResult UpdateUnit(const UnitAddress& unit, const Package& package, const UnitUpdatePolicy& policy,
                     JobObserver& observer, std::stop_token stop) {
  return UpdateUnit(unit.MakeBootloaderTransport(), package, policy, observer, std::move(stop),
                    &unit);
}

}  // namespace tessaline
