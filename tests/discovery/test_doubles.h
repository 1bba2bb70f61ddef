// Test doubles shared by the discovery tests: a unit's scripted text replies.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/clock.h"
#include "support/scripted_transport.h"
#include "transport/transport.h"

namespace tessaline::testing {

// A unit's text port behind `port`: each complete command written is answered with the reply
// scripted for it. The port should not wait on reads (TextQuery keeps its own deadline).
class TextReplies {
 public:
  explicit TextReplies(ScriptedTransport& port) {
    port.onWrite = [this](ScriptedTransport& t, const WrittenFrame& written) {
      pending_.append(written.bytes.begin(), written.bytes.end());
      if (!pending_.ends_with(">") && !pending_.ends_with("\r\n")) return;
      if (pending_ != "\r\n") {
        commands_.push_back(pending_);
        auto reply = replies_.find(pending_);
        if (reply != replies_.end()) t.incoming.push_back(TextBytes(reply->second));
      }
      pending_.clear();
    };
  }
  TextReplies(const TextReplies&) = delete;
  TextReplies& operator=(const TextReplies&) = delete;

  void Script(const std::string& command, const std::string& reply) { replies_[command] = reply; }
  const std::vector<std::string>& Commands() const { return commands_; }

 private:
  std::map<std::string, std::string> replies_;
  std::vector<std::string> commands_;
  std::string pending_;
};

}  // namespace tessaline::testing
