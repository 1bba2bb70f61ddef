// The portable message targets: the consumer queue and the test recorder.
#include "ui/message_target.h"

#include <algorithm>
#include <chrono>

namespace tessaline {

void QueueMessageTarget::Post(WorkerMessage message) {
  std::lock_guard lock(mutex_);
  if (closed_) return;
  queue_.push_back({std::move(message), 0});
  changed_.notify_all();
}

void QueueMessageTarget::Send(WorkerMessage message) {
  std::unique_lock lock(mutex_);
  if (closed_) return;
  const std::uint64_t id = nextSendId_++;
  queue_.push_back({std::move(message), id});
  changed_.notify_all();
  // Sends are handled in order by one consumer, so "handled up to id" means this one is done.
  changed_.wait(lock, [&] { return closed_ || handledSendId_ >= id; });
}

std::optional<WorkerMessage> QueueMessageTarget::Next(std::uint32_t timeoutMs) {
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

void QueueMessageTarget::Handled() {
  std::lock_guard lock(mutex_);
  handledSendId_ = std::max(handledSendId_, takenSendId_);
  changed_.notify_all();
}

void QueueMessageTarget::Close() {
  std::lock_guard lock(mutex_);
  closed_ = true;
  queue_.clear();
  changed_.notify_all();
}

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
