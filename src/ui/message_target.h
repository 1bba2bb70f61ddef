// Where workers report: a window (Win32), the CLI's queue, or a test recorder.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace tessaline {

struct WorkerMessage {
  std::uint32_t code = 0;
  std::uint64_t wParam = 0;
  std::uint64_t lParam = 0;
  std::string text;  // owned copy (WM_APP_PROGRESS_TEXT); empty otherwise
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
};

// A thread-safe queue drained by one consumer thread (the CLI's main thread, tests). Send waits
// until the consumer has taken that message and called Handled(), or until Close().
class QueueMessageTarget final : public MessageTarget {
 public:
  void Post(WorkerMessage message) override;
  void Send(WorkerMessage message) override;
  // Waits up to `timeoutMs` for the next message.
  std::optional<WorkerMessage> Next(std::uint32_t timeoutMs);
  // Called by the consumer after handling the message last taken with Next.
  void Handled();
  // After Close every Post/Send is dropped and a waiting Send returns.
  void Close();

 private:
  struct Entry {
    WorkerMessage message;
    std::uint64_t sendId = 0;  // 0 for posted messages
  };
  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<Entry> queue_;
  std::uint64_t nextSendId_ = 1;
  std::uint64_t takenSendId_ = 0;    // send being handled by the consumer
  std::uint64_t handledSendId_ = 0;  // last send the consumer finished
  bool closed_ = false;
};

// Records every message in order (tests): thread-safe; Send is handled at once.
class RecordingMessageTarget final : public MessageTarget {
 public:
  void Post(WorkerMessage message) override;
  void Send(WorkerMessage message) override;
  std::vector<WorkerMessage> Messages() const;
  std::vector<std::uint32_t> Codes() const;
  // Waits until a message with `code` has arrived (true) or `timeoutMs` passed (false).
  bool WaitFor(std::uint32_t code, std::uint32_t timeoutMs) const;

 private:
  mutable std::mutex mutex_;
  mutable std::condition_variable changed_;
  std::vector<WorkerMessage> messages_;
};

}  // namespace tessaline
