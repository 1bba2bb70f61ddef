// The exchange engine: one bootloader command at a time over one owned transport.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>

#include "platform/clock.h"
#include "transport/transport.h"

namespace tessaline {

inline constexpr std::size_t kFrameCapacity = 2048;     // framed request, and unframed request
inline constexpr std::size_t kReceiveChunk = 2038;      // one Read of the transport
inline constexpr std::size_t kMaxDecodedReply = 2046;   // decoded bytes of one received frame

// Every frame crossing the link, for support traces (the CLI's --trace).
enum class TraceDirection { Sent, Received };
using FrameTraceHook =
    std::function<void(TraceDirection, std::span<const std::uint8_t>, std::uint32_t tick)>;

// All decoder state, deadlines and scratch buffers are members, so links on different threads
// never share anything.
class BootloaderLink {
 public:
  explicit BootloaderLink(platform::Clock& clock = platform::SystemClock());
  ~BootloaderLink();
  BootloaderLink(const BootloaderLink&) = delete;
  BootloaderLink& operator=(const BootloaderLink&) = delete;

  // Closes (when open) and deletes the transport held, then holds `transport` (may be null).
  void SetTransport(std::unique_ptr<Transport> transport);
  Transport* GetTransport() const { return transport_.get(); }
  bool OpenTransport();
  bool CloseTransport();

  // Sends `command` (plain or sequenced form) and waits for its reply on the send schedule.
  // True when the matching reply arrived; GetReply/GetReplyLength then give it in short form.
  bool Exchange(std::uint8_t command, const std::uint8_t* data, std::uint32_t length,
                std::uint16_t sends, std::uint16_t timeoutMs);
  const std::uint8_t* GetReply() const { return reply_.data(); }
  std::uint16_t GetReplyLength() const { return replyLength_; }

  // Decodes received bytes into the reply buffer (exposed for tests and the simulator's decoder).
  void ParseReceived(const std::uint8_t* bytes, std::uint32_t count);
  bool FrameComplete() const { return frameComplete_; }
  std::uint32_t SequenceCounter() const { return sequenceCounter_; }

  void SetTraceHook(FrameTraceHook hook) { traceHook_ = std::move(hook); }

 private:
  // Implementation detail members are declared by the implementation below.
  enum class PollResult { GiveUp = 0, NothingYet = 1, FrameReady = 2 };
  void PumpSend();
  PollResult PollReply();
  void ResetPump();

  platform::Clock& clock_;
  std::unique_ptr<Transport> transport_;
  std::array<std::uint8_t, kFrameCapacity> frame_{};
  std::uint16_t frameLength_ = 0;
  std::array<std::uint8_t, kFrameCapacity> reply_{};
  std::uint16_t replyLength_ = 0;
  std::uint16_t sendsLeft_ = 0;
  bool frameComplete_ = false;
  std::uint32_t sequenceCounter_ = 0;
  bool timedOut_ = false;
  std::uint32_t pumpState_ = 0;
  std::uint16_t sendsPerExchange_ = 0;
  std::uint16_t attemptTimeoutMs_ = 0;
  bool escapePending_ = false;
  std::uint32_t resendDeadline_ = 0;
  std::uint32_t lastSendTick_ = 0;
  std::array<std::uint8_t, kReceiveChunk> receiveChunk_{};
  std::array<std::uint8_t, kFrameCapacity> packetAssembly_{};
  FrameTraceHook traceHook_;
};

}  // namespace tessaline
