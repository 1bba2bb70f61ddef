// Test doubles shared by the discovery tests: a scripted text port and a box recorder.
#pragma once

#include <algorithm>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/clock.h"
#include "platform/message_box.h"
#include "support/manual_clock.h"
#include "transport/transport.h"

namespace tessaline::testing {

// A text port that answers each complete command with the reply scripted for it.
class ScriptedTextTransport final : public Transport {
 public:
  explicit ScriptedTextTransport(std::string_view kind = kKindCom) : kind_(kind) {}
  void Script(const std::string& command, const std::string& reply) { replies_[command] = reply; }
  const std::vector<std::string>& Commands() const { return commands_; }

  bool Open() override { return open_ = true; }
  bool IsOpen() const override { return open_; }
  bool Close() override {
    open_ = false;
    return true;
  }
  bool Write(const std::uint8_t* bytes, std::uint32_t count) override {
    pending_.append(reinterpret_cast<const char*>(bytes), count);
    if (!pending_.ends_with(">") && !pending_.ends_with("\r\n")) return true;
    if (pending_ == "\r\n") {
      pending_.clear();
      return true;
    }
    commands_.push_back(pending_);
    auto reply = replies_.find(pending_);
    if (reply != replies_.end()) output_ += reply->second;
    pending_.clear();
    return true;
  }
  std::uint32_t Read(std::uint8_t* buffer, std::uint32_t capacity) override {
    const auto count = static_cast<std::uint32_t>(std::min<std::size_t>(capacity, output_.size()));
    std::copy_n(output_.begin(), count, buffer);
    output_.erase(0, count);
    return count;
  }
  std::string_view GetKind() const override { return kind_; }

 private:
  std::string kind_;
  bool open_ = false;
  std::map<std::string, std::string> replies_;
  std::vector<std::string> commands_;
  std::string pending_;
  std::string output_;
};

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
