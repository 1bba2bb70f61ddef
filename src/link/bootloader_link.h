// The exchange engine: one bootloader command at a time over one owned transport.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <stop_token>

#include "link/packet_codec.h"
#include "platform/clock.h"
#include "transport/transport.h"

namespace tessaline {

inline constexpr std::size_t kReceiveChunk = 2038;  // capacity of one Read of the transport

// Every frame crossing the link, for support traces (the CLI's --trace).
enum class TraceDirection { Sent, Received };
using FrameTraceHook =
    std::function<void(TraceDirection, std::span<const std::uint8_t>, std::uint32_t tick)>;

// All decoder state, deadlines and scratch buffers are members, so links on different threads
// never share anything. One link is used by one thread at a time.
class BootloaderLink {
 public:
  explicit BootloaderLink(platform::Clock& clock = platform::SystemClock());
  ~BootloaderLink();
  BootloaderLink(const BootloaderLink&) = delete;
  BootloaderLink& operator=(const BootloaderLink&) = delete;

  // Closes (when open) and deletes the transport held, then holds `transport` (may be null).
  void SetTransport(std::unique_ptr<Transport> transport);
  Transport* GetTransport() const { return transport_.get(); }
  // Forward to the transport; false when none is held.
  bool OpenTransport();
  bool CloseTransport();

  // Sends `command` (plain or sequenced form) and waits for its reply on the send schedule.
  // True when the matching reply arrived; GetReply/GetReplyLength then give it in short form
  // (command without 0x80, reply data, CRC), valid until the next Exchange. False when no
  // transport is held or it is closed, the code is refused or the request would pass 2048 bytes,
  // `sends` is 0 for a command that takes the caller's count, or no acceptable reply arrived
  // before the schedule ran out, or a stop was requested (StoppedByRequest).
  bool Exchange(std::uint8_t command, const std::uint8_t* data, std::uint32_t length,
                std::uint16_t sends, std::uint16_t timeoutMs);
  const std::uint8_t* GetReply() const { return reply_.data(); }
  std::uint16_t GetReplyLength() const { return decoder_.length; }

  // Decodes received bytes into the reply buffer; stops at the first complete frame.
  void ParseReceived(const std::uint8_t* bytes, std::uint32_t count);
  bool FrameComplete() const { return decoder_.complete; }
  std::uint32_t SequenceCounter() const { return sequenceCounter_; }
  // True when the last exchange that waited for a reply ended because the transport closed under
  // it (a serial port that hung up, a failed write): the port went away, the unit was not just
  // silent.
  bool TransportLost() const { return transportLost_; }

  // A stop request ends the wait for a reply at the next read, which is at most one read's wait
  // (10 ms UDP, 100 ms TCP, 200 ms serial). The frame in flight has always been written whole:
  // the unit never sees a request cut short. Whether to start an exchange once a stop was asked
  // for is the caller's choice: the request is still sent, and its wait then ends at once.
  void SetStop(std::stop_token stop) { stop_ = std::move(stop); }
  // True when the last Exchange ended because of the stop request, not for want of a reply.
  bool StoppedByRequest() const { return stoppedByRequest_; }

  void SetTraceHook(FrameTraceHook hook) { traceHook_ = std::move(hook); }

  // Exchanges started and frames written (resends included) since the link was made.
  std::uint32_t ExchangeCount() const { return exchangeCount_; }
  std::uint32_t SendCount() const { return sendCount_; }

 private:
  enum class PumpState { Idle = 0, Awaiting = 1 };
  enum class PollResult { GiveUp = 0, NothingYet = 1, FrameReady = 2 };
  void PumpSend();
  PollResult PollReply();
  void ResetPump();
  void WriteFrame(std::uint32_t now);
  bool ReplyBelongsToRequest() const;
  bool StopWanted();

  platform::Clock& clock_;
  std::unique_ptr<Transport> transport_;
  std::array<std::uint8_t, kFrameCapacity> frame_{};
  std::uint16_t frameLength_ = 0;
  std::array<std::uint8_t, kFrameCapacity> reply_{};
  DecoderState decoder_;
  std::uint16_t sendsLeft_ = 0;
  std::uint32_t sequenceCounter_ = 0;
  bool timedOut_ = false;
  PumpState pumpState_ = PumpState::Idle;
  std::uint16_t attemptTimeoutMs_ = 0;
  std::uint8_t sentCommand_ = 0;
  bool waitAfterLastSend_ = false;
  std::uint32_t resendDeadline_ = 0;
  bool transportLost_ = false;
  std::stop_token stop_;
  bool stoppedByRequest_ = false;
  bool listeningLast_ = false;  // the schedule ran out; listening until lastListenEnd_
  std::uint32_t lastListenEnd_ = 0;
  std::array<std::uint8_t, kReceiveChunk> receiveChunk_{};
  std::array<std::uint8_t, kFrameCapacity> packetAssembly_{};
  FrameTraceHook traceHook_;
  std::uint32_t exchangeCount_ = 0;
  std::uint32_t sendCount_ = 0;
};

}  // namespace tessaline
