// The exchange engine: frames a request, sends it on schedule and accepts only its own reply.
#include "link/bootloader_link.h"

#include <algorithm>
#include <string_view>

#include "transport/com_transport.h"
#include "transport/ethernet_transport.h"
#include "transport/ethernet_transport_tcp.h"

namespace tessaline {

namespace {

// A serial line is slow and the unit answers later there.
constexpr std::uint16_t kSerialTimeoutFactor = 5;
// The final command resets the unit, which never answers; any transport kind.
constexpr std::uint16_t kFinalCommandTimeoutMs = 10;

// One read's wait on a silent line of this kind: how long the last listen of a schedule lasts.
std::uint32_t SilentReadMsOf(std::string_view kind) {
  if (kind == kKindCom) return kSerialReadWaitMs;
  if (kind == kKindTcp) return kTcpReadWaitMs;
  return kUdpReadWaitMs;
}

std::uint32_t LoadBigEndian32(const std::uint8_t* at) {
  return (std::uint32_t{at[0]} << 24) | (std::uint32_t{at[1]} << 16) | (std::uint32_t{at[2]} << 8) |
         std::uint32_t{at[3]};
}

}  // namespace

BootloaderLink::BootloaderLink(platform::Clock& clock) : clock_(clock) {}

// The transport's own destructor releases its handle; no Close first.
BootloaderLink::~BootloaderLink() = default;

void BootloaderLink::SetTransport(std::unique_ptr<Transport> transport) {
  if (transport_ && transport_->IsOpen()) transport_->Close();
  transport_ = std::move(transport);
}

bool BootloaderLink::OpenTransport() { return transport_ && transport_->Open(); }

bool BootloaderLink::CloseTransport() { return transport_ && transport_->Close(); }

bool BootloaderLink::Exchange(std::uint8_t command, const std::uint8_t* data, std::uint32_t length,
                              std::uint16_t sends, std::uint16_t timeoutMs) {
  stoppedByRequest_ = false;
  if (!transport_ || !transport_->IsOpen()) return false;
  // A give-up left over from the last exchange must not cut this one short.
  timedOut_ = false;
  if (transport_->GetKind() == kKindCom) {
    timeoutMs = static_cast<std::uint16_t>(timeoutMs * kSerialTimeoutFactor);
  }
  frameLength_ = 0;
  const CommandRule rule = RuleFor(command);
  if (sends == 0 && !rule.singleSend) return false;  // nothing would ever go out
  const auto packetSize = BuildRequest(command, data, length, sequenceCounter_, packetAssembly_);
  if (!packetSize) return false;
  attemptTimeoutMs_ = rule.fixedTimeout10ms ? kFinalCommandTimeoutMs : timeoutMs;
  // The one-send commands get no answer worth waiting for; every other last send gets its full
  // attempt time-out, like the ones before it.
  waitAfterLastSend_ = !rule.singleSend;
  const auto framed =
      FrameInto(std::span<const std::uint8_t>(packetAssembly_.data(), *packetSize), frame_);
  if (!framed) return false;
  frameLength_ = static_cast<std::uint16_t>(*framed);
  sentCommand_ = command;

  ResetPump();
  sendsLeft_ = rule.singleSend ? 1 : sends;
  ++exchangeCount_;
  for (;;) {
    PumpSend();
    const PollResult polled = PollReply();
    if (polled == PollResult::GiveUp) return false;
    // A frame for another request does not stop the schedule: keep waiting and resending.
    if (polled == PollResult::NothingYet || !ReplyBelongsToRequest()) {
      // Only here, between whole writes: a frame is never left half sent.
      if (StopWanted()) {
        ResetPump();
        timedOut_ = false;
        listeningLast_ = false;
        return false;
      }
      continue;
    }
    if (IsSequenced(command)) {
      decoder_.length = ShortFormOfSequencedReply(reply_.data(), decoder_.length);
    }
    ResetPump();
    return true;
  }
}

bool BootloaderLink::StopWanted() {
  stoppedByRequest_ = stop_.stop_requested();
  return stoppedByRequest_;
}

void BootloaderLink::ParseReceived(const std::uint8_t* bytes, std::uint32_t count) {
  DecodeReceived(bytes, count,
                 std::span<std::uint8_t, kMaxDecodedReply>(reply_.data(), kMaxDecodedReply),
                 decoder_);
}

bool BootloaderLink::ReplyBelongsToRequest() const {
  const std::uint16_t length = decoder_.length;
  if (length >= kShortestPlainPacket && reply_[0] != sentCommand_) return false;
  if (!IsSequenced(sentCommand_)) return true;
  return length >= kShortestSequencedPacket && LoadBigEndian32(&reply_[1]) == sequenceCounter_;
}

void BootloaderLink::ResetPump() {
  pumpState_ = PumpState::Idle;
  sendsLeft_ = 0;
}

void BootloaderLink::WriteFrame(std::uint32_t now) {
  const std::span<const std::uint8_t> frame(frame_.data(), frameLength_);
  // A failed write shows up as a closed transport on the next poll.
  transport_->Write(frame.data(), static_cast<std::uint32_t>(frame.size()));
  ++sendCount_;
  if (traceHook_) traceHook_(TraceDirection::Sent, frame, now);
}

void BootloaderLink::PumpSend() {
  const std::uint32_t now = clock_.Now();
  const bool awaiting = pumpState_ == PumpState::Awaiting;
  const bool deadlinePassed = awaiting && platform::TickIsAfter(now, resendDeadline_);
  if (sendsLeft_ > 0) {
    // The first send goes at once; each resend once the attempt before it has timed out.
    if (awaiting && !deadlinePassed) return;
    resendDeadline_ = now + attemptTimeoutMs_;
    WriteFrame(now);
    --sendsLeft_;
    pumpState_ = PumpState::Awaiting;
    return;
  }
  if (!awaiting) return;
  if (!waitAfterLastSend_ || deadlinePassed) {
    timedOut_ = true;
    pumpState_ = PumpState::Idle;
  }
}

BootloaderLink::PollResult BootloaderLink::PollReply() {
  // Once the schedule has run out the engine listens for one silent read's time more. A read
  // returns with the first bytes to arrive, so that listen is a time, not a count of reads: a
  // reply now arriving in several reads is taken exactly when one quiet-ended read once took it.
  transportLost_ = false;
  if (!timedOut_) {
    listeningLast_ = false;
  } else if (!listeningLast_) {
    listeningLast_ = true;
    lastListenEnd_ = clock_.Now() + SilentReadMsOf(transport_->GetKind());
  }
  const std::uint32_t received = transport_->Read(receiveChunk_.data(), kReceiveChunk);
  // Only the low 16 bits of a count are meaningful; never trust a count past the capacity.
  const std::uint16_t count =
      static_cast<std::uint16_t>(std::min<std::uint32_t>(received & 0xFFFFu, kReceiveChunk));
  if (count > 0 && traceHook_) {
    traceHook_(TraceDirection::Received, std::span<const std::uint8_t>(receiveChunk_.data(), count),
               clock_.Now());
  }
  // The decoder keeps its state across reads; the EOT that completes a good frame ends the wait.
  ParseReceived(receiveChunk_.data(), count);
  if (decoder_.complete) {
    decoder_.complete = false;
    return PollResult::FrameReady;
  }
  const bool open = transport_->IsOpen();
  if (open && !timedOut_) return PollResult::NothingYet;
  // A read that found the line silent has waited its whole time already.
  if (open && count > 0 && platform::TickIsAfter(lastListenEnd_, clock_.Now())) {
    return PollResult::NothingYet;
  }
  transportLost_ = !open;
  timedOut_ = false;
  listeningLast_ = false;
  decoder_.complete = false;
  return PollResult::GiveUp;
}

}  // namespace tessaline
