// Application programming, flash data programming and the factory defaults step.
#include "update/programming.h"

#include <cstring>

#include "shell/ui_strings.h"
#include "update/bootloader_commands.h"
#include "update/progress.h"

namespace tessaline {

namespace {
// Batches and chunks demand status byte 1 = 1 whatever the reply length beyond it.
bool DataExchange(ProgrammingSession& session, std::uint8_t plainCode, const std::uint8_t* data,
                  std::uint32_t length, SendSchedule schedule) {
  if (!session.link.Exchange(WireCode(plainCode, session.sequencedCommands), data, length,
                             schedule.sends, schedule.timeoutMs)) {
    return false;
  }
  return DataReplyAccepted(session.link.GetReply(), session.link.GetReplyLength());
}

bool Command(ProgrammingSession& session, std::uint8_t plainCode, SendSchedule schedule) {
  return SendCommand(session.link, session.sequencedCommands, plainCode, nullptr, 0, schedule);
}

void Advance(ProgrammingSession& session, std::uint32_t units) {
  const std::uint32_t position = session.progress.fetch_add(units) + units;
  PostProgressPosition(session.window, position);
}
}  // namespace

RecordBatcher::RecordBatcher(CHexManager& image) : image_(image) {
  pending_.reserve(kMaxHexRecordBytes);
}

void RecordBatcher::Next(std::vector<std::uint8_t>& batch, std::uint32_t& records) {
  batch.clear();
  records = 0;
  std::uint8_t record[kMaxHexRecordBytes];
  while (records < kRecordsPerBatch) {
    if (pending_.empty()) {
      const std::uint16_t length = image_.NextRecord(record, sizeof record);
      if (length == 0) break;
      pending_.assign(record, record + length);
    }
    if (records > 0 && batch.size() + pending_.size() > kMaxBatchBytes) break;
    batch.insert(batch.end(), pending_.begin(), pending_.end());
    pending_.clear();
    ++records;
  }
}

void BuildFlashDataPayload(std::uint32_t address, const std::uint8_t* data, std::uint16_t length,
                           std::uint8_t (&payload)[kFlashDataPayload]) {
  std::memset(payload, 0, sizeof payload);
  for (int i = 0; i < 4; ++i) {
    payload[i] = static_cast<std::uint8_t>(address >> (8 * i));
    payload[4 + i] = static_cast<std::uint8_t>(std::uint32_t{length} >> (8 * i));
  }
  std::memcpy(payload + 8, data, length);
}

bool ProgramApplication(ProgrammingSession& session, CHexManager& image) {
  PostProgressText(session.window, UiString(IDS_STAGE_APPLICATION));
  if (!Command(session, EraseApplicationCommand, kEraseApplicationSchedule)) return false;
  image.RewindRecords();
  if (!Command(session, BeginApplicationCommand, kBeginApplicationSchedule)) return false;

  RecordBatcher batcher(image);
  std::vector<std::uint8_t> batch;
  batch.reserve(kBatchCapacity);
  std::uint32_t records = 0;
  for (;;) {
    batcher.Next(batch, records);
    if (records == 0) return Command(session, EndApplicationCommand, kEndApplicationSchedule);
    if (!DataExchange(session, ApplicationRecordsCommand, batch.data(),
                      static_cast<std::uint32_t>(batch.size()), kApplicationRecordsSchedule)) {
      return false;
    }
    Advance(session, records);
  }
}

bool ProgramFlashData(ProgrammingSession& session, CBinManager& image) {
  PostProgressText(session.window, UiString(IDS_STAGE_UI));
  if (!Command(session, EraseFlashDataCommand, kEraseFlashDataSchedule)) return false;
  image.RewindChunks();
  std::uint8_t chunk[kFlashDataChunk];
  std::uint8_t payload[kFlashDataPayload];
  for (;;) {
    std::uint32_t address = 0;
    const std::uint16_t length = image.NextChunk(chunk, kFlashDataChunk, address);
    if (length == 0) return Command(session, EndFlashDataCommand, kEndFlashDataSchedule);
    BuildFlashDataPayload(address, chunk, length, payload);
    if (!DataExchange(session, FlashDataChunkCommand, payload, kFlashDataPayload,
                      kFlashDataChunkSchedule)) {
      return false;
    }
    Advance(session, length);
  }
}

bool RestoreFactoryDefaults(ProgrammingSession& session) {
  PostProgressText(session.window, UiString(IDS_STAGE_FACTORY_DEFAULTS));
  if (!Command(session, FactoryDefaultsCommand, kFactoryDefaultsSchedule)) return false;
  Advance(session, kFactoryDefaultsWeight);
  return true;
}

}  // namespace tessaline
