// The exit codes of tessaline-update, one per outcome a script can act on; a unit's verdict
// carries the same code wherever it is shown (a rack's summary, a receipt).
#pragma once

namespace tessaline {

enum ExitCode : int {
  kExitSuccess = 0,        // the command did what it was asked
  kExitUpdateFailed = 1,   // a programming step failed; the unit needs another update
  kExitNoResponse = 2,     // the unit's bootloader did not answer
  kExitWrongResponse = 3,  // the unit answered but was refused, or the package cannot serve it
  kExitDeclined = 4,       // the unit runs a newer version; stopped before anything was erased
  kExitNotFound = 5,       // nothing answered a search or query, or a file to read is missing
  kExitBlocked = 6,        // doctor: something on this computer blocks discovery
  kExitVerifyFailed = 7,   // written, but the version read back is not the package's
  kExitBadReceipts = 8,    // a receipts file has a line that breaks its form or its chain
  kExitSomeUnitsFailed = 9,  // several units: not every one succeeded (each unit's code is in the summary)
  kExitNotConfirmed = 10,  // written, but the unit was not seen running in time
  // The unit's port could not be opened; the system's reason is shown.
  kExitPortUnavailable = 11,
  // The package is damaged or cannot serve the request; nothing was sent.
  kExitPackageRefused = 12,
  // --receipt FILE cannot take the unit's receipt: refused before any unit was touched, or the
  // append failed after the unit's job (which otherwise succeeded).
  kExitReceiptNotWritten = 13,
  // The unit refused the final (or exit) command: it stays in bootload mode.
  kExitFinalCommandRefused = 14,
  // The final (or exit) command went unanswered while the bootloader kept answering.
  kExitStillInBootloadMode = 15,
  // The running unit refused the PIN sequence: it was left as it was.
  kExitPinRefused = 16,
  // Several units: some were updated and the others never touched.
  kExitPartlyUpdated = 17,
  kExitUsage = 64,         // bad command line (the BSD sysexits value)
  // The terminal hung up: running units were finished, no other started (128 + SIGHUP).
  kExitHungUp = 129,
  kExitInterrupted = 130,  // Ctrl+C and its kin stopped the job (128 + SIGINT, as shells do)
};

}  // namespace tessaline
