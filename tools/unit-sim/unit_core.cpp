// The unit's state behind every port.
#include "unit_core.h"

#include <algorithm>
#include <cstdio>

#include "link/crc16.h"
#include "link/packet_codec.h"

namespace tessaline::sim {
namespace {

constexpr std::size_t kSequenceBytes = 4;
constexpr std::size_t kCrcBytes = 2;
constexpr char kDiscoveryRequest[] = "Discovery: Who is out there ?";

std::uint32_t ReadBe32(const std::uint8_t* bytes) {
  return static_cast<std::uint32_t>(bytes[0]) << 24 | static_cast<std::uint32_t>(bytes[1]) << 16 |
         static_cast<std::uint32_t>(bytes[2]) << 8 | bytes[3];
}

std::string DigestJson(std::uint32_t base, const std::vector<std::uint8_t>& bytes) {
  return "{\"base\": " + std::to_string(base) + ", \"length\": " + std::to_string(bytes.size()) +
         ", \"sha256\": \"" + Sha256Hex(bytes) + "\"}";
}

}  // namespace

UnitCore::UnitCore(UnitConfig config)
    : config_(std::move(config)),
      started_(std::chrono::steady_clock::now()),
      mode_(config_.mode),
      engine_(config_),
      faults_(config_.faults),
      text_(config_) {}

std::uint32_t UnitCore::ElapsedMsLocked() const {
  return static_cast<std::uint32_t>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                        std::chrono::steady_clock::now() - started_)
                                        .count());
}

void UnitCore::ResolvePendingSwitchLocked() {
  if (bootloaderAt_ && std::chrono::steady_clock::now() >= *bootloaderAt_) {
    bootloaderAt_.reset();
    EnterModeLocked(UnitMode::Bootloader);
  }
}

void UnitCore::EnterModeLocked(UnitMode mode) {
  if (mode == mode_) return;
  mode_ = mode;
  // Either side starts afresh after a reset.
  lastSequence_.reset();
  lastReply_.clear();
  if (mode == UnitMode::Application) text_.Restart();
}

UnitMode UnitCore::Mode() {
  std::lock_guard lock(mutex_);
  ResolvePendingSwitchLocked();
  return mode_;
}

void UnitCore::SetMode(UnitMode mode) {
  std::lock_guard lock(mutex_);
  bootloaderAt_.reset();
  EnterModeLocked(mode);
}

std::vector<std::uint8_t> UnitCore::ReplyPacket(std::uint8_t command,
                                                std::optional<std::uint32_t> sequence,
                                                std::span<const std::uint8_t> data) const {
  std::vector<std::uint8_t> packet{command};
  if (sequence) {
    for (int shift = 24; shift >= 0; shift -= 8) {
      packet.push_back(static_cast<std::uint8_t>(*sequence >> shift));
    }
  }
  packet.insert(packet.end(), data.begin(), data.end());
  AppendCrc(packet);
  return packet;
}

Outgoing UnitCore::HandleBootloaderPacket(std::span<const std::uint8_t> packet) {
  std::lock_guard lock(mutex_);
  ResolvePendingSwitchLocked();
  Outgoing out;
  const RequestFate fate = faults_.Draw();
  if (packet.size() < 1 + kCrcBytes) return out;
  // Counted before the random loss, so the Nth arrival is the Nth whatever else befalls the others.
  const bool dropArrival = faults_.DropThisArrival(packet[0]);
  if (fate.drop || dropArrival) {
    ++faults_.Counts().dropped;
    return out;
  }
  if (mode_ != UnitMode::Bootloader) return out;

  const std::uint8_t command = packet[0];
  const bool sequenced = (command & kSequencedBit) != 0;
  if (sequenced && packet.size() < 1 + kSequenceBytes + kCrcBytes) return out;
  const std::optional<std::uint32_t> sequence =
      sequenced ? std::optional(ReadBe32(packet.data() + 1)) : std::nullopt;
  const std::size_t dataStart = sequenced ? 1 + kSequenceBytes : 1;
  const auto data = packet.subspan(dataStart, packet.size() - dataStart - kCrcBytes);
  const std::uint8_t plainCode = command & static_cast<std::uint8_t>(~kSequencedBit);

  RequestLogEntry entry;
  entry.command = command;
  entry.sequence = sequence.value_or(0);
  entry.dataLength = static_cast<std::uint32_t>(data.size());
  entry.timeMs = ElapsedMsLocked();

  if (faults_.SilentNow()) {
    ++faults_.Counts().silenced;
    requestLog_.push_back(entry);
    return out;
  }
  if (sequenced && !config_.sequencedCapable) {
    requestLog_.push_back(entry);
    return out;
  }
  if (plainCode == command::kIdentity) lastSequence_.reset();  // the host restarts its counter

  std::vector<std::uint8_t> reply;
  if (sequenced && lastSequence_ == sequence) {
    // Its reply was lost: answer again, apply nothing.
    entry.resent = true;
    reply = lastReply_;
  } else {
    CommandResult result;
    if (faults_.RefuseThis(plainCode)) {
      ++faults_.Counts().refused;
      result = BootloaderEngine::Refusal();
    } else {
      result = engine_.Apply(plainCode, data);
      entry.applied = true;
    }
    if (result.replies) reply = ReplyPacket(command, sequence, result.data);
    out.waitMs = result.processingMs;
    if (sequenced) {
      lastSequence_ = sequence;
      lastReply_ = reply;
    }
    if (result.leavesBootload) EnterModeLocked(UnitMode::Application);
  }
  requestLog_.push_back(entry);
  if (reply.empty()) return out;

  if (fate.stale && sequenced) {
    ++faults_.Counts().stale;
    const std::size_t dataEnd = reply.size() - kCrcBytes;
    reply = ReplyPacket(command, *sequence - 1,
                        std::span(reply).subspan(dataStart, dataEnd - dataStart));
  }
  if (fate.corrupt) {
    ++faults_.Counts().corrupted;
    const std::size_t at = static_cast<std::size_t>(fate.pick % reply.size());
    reply[at] ^= static_cast<std::uint8_t>((fate.pick >> 32) % 255 + 1);
  }
  std::vector<std::uint8_t> frame;
  FrameBytes(reply, frame);
  out.frames.push_back(frame);
  if (fate.duplicate) {
    ++faults_.Counts().duplicated;
    out.frames.push_back(frame);
  }
  if (fate.delay) {
    ++faults_.Counts().delayed;
    out.waitMs += faults_.Config().delayMs;
  }
  return out;
}

std::optional<std::string> UnitCore::HandleTextCommand(const std::string& command) {
  std::lock_guard lock(mutex_);
  ResolvePendingSwitchLocked();
  if (mode_ != UnitMode::Application) return {};
  textLog_.push_back(command);
  const TextResponder::Answer answer = text_.Handle(command);
  if (answer.entersBootloader) {
    bootloaderAt_ = std::chrono::steady_clock::now() +
                    std::chrono::milliseconds(config_.bootloaderSwitchDelayMs);
  }
  return answer.reply;
}

std::optional<std::string> UnitCore::HandleDiscovery(std::span<const std::uint8_t> datagram) {
  const std::string_view request(kDiscoveryRequest);
  if (datagram.size() != request.size() ||
      !std::equal(datagram.begin(), datagram.end(), request.begin())) {
    return {};
  }
  std::lock_guard lock(mutex_);
  ResolvePendingSwitchLocked();
  return engine_.IdentityLines(mode_ == UnitMode::Bootloader ? " - Bootload" : " - Application");
}

std::vector<RequestLogEntry> UnitCore::RequestLog() const {
  std::lock_guard lock(mutex_);
  return requestLog_;
}

std::vector<std::string> UnitCore::TextLog() const {
  std::lock_guard lock(mutex_);
  return textLog_;
}

FaultCounts UnitCore::Faults() const {
  std::lock_guard lock(mutex_);
  return faults_.Counts();
}

std::uint32_t UnitCore::ApplicationVersion() const {
  std::lock_guard lock(mutex_);
  return engine_.ApplicationVersion();
}

std::uint32_t UnitCore::ApplicationBase() const {
  std::lock_guard lock(mutex_);
  return engine_.Application().Lowest();
}

std::vector<std::uint8_t> UnitCore::ApplicationMemory() const {
  std::lock_guard lock(mutex_);
  const SparseMemory& memory = engine_.Application();
  return memory.Read(memory.Lowest(), memory.End());
}

std::vector<std::uint8_t> UnitCore::FlashData() const {
  std::lock_guard lock(mutex_);
  return engine_.FlashData().Read(kFlashDataBase, engine_.FlashData().End());
}

bool UnitCore::FactoryDefaultsRestored() const {
  std::lock_guard lock(mutex_);
  return engine_.FactoryDefaultsRestored();
}

bool UnitCore::UpdateFinished() const {
  std::lock_guard lock(mutex_);
  return engine_.UpdateFinished();
}

std::string UnitCore::LogJson() {
  const UnitMode mode = Mode();
  const auto requests = RequestLog();
  std::string json = "{\n  \"requests\": [";
  for (std::size_t i = 0; i < requests.size(); ++i) {
    const RequestLogEntry& r = requests[i];
    json += i == 0 ? "\n" : ",\n";
    json += "    {\"command\": " + std::to_string(r.command) +
            ", \"sequence\": " + std::to_string(r.sequence) +
            ", \"dataLength\": " + std::to_string(r.dataLength) +
            ", \"timeMs\": " + std::to_string(r.timeMs) +
            ", \"resent\": " + (r.resent ? "true" : "false") +
            ", \"applied\": " + (r.applied ? "true" : "false") + "}";
  }
  json += requests.empty() ? "],\n" : "\n  ],\n";
  json += std::string("  \"finalMode\": \"") +
          (mode == UnitMode::Bootloader ? "bootloader" : "application") + "\",\n";
  json += "  \"application\": " + DigestJson(ApplicationBase(), ApplicationMemory()) + ",\n";
  json += "  \"flashData\": " + DigestJson(kFlashDataBase, FlashData()) + ",\n";
  json += "  \"applicationVersion\": " + std::to_string(ApplicationVersion()) + ",\n";
  json += std::string("  \"factoryDefaultsRestored\": ") +
          (FactoryDefaultsRestored() ? "true" : "false") + ",\n";
  json += std::string("  \"updateFinished\": ") + (UpdateFinished() ? "true" : "false") + "\n}\n";
  return json;
}

}  // namespace tessaline::sim
