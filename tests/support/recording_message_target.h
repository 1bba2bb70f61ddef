// A message target that records every worker message, for tests that read them afterwards.
#pragma once

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <vector>

#include "ui/message_target.h"

namespace tessaline {

// Records every message in order: thread-safe; Send is handled at once, and Ask is answered
// with `answer`.
class RecordingMessageTarget final : public MessageTarget {
 public:
  explicit RecordingMessageTarget(std::int64_t answer = 0) : answer_(answer) {}

  void Post(WorkerMessage message) override {
    std::lock_guard lock(mutex_);
    messages_.push_back(std::move(message));
    changed_.notify_all();
  }

  void Send(WorkerMessage message) override { Post(std::move(message)); }

  std::int64_t Ask(WorkerMessage message) override {
    Post(std::move(message));
    return answer_;
  }

  std::vector<WorkerMessage> Messages() const {
    std::lock_guard lock(mutex_);
    return messages_;
  }

  std::vector<std::uint32_t> Codes() const {
    std::lock_guard lock(mutex_);
    std::vector<std::uint32_t> codes;
    codes.reserve(messages_.size());
    for (const auto& m : messages_) codes.push_back(m.code);
    return codes;
  }

  // Waits until a message with `code` has arrived (true) or `timeoutMs` passed (false).
  bool WaitFor(std::uint32_t code, std::uint32_t timeoutMs) const {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] {
      return std::any_of(messages_.begin(), messages_.end(),
                         [&](const WorkerMessage& m) { return m.code == code; });
    });
  }

 private:
  mutable std::mutex mutex_;
  mutable std::condition_variable changed_;
  std::vector<WorkerMessage> messages_;
  std::int64_t answer_;
};

}  // namespace tessaline
