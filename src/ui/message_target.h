// Where workers report: a window (Win32) or a test recorder (tests/support).
#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace tessaline {

struct WorkerMessage {
  std::uint32_t code = 0;
  std::uint64_t wParam = 0;
  std::uint64_t lParam = 0;
  std::string text;  // owned copy (the codes CarriesText names); empty otherwise
};

// Workers never touch windows: they post (or, where the table says so, send) WorkerMessages here.
// Posting to a target that has gone away is a no-op. Targets are shared: a request holds a
// std::shared_ptr so the object outlives any worker that still reports to it.
class MessageTarget {
 public:
  virtual ~MessageTarget() = default;
  // Queues the message and returns at once.
  virtual void Post(WorkerMessage message) = 0;
  // Delivers the message and returns after the receiver has handled it (or the target is gone).
  virtual void Send(WorkerMessage message) = 0;
  // Sends a question and returns the receiver's answer; 0 when the target is gone or does not
  // answer.
  virtual std::int64_t Ask(WorkerMessage message) {
    Send(std::move(message));
    return 0;
  }
};

}  // namespace tessaline
