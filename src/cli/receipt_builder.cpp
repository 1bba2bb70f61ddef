// Filling a receipt from what the job, the read-back and the running check found.
#include "cli/receipt_builder.h"

#include <nlohmann/json.hpp>

#include "link/bootloader_commands.h"
#include "version_info.h"

namespace tessaline::cli {

namespace {
// The choices that shape what a job does to a unit, as the command line names them.
std::map<std::string, std::string> OptionsOf(const UpdateSettings& settings) {
  std::map<std::string, std::string> options;
  if (!settings.job.firmware) options["no-firmware"] = "";
  if (settings.job.factoryDefaults) options["factory-defaults"] = "";
  if (settings.force) options["force"] = "";
  if (!settings.verify) options["no-verify"] = "";
  if (settings.confirmRunningSeconds) {
    options["confirm-running"] = std::to_string(*settings.confirmRunningSeconds);
  }
  return options;
}
}  // namespace

receipts::Receipt BuildReceipt(const UnitAddress& unit, const UnitUpdateReport& report,
                               const UpdateSettings& settings,
                               std::chrono::system_clock::time_point finished) {
  const JobResult& job = report.job;
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
  if (job.applicationVersionAfter) {
    r.applicationVersionAfter = FormatApplicationVersion(*job.applicationVersionAfter);
  }
  r.packageBuildVersion = settings.packageBuildVersion;
  r.applicationSha256 = job.applicationSha256;
  r.flashDataSha256 = job.flashDataSha256;
  r.options = OptionsOf(settings);
  for (const StageStats& stage : job.stages) {
    r.stages.push_back(
        {StageName(stage.stage), stage.exchanges, stage.sends - stage.exchanges, stage.durationMs});
  }
  r.totalMs = job.totalMs;
  r.outcome = {report.outcome.result, report.outcome.text, report.outcome.exitCode};
  if (report.running) {
    const RunningCheck& check = *report.running;
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

JsonEvent ResultEvent(const UnitUpdateReport& report) {
  JsonEvent event{{"event", "result"},
                  {"result", report.outcome.result},
                  {"text", report.outcome.text},
                  {"exit_code", report.outcome.exitCode},
                  {"receipt", receipts::ReceiptJson(report.receipt)}};
  if (!report.receiptError.empty()) event["receipt_error"] = report.receiptError;
  return event;
}

}  // namespace tessaline::cli
