// Filling a receipt from what the job, the read-back and the running check found.
#include "update/unit_receipt.h"

#include "link/bootloader_commands.h"
#include "version_info.h"

namespace tessaline {

namespace {
// The choices that shape what a job does to a unit, as the command line names them.
std::map<std::string, std::string> OptionsOf(const UnitUpdatePolicy& policy) {
  std::map<std::string, std::string> options;
  if (!policy.job.firmware) options["no-firmware"] = "";
  if (policy.job.factoryDefaults) options["factory-defaults"] = "";
  if (policy.force) options["force"] = "";
  if (!policy.verify) options["no-verify"] = "";
  if (policy.confirmRunningSeconds) {
    options["confirm-running"] = std::to_string(*policy.confirmRunningSeconds);
  }
  return options;
}
}  // namespace

receipts::Receipt BuildReceipt(const UnitAddress& unit, const JobResult& job,
                               const UnitUpdatePolicy& policy, const Package& package,
                               const Verdict& verdict,
                               std::chrono::system_clock::time_point finished) {
  receipts::Receipt r;
  r.time = receipts::UtcTimestamp(finished);
  r.programVersion = TESSALINE_PROGRAM_VERSION;
  r.unit = unit.Label();
  r.identity = job.identity.text;
  if (job.variant) r.variant = job.identity.mcuFamily + "_" + job.identity.dsp;
  if (!job.identity.text.empty()) {
    r.bootloaderVersion = FormatBootloaderVersion(job.identity.bootloaderVersion);
  }
  if (job.applicationVersionBefore) {
    r.applicationVersionBefore = FormatApplicationVersion(*job.applicationVersionBefore);
  }
  if (job.applicationBefore) {
    r.applicationBefore = std::string(ApplicationStateWord(job.applicationBefore->state));
  }
  if (job.applicationVersionAfter) {
    r.applicationVersionAfter = FormatApplicationVersion(*job.applicationVersionAfter);
  }
  r.packageBuildVersion = package.UnitTexts().GetString("build-version");
  r.applicationSha256 = job.applicationSha256;
  r.flashDataSha256 = job.flashDataSha256;
  r.options = OptionsOf(policy);
  for (const StageStats& stage : job.stages) {
    r.stages.push_back(
        {StageName(stage.stage), stage.exchanges, stage.sends - stage.exchanges, stage.durationMs});
  }
  r.totalMs = job.totalMs;
  r.outcome = {verdict.result, verdict.text, verdict.exitCode};
  if (job.running) {
    const RunningCheck& check = *job.running;
    receipts::RunningConfirmation confirmation;
    confirmation.limitSeconds = check.limitSeconds;
    confirmation.running = check.running;
    confirmation.elapsedMs = check.elapsedMs;
    confirmation.detail = check.running
                              ? std::string("bootload state '") + check.bootloadState + "'"
                          : check.interrupted ? "interrupted while waiting"
                                              : "no answer on the text port";
    r.confirmation = confirmation;
  }
  return r;
}

}  // namespace tessaline
