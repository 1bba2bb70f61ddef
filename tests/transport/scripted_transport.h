// A transport that plays back scripted input and records what was written, for TextQuery rules.
#pragma once

#include <algorithm>
#include <cstdint>
#include <deque>
#include <string>
#include <vector>

#include "platform/clock.h"
#include "transport/transport.h"

namespace tessaline::testing {

class ScriptedTransport final : public Transport {
 public:
  explicit ScriptedTransport(std::string_view kind) : kind_(kind) {}

  // Input already waiting before the command goes out.
  std::deque<std::string> waiting;
  // Pieces of the answer, one per Read after the command, each `readWaitMs` apart.
  std::deque<std::string> answer;
  // Each Read that finds nothing blocks this long, as a real transport's read wait does.
  std::uint32_t readWaitMs = 5;
  bool writeSucceeds = true;

  std::vector<std::string> writes;
  std::vector<std::uint32_t> readCapacities;
  int readsBeforeCommand = 0;

  bool Open() override { return true; }
  bool IsOpen() const override { return true; }
  bool Write(const std::uint8_t* bytes, std::uint32_t count) override {
    writes.emplace_back(reinterpret_cast<const char*>(bytes), count);
    return writeSucceeds;
  }
  std::uint32_t Read(std::uint8_t* buffer, std::uint32_t capacity) override {
    readCapacities.push_back(capacity);
    if (writes.empty()) ++readsBeforeCommand;
    std::deque<std::string>& source = writes.empty() ? waiting : answer;
    if (source.empty()) {
      platform::SleepMs(readWaitMs);
      return 0;
    }
    std::string& next = source.front();
    if (next.empty()) {  // a scripted silent read
      source.pop_front();
      platform::SleepMs(readWaitMs);
      return 0;
    }
    const std::size_t count = std::min<std::size_t>(capacity, next.size());
    std::copy_n(next.begin(), count, buffer);
    next.erase(0, count);
    if (next.empty()) source.pop_front();
    return static_cast<std::uint32_t>(count);
  }
  std::string_view GetKind() const override { return kind_; }

 private:
  std::string_view kind_;
};

}  // namespace tessaline::testing
