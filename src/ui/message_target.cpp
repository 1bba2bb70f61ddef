// The portable test recorder of worker messages.
#include "ui/message_target.h"

#include <algorithm>
#include <chrono>

namespace tessaline {

void RecordingMessageTarget::Post(WorkerMessage message) {
  std::lock_guard lock(mutex_);
  messages_.push_back(std::move(message));
  changed_.notify_all();
}

void RecordingMessageTarget::Send(WorkerMessage message) { Post(std::move(message)); }

std::vector<WorkerMessage> RecordingMessageTarget::Messages() const {
  std::lock_guard lock(mutex_);
  return messages_;
}

std::vector<std::uint32_t> RecordingMessageTarget::Codes() const {
  std::lock_guard lock(mutex_);
  std::vector<std::uint32_t> codes;
  codes.reserve(messages_.size());
  for (const auto& m : messages_) codes.push_back(m.code);
  return codes;
}

bool RecordingMessageTarget::WaitFor(std::uint32_t code, std::uint32_t timeoutMs) const {
  std::unique_lock lock(mutex_);
  return changed_.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] {
    return std::any_of(messages_.begin(), messages_.end(),
                       [&](const WorkerMessage& m) { return m.code == code; });
  });
}

}  // namespace tessaline
