// The one connection abstraction to a unit: bytes for the link, TextQuery for the text port.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/clock.h"
#include "platform/sockets.h"
#include "transport/socket_error.h"

namespace tessaline {

// Kind names; callers tell transports apart only by these (case-sensitive).
inline constexpr std::string_view kKindCom = "COM";
inline constexpr std::string_view kKindIp = "IP";
inline constexpr std::string_view kKindTcp = "TCP";

class Transport {
 public:
  virtual ~Transport() = default;
  Transport() = default;
  Transport(const Transport&) = delete;
  Transport& operator=(const Transport&) = delete;

  // Creates and configures the handle; true when the link is usable. On false the transport is
  // left closed.
  virtual bool Open() = 0;
  // Why the last Open failed, in the system's words and naming what was opened (for the kinds
  // that use sockets, the step that failed); empty when the kind does not tell.
  virtual std::string OpenFailure() const {
    return socketFailure_ ? SocketFailureText(*socketFailure_) : std::string();
  }
  // The socket step the last Open failed at, for the kinds that use sockets.
  const std::optional<SocketFailure>& SocketSetupFailure() const { return socketFailure_; }
  virtual bool IsOpen() const { return false; }
  // Releases the handle if held; always true; safe on a closed transport.
  virtual bool Close() { return true; }
  virtual bool Write(const std::uint8_t* bytes, std::uint32_t count) = 0;
  // Waits at most the kind's read wait; the count received (0: nothing arrived, or an error).
  // A kind that learns its peer has gone closes itself, so IsOpen turns false.
  virtual std::uint32_t Read(std::uint8_t* buffer, std::uint32_t capacity) = 0;

  // Sends one text command and collects one reply "<...>" (at most `replyLimit` characters) into
  // `reply`. On a network kind the command is followed by CR LF and the time-out is multiplied
  // by 5. Input waiting before the command is discarded for at most `timeoutMs`. True when a
  // complete reply (ending in '>') was collected before the deadline; a transport that closes
  // (a peer that hung up) ends the query at once. Pauses and deadlines are on `clock`.
  bool TextQuery(std::string_view command, std::string& reply, std::uint32_t replyLimit,
                 std::uint32_t timeoutMs, platform::Clock& clock = platform::SystemClock());

  virtual std::string_view GetKind() const = 0;
  // Why the transport closed under its user (a device that hung up), naming what was open; empty
  // when it did not, or the kind does not tell.
  virtual std::string LossReason() const { return {}; }

 protected:
  std::optional<SocketFailure> socketFailure_;  // set by each Open of a kind that uses sockets
};

// What the kinds that reach a unit's address over a socket share.
class SocketTransport : public Transport {
 public:
  explicit SocketTransport(std::uint32_t addressNetworkOrder) : address_(addressNetworkOrder) {}
  bool IsOpen() const override { return socket_.IsValid(); }
  bool Close() override {
    socket_.Close();
    return true;
  }
  std::uint32_t GetEndpoint() const { return address_; }

 protected:
  platform::Socket socket_;
  std::uint32_t address_;
};

}  // namespace tessaline
