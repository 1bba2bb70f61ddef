// The words and codes of every outcome.
#include "update/verdict.h"

#include "link/bootloader_commands.h"
#include "strings/ui_strings.h"
#include "update/exit_codes.h"

namespace tessaline {

namespace {
// Ends a text about a unit left part way with how this front end finishes it.
std::string RunAgain(AgainWording again) {
  return again == AgainWording::Window ? "; update the unit again to finish."
                                       : "; run the same command again to finish.";
}

// "The firmware update could not complete." with a reason: "... complete (the unit refused
// flash data chunk 50)."
std::string WithReason(std::string text, const std::string& reason) {
  if (reason.empty()) return text;
  if (!text.empty() && text.back() == '.') text.pop_back();
  return text + " (" + reason + ").";
}

// What an interrupted job leaves the unit in.
std::string InterruptedText(const JobResult& result, AgainWording again) {
  if (result.stage == Stage::Finishing && result.running) {
    return "Interrupted while waiting for the unit to run again: the firmware is written and the "
           "final command was taken.";
  }
  return "Interrupted " + WhatStoppingLeaves(result.stage, again);
}

std::string VerifyFailedText(const JobResult& job) {
  const std::string expected = job.applicationVersionExpected
                                   ? FormatApplicationVersion(*job.applicationVersionExpected)
                                   : std::string("the package's");
  return (job.applicationVersionAfter
              ? "Written, but the unit reports version " +
                    FormatApplicationVersion(*job.applicationVersionAfter) + " instead of " +
                    expected
              : "Written, but the unit did not report its version (expected " + expected + ")") +
         ". The final command was not sent: the unit stays in bootload mode for another try.";
}

// The final or exit command was not taken: what was done before, and where the unit is.
std::string NotLeftText(const JobResult& job, AgainWording again) {
  const std::string where = "The unit did not leave bootload mode (" + job.reason + ")";
  if (job.wroteFirmware) {
    return "The firmware was written and read back, but the unit did not leave bootload mode (" +
           job.reason + ")" + RunAgain(again);
  }
  return where + ".";
}

// A success's word, or "running" once the unit was seen running.
std::string SuccessWord(const JobResult& job, const char* word) {
  return job.running && job.running->running ? "running" : word;
}

std::string RunningText(const JobResult& job) {
  if (!job.running || !job.running->running) return {};
  return std::string(" The unit runs again (bootload state '") + job.running->bootloadState + "').";
}
}  // namespace

std::string WhatStoppingLeaves(Stage stage, AgainWording again) {
  switch (stage) {
    case Stage::ReadingMode:
      return "while reading the unit's mode, before anything that changes it was sent: the unit "
             "is unchanged.";
    case Stage::EnteringBootload:
      return "while sending the PIN sequence: the unit may still run its application or be "
             "restarting into its bootloader" +
             RunAgain(again);
    case Stage::WaitingForBootloader:
      return "while waiting for the bootloader: the unit took the bootload command and is in, or "
             "on its way to, bootload mode with its firmware unchanged" +
             RunAgain(again);
    case Stage::Initializing:
      return "before anything was erased: the unit is unchanged and stays in bootload mode.";
    case Stage::Application:
      return "while writing the application: the unit stays in bootload mode without complete "
             "firmware" +
             RunAgain(again);
    case Stage::FlashData:
      return "while writing the flash data: the unit stays in bootload mode without complete "
             "firmware" +
             RunAgain(again);
    case Stage::FactoryDefaults:
      return "while restoring the factory defaults: the unit stays in bootload mode" +
             RunAgain(again);
    case Stage::Verifying:
    case Stage::Finishing:
    case Stage::ConfirmingRunning:
      break;
  }
  return "before the final command was known taken: the firmware is written, but the unit may "
         "stay in bootload mode" +
         RunAgain(again);
}

Verdict VerdictOf(const JobResult& job, const PropertiesContainer& updaterTexts,
                  AgainWording again) {
  switch (job.outcome) {
    case JobOutcome::Succeeded:
      return {kExitSuccess, SuccessWord(job, "succeeded"),
              UiString(IDS_UPDATE_SUCCEEDED) + RunningText(job)};
    case JobOutcome::WrittenUnverified:
      return {kExitSuccess, SuccessWord(job, "written-unverified"),
              "The firmware was written and the unit left bootload mode, but its version was not "
              "checked: " +
                  job.reason + "." + RunningText(job)};
    case JobOutcome::FinishedWithoutFirmware:
      return {kExitSuccess, SuccessWord(job, "no-firmware"),
              (job.restoredFactoryDefaults
                   ? std::string("The factory defaults were restored and the unit left bootload "
                                 "mode; no firmware was written.")
                   : std::string("No firmware was written; the unit only left bootload mode.")) +
                  RunningText(job)};
    case JobOutcome::UpdateFailed:
      return {kExitUpdateFailed, "failed", WithReason(UiString(IDS_UPDATE_FAILED), job.reason)};
    case JobOutcome::NoResponse:
      return {kExitNoResponse, "no-response", updaterTexts.GetString("error-message.NoResponse")};
    case JobOutcome::WrongResponse:
      return {kExitWrongResponse, "wrong-response",
              WithReason(updaterTexts.GetString("error-message.WrongResponse"), job.reason)};
    case JobOutcome::BootloadExited:
      return {kExitSuccess, "bootload-exited", UiString(IDS_BOOTLOAD_EXITED)};
    case JobOutcome::Declined:
      return {kExitDeclined, "declined", "Nothing was erased: " + job.reason + "."};
    case JobOutcome::Interrupted:
      return {kExitInterrupted, "interrupted", InterruptedText(job, again)};
    case JobOutcome::VerifyFailed:
      return {kExitVerifyFailed, "verify-failed", VerifyFailedText(job)};
    case JobOutcome::PortUnavailable:
      return {kExitPortUnavailable, "port-unavailable",
              "The unit's port could not be opened (" + job.reason + "); nothing was sent."};
    case JobOutcome::PackageRefused:
      return {kExitPackageRefused, "package-refused",
              "The package cannot update firmware: " + job.reason + "; nothing was sent."};
    case JobOutcome::FinalCommandRefused:
      return {kExitFinalCommandRefused, "final-refused", NotLeftText(job, again)};
    case JobOutcome::StillInBootloadMode:
      return {kExitStillInBootloadMode, "still-in-bootload", NotLeftText(job, again)};
    case JobOutcome::NotConfirmed:
      return {kExitNotConfirmed, "not-confirmed",
              "The firmware was written and the unit left bootload mode, but " + job.reason + "."};
    case JobOutcome::PinRefused:
      return {kExitPinRefused, "pin-refused",
              "The unit refused the PIN sequence (" + job.reason +
                  "); it was left untouched, running its application."};
  }
  return {kExitUpdateFailed, "failed", WithReason(UiString(IDS_UPDATE_FAILED), job.reason)};
}

}  // namespace tessaline
