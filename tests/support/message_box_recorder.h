// A message box recorder: every box the code under test shows, captured instead of shown.
#pragma once

#include <mutex>
#include <vector>

#include "platform/message_box.h"

namespace tessaline::testing {

// Captures every message box for the life of the object.
class MessageBoxRecorder {
 public:
  MessageBoxRecorder() {
    previous_ = platform::SetMessageBoxHandler([this](const platform::MessageBoxRequest& box) {
      std::lock_guard lock(mutex_);
      boxes_.push_back(box);
      return platform::MessageBoxResult::Ok;
    });
  }
  ~MessageBoxRecorder() { platform::SetMessageBoxHandler(previous_); }
  MessageBoxRecorder(const MessageBoxRecorder&) = delete;
  MessageBoxRecorder& operator=(const MessageBoxRecorder&) = delete;

  std::vector<platform::MessageBoxRequest> Boxes() const {
    std::lock_guard lock(mutex_);
    return boxes_;
  }

 private:
  mutable std::mutex mutex_;
  std::vector<platform::MessageBoxRequest> boxes_;
  platform::MessageBoxHandler previous_;
};

}  // namespace tessaline::testing
