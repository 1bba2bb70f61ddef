// A network socket that could not be set up, as a value: the front ends tell the user.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "platform/sockets.h"
#include "strings/ui_strings.h"

namespace tessaline {

struct SocketFailure {
  // What the desktop program's "Socket Error" box says: IDS_SOCKET_CREATION_FAILED,
  // IDS_RECEIVE_TIMEOUT_FAILED or IDS_BROADCAST_FAILED.
  StringId text = IDS_SOCKET_CREATION_FAILED;
  std::string reason;  // the system's words
};

// Creates `socket` with its receive time-out; nothing when it is ready, otherwise the step that
// failed (the socket is then closed: a read without its time-out would block for ever).
std::optional<SocketFailure> CreateSocket(platform::Socket& socket, platform::Socket::Type type,
                                          std::uint32_t receiveTimeoutMs);

// "Socket creation failed. Too many open files": the box text with the system's words.
std::string SocketFailureText(const SocketFailure& failure);

// The failure of the socket call just made, with the system's words for it.
SocketFailure FailedSocketCall(StringId text);

}  // namespace tessaline
