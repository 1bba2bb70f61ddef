// The update job and the exit-bootload job, and the thread that runs one of them at a time.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <optional>
#include <string_view>

#include "link/bootloader_link.h"
#include "package/bin_manager.h"
#include "package/hex_manager.h"
#include "package/package_contents.h"
#include "platform/clock.h"
#include "platform/threading.h"
#include "shell/unit_request.h"
#include "update/unit_identity.h"

namespace tessaline {

// Pauses of the job: between steps, so the unit's bootloader can finish flash housekeeping, and
// after the result message, before the thread ends.
inline constexpr std::uint32_t kStepPauseMs = 10;
inline constexpr std::uint32_t kJobEndPauseMs = 500;

// How a job ended. Every outcome but Declined has its result message (posted before return).
enum class JobOutcome {
  Succeeded,       // WM_APP_UPDATE_SUCCEEDED
  UpdateFailed,    // WM_APP_UPDATE_FAILED
  NoResponse,      // WM_APP_NO_RESPONSE
  WrongResponse,   // WM_APP_WRONG_RESPONSE
  BootloadExited,  // WM_APP_BOOTLOAD_EXITED
  Declined,        // the version guard stopped the job before anything was erased; no message
};

// Called once the unit's application version has been asked for (the 0x89 exchange) with that
// version (major << 16 | minor), or none when the unit gave none. False stops the job before
// anything is erased. Only the command-line front end sets one.
using VersionGuard = std::function<bool(std::optional<std::uint32_t> applicationVersion)>;

// What a job works with. Every empty field means the process-wide default: the job link,
// ApplicationImage, FlashDataImage, ImagePresence, the resource loaders, the Overwrite choices
// and the system clock. Tests vary the package through these.
struct JobEnvironment {
  BootloaderLink* link = nullptr;
  CHexManager* applicationImage = nullptr;
  CBinManager* flashDataImage = nullptr;
  std::optional<ImagePresenceFlags> presence;
  std::function<bool(CHexManager&, std::string_view resource)> loadApplication;
  std::function<bool(CBinManager&, std::string_view resource)> loadFlashData;
  std::optional<bool> overwriteFirmware;
  std::optional<bool> overwriteFactoryDefaults;
  platform::Clock* clock = nullptr;
  VersionGuard versionGuard;
};

// The one link every job uses, for the life of the process.
BootloaderLink& ProcessBootloaderLink();

// The update job's identity: its SequencedCommands stays in force until the next update job.
UnitIdentity& UpdateJobIdentity();

// The request the desktop program fills for each job.
extern UnitRequest JobRequest;

// The job bodies with an explicit environment; they run on the calling thread.
JobOutcome RunUpdateJob(UnitRequest request, const JobEnvironment& environment);
JobOutcome RunExitBootloadJob(UnitRequest request, const JobEnvironment& environment);

// The job bodies with the process-wide environment.
void bootload_thread(UnitRequest request);
void exit_bootload_thread(UnitRequest request);

enum class JobKind { Update, ExitBootload };

// Runs one job on its own thread. At most one job at a time is the caller's rule; Start refuses
// while a job is still running.
class JobThread {
 public:
  JobThread() = default;
  ~JobThread() { Wait(); }
  JobThread(const JobThread&) = delete;
  JobThread& operator=(const JobThread&) = delete;

  // False when a job is running or no thread could be started (then no message follows).
  bool Start(JobKind kind, UnitRequest request);
  // Waits for the job's thread to end (returns at once when none was started).
  void Wait();
  // True from Start until the job body has returned.
  bool Running() const { return running_.load(); }

 private:
  std::atomic<bool> running_{false};
  platform::JoinedThread thread_;
};

}  // namespace tessaline
