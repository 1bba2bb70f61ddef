// The update job, the exit-bootload job and JobThread.
#include "update/jobs.h"

#include <system_error>

#include "package/package_globals.h"
#include "shell/messages.h"
#include "shell/settings.h"
#include "shell/ui_strings.h"
#include "update/bootloader_commands.h"
#include "update/programming.h"
#include "update/progress.h"

namespace tessaline {

UnitRequest JobRequest;

BootloaderLink& ProcessBootloaderLink() {
  static BootloaderLink link;
  return link;
}

UnitIdentity& UpdateJobIdentity() {
  static UnitIdentity identity;
  return identity;
}

namespace {

constexpr std::uint16_t kApplicationVersionReplyLength = 7;  // code, 4 version bytes, CRC

// The environment with every default filled in.
struct ResolvedEnvironment {
  BootloaderLink& link;
  CHexManager& applicationImage;
  CBinManager& flashDataImage;
  ImagePresenceFlags presence;
  std::function<bool(CHexManager&, std::string_view)> loadApplication;
  std::function<bool(CBinManager&, std::string_view)> loadFlashData;
  platform::Clock& clock;
  const JobEnvironment& given;

  bool Firmware() const { return given.overwriteFirmware.value_or(OverwriteFirmware.load()); }
  bool FactoryDefaults() const {
    return given.overwriteFactoryDefaults.value_or(OverwriteFactoryDefaults.load());
  }
};

ResolvedEnvironment Resolve(const JobEnvironment& e) {
  auto loadApplication = e.loadApplication;
  if (!loadApplication) {
    loadApplication = [](CHexManager& image, std::string_view name) {
      return image.LoadHexResource(name);
    };
  }
  auto loadFlashData = e.loadFlashData;
  if (!loadFlashData) {
    loadFlashData = [](CBinManager& image, std::string_view name) {
      return image.LoadFromResource(name);
    };
  }
  return ResolvedEnvironment{e.link ? *e.link : ProcessBootloaderLink(),
                             e.applicationImage ? *e.applicationImage : ApplicationImage(),
                             e.flashDataImage ? *e.flashDataImage : FlashDataImage(),
                             e.presence.value_or(ImagePresence()),
                             std::move(loadApplication),
                             std::move(loadFlashData),
                             e.clock ? *e.clock : platform::SystemClock(),
                             e};
}

void Post(MessageTarget* window, std::uint32_t code) {
  if (window != nullptr) window->Post(WorkerMessage{code, 0, 0, {}});
}

// Which of the unit's own images this job may write.
struct UnitImages {
  bool served = false;       // the package carries the unit's variant and its images loaded
  bool application = false;  // the unit's application image is loaded
  bool flashData = false;    // the unit's flash data image is loaded
};

// An area is only ever erased when the unit's own image is there to be written into it, and an
// image object never keeps what an earlier job loaded for another unit.
UnitImages LoadUnitImages(const UnitIdentity& identity, ResolvedEnvironment& env) {
  UnitImages images;
  env.applicationImage.ClearRecords();
  env.flashDataImage.ReleaseImage();
  const auto variant = SelectVariant(identity.mcuFamily, identity.dsp);
  if (!variant) return images;
  const auto& applicationRow = PackageVariants[ApplicationRow(*variant)];
  const auto& flashDataRow = PackageVariants[FlashDataRow(*variant)];
  const bool applicationPresent = env.presence[ApplicationRow(*variant)];
  const bool flashDataPresent = env.presence[FlashDataRow(*variant)];
  if (applicationPresent) {
    images.application = env.loadApplication(env.applicationImage, applicationRow.resource);
  }
  if (flashDataPresent) {
    images.flashData = env.loadFlashData(env.flashDataImage, flashDataRow.resource);
  }
  // A carried image that will not load refuses the unit rather than half-update it.
  images.served = (applicationPresent || flashDataPresent) &&
                  images.application == applicationPresent && images.flashData == flashDataPresent;
  return images;
}

std::optional<std::uint32_t> AskApplicationVersion(BootloaderLink& link, bool sequenced) {
  if (!link.Exchange(WireCode(ApplicationVersionCommand, sequenced), nullptr, 0,
                     kApplicationVersionSchedule.sends, kApplicationVersionSchedule.timeoutMs) ||
      link.GetReplyLength() < kApplicationVersionReplyLength) {
    return std::nullopt;
  }
  const std::uint8_t* reply = link.GetReply();
  const std::uint32_t version = std::uint32_t{reply[1]} | std::uint32_t{reply[2]} << 8 |
                                std::uint32_t{reply[3]} << 16 | std::uint32_t{reply[4]} << 24;
  // 0 and all ones are what a unit without an application reports.
  if (version == 0 || version == 0xFFFFFFFFu) return std::nullopt;
  return version;
}

JobOutcome EndRefused(BootloaderLink& link, platform::Clock& clock, MessageTarget* window,
                      JobOutcome outcome) {
  Post(window, outcome == JobOutcome::NoResponse ? WM_APP_NO_RESPONSE : WM_APP_WRONG_RESPONSE);
  link.CloseTransport();
  clock.Sleep(kJobEndPauseMs);
  return outcome;
}

}  // namespace

JobOutcome RunUpdateJob(UnitRequest request, const JobEnvironment& environment) {
  ThreadNameHook("bootload_thread");
  ResolvedEnvironment env = Resolve(environment);
  BootloaderLink& link = env.link;
  UnitIdentity& identity = UpdateJobIdentity();
  identity.SequencedCommands = false;
  link.SetTransport(std::move(request.transport));
  // The request keeps the window alive for the whole job.
  MessageTarget* window = request.window.get();

  PostProgressText(window, UiString(IDS_STAGE_INITIALIZING));
  link.OpenTransport();  // a transport that did not open fails the first exchange

  switch (CheckBootloaderIdentity(link, identity)) {
    case IdentityNoResponse:
      return EndRefused(link, env.clock, window, JobOutcome::NoResponse);
    case IdentityWrong:
      return EndRefused(link, env.clock, window, JobOutcome::WrongResponse);
    case IdentityOk:
      break;
  }

  const auto applicationVersion = AskApplicationVersion(link, identity.SequencedCommands);
  if (environment.versionGuard && !environment.versionGuard(applicationVersion)) {
    link.CloseTransport();
    return JobOutcome::Declined;
  }

  const UnitImages images = LoadUnitImages(identity, env);
  if (!images.served) return EndRefused(link, env.clock, window, JobOutcome::WrongResponse);
  env.applicationImage.RewindRecords();
  env.flashDataImage.RewindChunks();

  // The user's Firmware choice, not the package's contents, decides whether firmware is written.
  const bool firmware = env.Firmware();
  const bool factoryDefaults = env.FactoryDefaults();
  const bool writeApplication = firmware && images.application;
  const bool writeFlashData = firmware && images.flashData;
  std::uint32_t total = 0;
  if (writeApplication) total += env.applicationImage.RecordCount();
  if (writeFlashData) total += env.flashDataImage.GetImageSize();
  if (factoryDefaults) total += kFactoryDefaultsWeight;
  if (window != nullptr) window->Send(WorkerMessage{WM_APP_PROGRESS_RANGE, 0, total, {}});
  ProgressPosition = 0;

  ProgrammingSession session{link, identity.SequencedCommands, window, ProgressPosition};
  bool ok = !writeApplication || ProgramApplication(session, env.applicationImage);
  if (ok) {
    env.clock.Sleep(kStepPauseMs);
    ok = !writeFlashData || ProgramFlashData(session, env.flashDataImage);
  }
  if (ok) {
    env.clock.Sleep(kStepPauseMs);
    ok = !factoryDefaults || RestoreFactoryDefaults(session);
  }
  if (ok) {
    env.clock.Sleep(kStepPauseMs);
    // The unit resets into the new firmware; its answer, if any, is not needed.
    link.Exchange(WireCode(FinishUpdateCommand, identity.SequencedCommands), nullptr, 0,
                  kFinishUpdateSchedule.sends, kFinishUpdateSchedule.timeoutMs);
  }
  link.CloseTransport();
  Post(window, ok ? WM_APP_UPDATE_SUCCEEDED : WM_APP_UPDATE_FAILED);
  env.clock.Sleep(kJobEndPauseMs);
  return ok ? JobOutcome::Succeeded : JobOutcome::UpdateFailed;
}

JobOutcome RunExitBootloadJob(UnitRequest request, const JobEnvironment& environment) {
  ThreadNameHook("exit_bootload_thread");
  BootloaderLink& link = environment.link ? *environment.link : ProcessBootloaderLink();
  platform::Clock& clock = environment.clock ? *environment.clock : platform::SystemClock();
  link.SetTransport(std::move(request.transport));
  MessageTarget* window = request.window.get();
  link.OpenTransport();

  // Its own identity: the command form comes from this unit's answer, not an earlier job's.
  UnitIdentity identity;
  switch (CheckBootloaderIdentity(link, identity)) {
    case IdentityNoResponse:
      return EndRefused(link, clock, window, JobOutcome::NoResponse);
    case IdentityWrong:
      return EndRefused(link, clock, window, JobOutcome::WrongResponse);
    case IdentityOk:
      break;
  }
  link.Exchange(WireCode(ExitBootloadCommand, identity.SequencedCommands), nullptr, 0,
                kExitBootloadSchedule.sends, kExitBootloadSchedule.timeoutMs);
  link.CloseTransport();
  Post(window, WM_APP_BOOTLOAD_EXITED);
  clock.Sleep(kJobEndPauseMs);
  return JobOutcome::BootloadExited;
}

void bootload_thread(UnitRequest request) { RunUpdateJob(std::move(request), JobEnvironment{}); }

void exit_bootload_thread(UnitRequest request) {
  RunExitBootloadJob(std::move(request), JobEnvironment{});
}

bool JobThread::Start(JobKind kind, UnitRequest request) {
  if (running_.load()) return false;
  thread_.Join();
  running_ = true;
  try {
    thread_ = platform::JoinedThread([this, kind, job = std::move(request)]() mutable {
      if (kind == JobKind::Update) {
        bootload_thread(std::move(job));
      } else {
        exit_bootload_thread(std::move(job));
      }
      running_ = false;
    });
  } catch (const std::system_error&) {
    running_ = false;
    return false;
  }
  return true;
}

void JobThread::Wait() { thread_.Join(); }

}  // namespace tessaline
