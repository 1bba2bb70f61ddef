// A unit's update from either mode: the PIN sequence and the wait for the bootloader first.
#include "update/running_to_running.h"

#include <chrono>

#include "discovery/text_protocol.h"
#include "discovery/version_worker.h"
#include "link/bootloader_commands.h"
#include "link/bootloader_link.h"
#include "update/running_confirmation.h"

namespace tessaline {

namespace {

class StateListener final : public VersionListener {
 public:
  explicit StateListener(UnitState& state) : state_(state) {}
  void QueryBegan() override {}
  void BootloaderVersion(std::uint16_t version) override {
    state_.mode = UnitMode::Bootload;
    state_.bootloaderVersion = version;
  }
  void ApplicationVersion(std::optional<std::uint32_t> version) override {
    state_.applicationVersion = version;
  }
  void NoBootloader() override {}
  void BootloadState(char letter) override {
    state_.mode = UnitMode::Application;
    state_.bootloadState = letter;
  }
  void SocketFailed(const SocketFailure& failure) override { state_.socketFailure = failure; }
  void QueryEnded() override {}

 private:
  UnitState& state_;
};

JobResult EndedBefore(JobOutcome outcome, Stage stage, std::string reason) {
  JobResult result;
  result.outcome = outcome;
  result.stage = stage;
  result.reason = std::move(reason);
  return result;
}

// Takes a unit in application mode into bootload mode; none when its bootloader answers.
std::optional<JobResult> EnterBootload(const UnitAddress& unit, std::uint32_t parserPort,
                                       std::string_view pin, JobObserver& observer,
                                       std::stop_token stop) {
  observer.StageBegan(Stage::EnteringBootload, 0);
  std::optional<PinSequenceResult> sent;
  const TextSearchResult found = TextPortSearch(unit, parserPort, kEnterBootloadSearchTimeoutMs,
                                                [&](Transport& text, const std::string& /*reply*/) {
                                                  if (!stop.stop_requested())
                                                    sent = SendPinSequence(text, pin);
                                                });
  if (!sent && stop.stop_requested()) {
    return EndedBefore(JobOutcome::Interrupted, Stage::ReadingMode, "stopped on request");
  }
  if (!sent) {
    JobResult silent = EndedBefore(JobOutcome::NoResponse, Stage::EnteringBootload,
                                   "its text port stopped answering before the PIN was sent");
    silent.socketFailure = found.socketFailure;
    return silent;
  }
  if (!sent->accepted) {
    return EndedBefore(
        JobOutcome::PinRefused, Stage::EnteringBootload,
        "the " + sent->refusedStep + " command was answered " +
            (sent->reply.empty() ? std::string("with silence") : "'" + sent->reply + "'"));
  }
  observer.StageBegan(Stage::WaitingForBootloader, 0);
  if (WaitForBootloader(unit, kBootloaderWaitLimitMs, stop)) return std::nullopt;
  if (stop.stop_requested()) {
    return EndedBefore(JobOutcome::Interrupted, Stage::WaitingForBootloader, "stopped on request");
  }
  return EndedBefore(JobOutcome::NoResponse, Stage::WaitingForBootloader,
                     "the unit took the bootload command, but its bootloader did not answer "
                     "within " +
                         std::to_string(kBootloaderWaitLimitMs / 1000) +
                         " s; its firmware is unchanged");
}

}  // namespace

std::string_view UnitModeWord(UnitMode mode) {
  switch (mode) {
    case UnitMode::Bootload:
      return "bootload";
    case UnitMode::Application:
      return "application";
    case UnitMode::Silent:
      break;
  }
  return "silent";
}

UnitState ReadUnitState(const UnitAddress& unit, std::uint32_t parserPort) {
  UnitState state;
  StateListener listener(state);
  RunVersionQuery(unit, parserPort, listener);
  if (state.mode == UnitMode::Bootload) {
    BootloaderLink link;
    link.SetTransport(unit.MakeBootloaderTransport());
    UnitIdentity identity;
    if (link.OpenTransport() && CheckBootloaderIdentity(link, identity) == IdentityOk) {
      state.identity = identity;
    }
    link.CloseTransport();
  }
  return state;
}

bool WaitForBootloader(const UnitAddress& unit, std::uint32_t limitMs, std::stop_token stop) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(limitMs);
  BootloaderLink link;
  link.SetStop(stop);
  link.SetTransport(unit.MakeBootloaderTransport());
  while (!stop.stop_requested() && std::chrono::steady_clock::now() < deadline) {
    // A serial port may be busy while the unit restarts: opened again on each turn.
    if (link.OpenTransport() &&
        link.Exchange(BootloaderVersionCommand, nullptr, 0, 1, kBootloaderPollTimeoutMs)) {
      link.CloseTransport();
      return true;
    }
    link.CloseTransport();
    platform::SleepMs(kBootloaderPollTimeoutMs / 5);
  }
  return false;
}

JobResult UpdateFromAnyMode(const UnitAddress& unit, const Package& package,
                            const UnitUpdatePolicy& policy, std::string_view pin,
                            JobObserver& observer, std::stop_token stop) {
  UnitUpdatePolicy confirmed = policy;
  if (!confirmed.confirmRunningSeconds) confirmed.confirmRunningSeconds = kDefaultConfirmSeconds;
  observer.StageBegan(Stage::ReadingMode, 0);
  const UnitState state = ReadUnitState(unit, policy.parserPort);
  // A stop that came while the mode was read must not let the PIN or an erase go out after it.
  if (stop.stop_requested()) {
    JobResult stopped =
        EndedBefore(JobOutcome::Interrupted, Stage::ReadingMode, "stopped on request");
    observer.Finished(stopped);
    return stopped;
  }
  if (state.mode == UnitMode::Application) {
    if (auto ended = EnterBootload(unit, policy.parserPort, pin, observer, stop)) {
      observer.Finished(*ended);
      return std::move(*ended);
    }
  }
  // A silent unit goes to the job too: its verdict says no bootloader answered.
  return UpdateUnit(unit, package, confirmed, observer, stop);
}

}  // namespace tessaline
