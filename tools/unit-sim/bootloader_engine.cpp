// What the unit's bootloader does with each command.
#include "bootloader_engine.h"

#include <utility>

#include "intel_hex.h"

namespace tessaline::sim {
namespace {

constexpr std::uint8_t kSequencedCapability = 1;

std::uint32_t ReadLe32(const std::uint8_t* bytes) {
  return static_cast<std::uint32_t>(bytes[0]) | static_cast<std::uint32_t>(bytes[1]) << 8 |
         static_cast<std::uint32_t>(bytes[2]) << 16 | static_cast<std::uint32_t>(bytes[3]) << 24;
}

}  // namespace

BootloaderEngine::BootloaderEngine(const UnitConfig& config) : config_(config) {}

CommandResult BootloaderEngine::Refusal() {
  CommandResult result;
  result.replies = true;
  result.data = {kStatusRefused};
  return result;
}

CommandResult BootloaderEngine::Status(bool done) const {
  CommandResult result;
  result.replies = true;
  result.data = {done ? kStatusDone : kStatusRefused};
  return result;
}

std::string BootloaderEngine::IdentityLines(const char* modeSuffix) const {
  return config_.unitName + "\r\n" + config_.unitMac + "\r\nBrume " + config_.model + modeSuffix +
         "\r\n";
}

std::uint32_t BootloaderEngine::ApplicationVersion() const {
  if (!applicationErased_) return config_.applicationVersion;
  if (config_.staleVersion) return versionBeforeErase_;
  std::uint8_t bytes[4];
  for (std::uint32_t i = 0; i < 4; ++i) {
    bytes[i] = application_.ByteAt(kApplicationVersionAddress + i).value_or(kErasedByte);
  }
  return ReadLe32(bytes);
}

CommandResult BootloaderEngine::Apply(std::uint8_t plainCode, std::span<const std::uint8_t> data) {
  CommandResult result;
  switch (plainCode) {
    case command::kIdentity: {
      result.replies = true;
      result.data = {config_.bootloaderMajor, config_.bootloaderMinor};
      // A bootloader without the sequenced forms predates the identity text as well.
      if (config_.sequencedCapable) {
        result.data.push_back(kSequencedCapability);
        const std::string text = config_.model + "," + config_.mcuFamily + "," + config_.dsp;
        result.data.insert(result.data.end(), text.begin(), text.end());
      }
      return result;
    }
    case command::kIdentityText: {
      result.replies = true;
      const std::string text = IdentityLines(" - Bootload");
      result.data.assign(text.begin(), text.end());
      return result;
    }
    case command::kApplicationVersion: {
      result.replies = true;
      const std::uint32_t version = ApplicationVersion();
      for (int shift = 0; shift < 32; shift += 8) {
        result.data.push_back(static_cast<std::uint8_t>(version >> shift));
      }
      return result;
    }
    case command::kEraseApplication:
      versionBeforeErase_ = ApplicationVersion();
      application_.Clear();
      applicationErased_ = true;
      beginAllowed_ = true;
      applicationOpen_ = false;
      result = Status(true);
      result.processingMs = config_.eraseDelayMs;
      return result;
    case command::kBeginApplication:
      if (!beginAllowed_) return Status(false);
      beginAllowed_ = false;
      applicationOpen_ = true;
      endOfFileSeen_ = false;
      upperAddress_ = 0;
      return Status(true);
    case command::kApplicationRecords:
      return ApplicationRecords(data);
    case command::kEndApplication:
      if (!applicationOpen_) return Status(false);
      applicationOpen_ = false;
      return Status(true);
    case command::kEraseFlashData:
      flashData_.Clear();
      flashDataOpen_ = true;
      result = Status(true);
      result.processingMs = config_.eraseDelayMs;
      return result;
    case command::kFlashDataChunk:
      return FlashDataChunk(data);
    case command::kEndFlashData:
      if (!flashDataOpen_) return Status(false);
      flashDataOpen_ = false;
      return Status(true);
    case command::kFactoryDefaults:
      // Settings are not touched while a transfer is half done.
      if (applicationOpen_ || flashDataOpen_) return Status(false);
      factoryDefaultsRestored_ = true;
      return Status(true);
    case command::kFinishUpdate:
      updateFinished_ = !applicationOpen_ && !flashDataOpen_;
      result.leavesBootload = true;  // the unit resets at once: no reply
      return result;
    case command::kExitBootload:
      result.leavesBootload = true;
      return result;
    default:
      return result;  // unknown to the bootloader: no answer
  }
}

CommandResult BootloaderEngine::ApplicationRecords(std::span<const std::uint8_t> data) {
  if (!applicationOpen_) return Status(false);
  const auto records = DecodeRecordBatch(data);
  if (!records) return Status(false);
  // Check the whole batch first: a bad record anywhere means nothing of it is applied.
  SparseMemory staged;
  std::vector<std::pair<std::uint32_t, const HexRecord*>> writes;
  std::uint32_t upper = upperAddress_;
  bool endOfFile = endOfFileSeen_;
  for (const HexRecord& record : *records) {
    if (endOfFile) return Status(false);
    switch (record.type) {
      case HexRecordType::Data: {
        const std::uint64_t address = (std::uint64_t{upper} << 16) + record.offset;
        if (address < config_.applicationStart ||
            address + record.data.size() > config_.applicationEnd ||
            !application_.CanWrite(address, record.data) ||
            !staged.CanWrite(address, record.data)) {
          return Status(false);
        }
        staged.Write(static_cast<std::uint32_t>(address), record.data);
        writes.emplace_back(static_cast<std::uint32_t>(address), &record);
        break;
      }
      case HexRecordType::ExtendedLinearAddress:
        upper = static_cast<std::uint32_t>(record.data[0] << 8 | record.data[1]);
        break;
      case HexRecordType::EndOfFile:
        endOfFile = true;
        break;
      case HexRecordType::StartLinearAddress:
        break;
    }
  }
  for (const auto& [address, record] : writes) application_.Write(address, record->data);
  upperAddress_ = upper;
  endOfFileSeen_ = endOfFile;
  return Status(true);
}

CommandResult BootloaderEngine::FlashDataChunk(std::span<const std::uint8_t> data) {
  if (!flashDataOpen_ || data.size() != kFlashChunkPayload) return Status(false);
  const std::uint32_t address = ReadLe32(data.data());
  const std::uint32_t length = ReadLe32(data.data() + 4);
  if (length == 0 || length > kFlashChunkMaxData) return Status(false);
  const std::uint64_t end = std::uint64_t{address} + length;
  if (address < kFlashDataBase || end > std::uint64_t{kFlashDataBase} + config_.flashDataSize) {
    return Status(false);
  }
  const auto bytes = data.subspan(8, length);
  if (!flashData_.CanWrite(address, bytes)) return Status(false);
  flashData_.Write(address, bytes);
  return Status(true);
}

}  // namespace tessaline::sim
