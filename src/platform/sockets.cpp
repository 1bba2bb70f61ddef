// Socket's ownership of its one handle: moved, and closed with the object.
#include "platform/sockets.h"

#include <utility>

namespace tessaline::platform {

Socket::~Socket() { Close(); }

Socket::Socket(Socket&& other) noexcept
    : handle_(std::exchange(other.handle_, -1)),
      receiveTimeoutMs_(std::exchange(other.receiveTimeoutMs_, 0)) {}

Socket& Socket::operator=(Socket&& other) noexcept {
  if (this != &other) {
    Close();
    handle_ = std::exchange(other.handle_, -1);
    receiveTimeoutMs_ = std::exchange(other.receiveTimeoutMs_, 0);
  }
  return *this;
}

bool Socket::IsValid() const { return handle_ != -1; }

}  // namespace tessaline::platform
