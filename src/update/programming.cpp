// Application programming, flash data programming and the factory defaults step.
#include "update/programming.h"

#include <cstring>

#include "update/bootloader_commands.h"

namespace tessaline {

namespace {
// Batches and chunks demand status byte 1 = 1 whatever the reply length beyond it; other
// commands are judged by their status reply.
StepResult Exchange(ProgrammingSession& session, std::uint8_t plainCode, const std::uint8_t* data,
                    std::uint32_t length, SendSchedule schedule, bool dataReply) {
  if (session.stop.stop_requested()) return StepResult::Interrupted;
  BootloaderLink& link = session.link;
  if (!link.Exchange(WireCode(plainCode, session.sequencedCommands), data, length, schedule.sends,
                     schedule.timeoutMs)) {
    session.failure = "no answer to " + CommandName(plainCode);
    return StepResult::Failed;
  }
  const bool accepted = dataReply ? DataReplyAccepted(link.GetReply(), link.GetReplyLength())
                                  : StatusReplyAccepted(link.GetReply(), link.GetReplyLength());
  if (accepted) return StepResult::Done;
  session.failure = "the unit refused " + CommandName(plainCode);
  return StepResult::Failed;
}

StepResult Command(ProgrammingSession& session, std::uint8_t plainCode, SendSchedule schedule) {
  return Exchange(session, plainCode, nullptr, 0, schedule, false);
}

void Advance(ProgrammingSession& session, std::uint32_t units) {
  session.position += units;
  session.observer.PositionMoved(session.position);
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

StepResult ProgramApplication(ProgrammingSession& session, CHexManager& image) {
  session.observer.StageBegan(Stage::Application, image.RecordCount());
  if (auto r = Command(session, EraseApplicationCommand, kEraseApplicationSchedule);
      r != StepResult::Done) {
    return r;
  }
  image.RewindRecords();
  if (auto r = Command(session, BeginApplicationCommand, kBeginApplicationSchedule);
      r != StepResult::Done) {
    return r;
  }
  RecordBatcher batcher(image);
  std::vector<std::uint8_t> batch;
  batch.reserve(kBatchCapacity);
  std::uint32_t records = 0;
  for (;;) {
    batcher.Next(batch, records);
    if (records == 0) return Command(session, EndApplicationCommand, kEndApplicationSchedule);
    const StepResult r =
        Exchange(session, ApplicationRecordsCommand, batch.data(),
                 static_cast<std::uint32_t>(batch.size()), kApplicationRecordsSchedule, true);
    if (r != StepResult::Interrupted && session.applicationDigest) {
      session.applicationDigest->Update(batch);
    }
    if (r != StepResult::Done) return r;
    Advance(session, records);
  }
}

StepResult ProgramFlashData(ProgrammingSession& session, CBinManager& image) {
  session.observer.StageBegan(Stage::FlashData, image.GetImageSize());
  if (auto r = Command(session, EraseFlashDataCommand, kEraseFlashDataSchedule);
      r != StepResult::Done) {
    return r;
  }
  image.RewindChunks();
  std::uint8_t chunk[kFlashDataChunk];
  std::uint8_t payload[kFlashDataPayload];
  for (;;) {
    std::uint32_t address = 0;
    const std::uint16_t length = image.NextChunk(chunk, kFlashDataChunk, address);
    if (length == 0) return Command(session, EndFlashDataCommand, kEndFlashDataSchedule);
    BuildFlashDataPayload(address, chunk, length, payload);
    const StepResult r = Exchange(session, FlashDataChunkCommand, payload, kFlashDataPayload,
                                  kFlashDataChunkSchedule, true);
    if (r != StepResult::Interrupted && session.flashDataDigest) {
      session.flashDataDigest->Update(std::span<const std::uint8_t>(chunk, length));
    }
    if (r != StepResult::Done) return r;
    Advance(session, length);
  }
}

StepResult RestoreFactoryDefaults(ProgrammingSession& session) {
  session.observer.StageBegan(Stage::FactoryDefaults, kFactoryDefaultsWeight);
  const StepResult r = Command(session, FactoryDefaultsCommand, kFactoryDefaultsSchedule);
  if (r == StepResult::Done) Advance(session, kFactoryDefaultsWeight);
  return r;
}

}  // namespace tessaline
