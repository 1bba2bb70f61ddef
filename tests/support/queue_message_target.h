// A message target drained by the test's own thread, as a front end's loop would drain it.
#pragma once

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <optional>

#include "ui/message_target.h"

namespace tessaline {

// A thread-safe queue drained by one consumer thread. Send waits until the consumer has taken
// that message and called Handled(), or until Close().
class QueueMessageTarget final : public MessageTarget {
 public:
  void Post(WorkerMessage message) override {
    std::lock_guard lock(mutex_);
    if (closed_) return;
    queue_.push_back({std::move(message), 0});
    changed_.notify_all();
  }

  void Send(WorkerMessage message) override {
    std::unique_lock lock(mutex_);
    if (closed_) return;
    const std::uint64_t id = nextSendId_++;
    queue_.push_back({std::move(message), id});
    changed_.notify_all();
    // Sends are handled in order by one consumer, so "handled up to id" means this one is done.
    changed_.wait(lock, [&] { return closed_ || handledSendId_ >= id; });
  }

  // Waits up to `timeoutMs` for the next message.
  std::optional<WorkerMessage> Next(std::uint32_t timeoutMs) {
    std::unique_lock lock(mutex_);
    if (!changed_.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                           [&] { return closed_ || !queue_.empty(); }) ||
        queue_.empty()) {
      return std::nullopt;
    }
    Entry entry = std::move(queue_.front());
    queue_.pop_front();
    if (entry.sendId != 0) takenSendId_ = entry.sendId;
    return std::move(entry.message);
  }

  // Called by the consumer after handling the message last taken with Next.
  void Handled() {
    std::lock_guard lock(mutex_);
    handledSendId_ = std::max(handledSendId_, takenSendId_);
    changed_.notify_all();
  }

  // After Close every Post/Send is dropped and a waiting Send returns.
  void Close() {
    std::lock_guard lock(mutex_);
    closed_ = true;
    queue_.clear();
    changed_.notify_all();
  }

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

}  // namespace tessaline
