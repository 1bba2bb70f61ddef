// Socket set-up with its failures as values.
#include "transport/socket_error.h"

namespace tessaline {

std::string SocketFailureText(const SocketFailure& failure) {
  std::string text = UiString(failure.text);
  if (!failure.reason.empty()) text += " " + failure.reason;
  return text;
}

SocketFailure FailedSocketCall(StringId text) { return {text, platform::LastSocketError()}; }

std::optional<SocketFailure> CreateSocket(platform::Socket& socket, platform::Socket::Type type,
                                          std::uint32_t receiveTimeoutMs) {
  if (!socket.Create(type)) return FailedSocketCall(IDS_SOCKET_CREATION_FAILED);
  if (socket.SetReceiveTimeout(receiveTimeoutMs)) return std::nullopt;
  SocketFailure failure = FailedSocketCall(IDS_RECEIVE_TIMEOUT_FAILED);
  socket.Close();
  return failure;
}

}  // namespace tessaline
