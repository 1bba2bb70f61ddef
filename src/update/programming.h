// The programming steps of an update: application records, flash data chunks, factory defaults.
#pragma once

#include <cstdint>
#include <stop_token>
#include <string>
#include <vector>

#include "link/bootloader_link.h"
#include "package/bin_manager.h"
#include "package/hex_manager.h"
#include "platform/digest.h"
#include "update/jobs.h"

namespace tessaline {

// What every step works with: the job's link, the command form the unit's identity chose, the
// job's observer and stop request, and the job's progress position.
struct ProgrammingSession {
  BootloaderLink& link;
  bool sequencedCommands;
  JobObserver& observer;
  std::stop_token stop;
  std::uint32_t position = 0;
  std::string failure;  // why the last step failed
  // When set, every batch of records and every chunk's data is added as it is sent.
  platform::Sha256* applicationDigest = nullptr;
  platform::Sha256* flashDataDigest = nullptr;
};

enum class StepResult { Done, Failed, Interrupted };

inline constexpr std::size_t kRecordsPerBatch = 8;
inline constexpr std::size_t kBatchCapacity = 2048;
// A batch is cut early so the whole request (code, sequence number, records, CRC) stays within
// 1023 bytes: even with every byte escaped its frame then fits the link's 2048-byte limits.
inline constexpr std::size_t kMaxBatchBytes = 1016;
inline constexpr std::size_t kFlashDataChunk = 64;
// Flash data chunk payload: address (4, LE), length (4, LE), 64 data bytes zero-filled.
inline constexpr std::size_t kFlashDataPayload = 8 + kFlashDataChunk;

// Cuts the image into batches of whole records: at most kRecordsPerBatch records and at most
// kMaxBatchBytes bytes. A record that does not fit waits for the next batch.
class RecordBatcher {
 public:
  explicit RecordBatcher(CHexManager& image);
  // Fills `batch` with the next batch; its record count in `records`. Empty at the end.
  void Next(std::vector<std::uint8_t>& batch, std::uint32_t& records);

 private:
  CHexManager& image_;
  std::vector<std::uint8_t> pending_;  // a record taken from the image that did not fit
};

// Builds the 72-byte payload of a flash data chunk.
void BuildFlashDataPayload(std::uint32_t address, const std::uint8_t* data, std::uint16_t length,
                           std::uint8_t (&payload)[kFlashDataPayload]);

// Each step announces its stage and stops at the first exchange not acknowledged (Failed) or
// when the stop request is seen before an exchange (Interrupted).
// Erase, begin, record batches, end.
StepResult ProgramApplication(ProgrammingSession& session, CHexManager& image);
// Erase, 64-byte addressed chunks, end.
StepResult ProgramFlashData(ProgrammingSession& session, CBinManager& image);
// One command; kFactoryDefaultsWeight progress units.
StepResult RestoreFactoryDefaults(ProgrammingSession& session);

}  // namespace tessaline
