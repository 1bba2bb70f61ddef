// A transport whose reads are scripted and whose every read advances a fake clock by its wait.
#pragma once

#include <algorithm>
#include <cstdint>
#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "platform/clock.h"
#include "support/manual_clock.h"
#include "transport/transport.h"

namespace tessaline::testing {

struct WrittenFrame {
  std::uint32_t tick;
  std::vector<std::uint8_t> bytes;
};

class ScriptedTransport final : public Transport {
 public:
  ScriptedTransport(ManualClock& clock, std::string kind, std::uint32_t readWaitMs)
      : clock_(clock), kind_(std::move(kind)), readWaitMs_(readWaitMs) {}
  ~ScriptedTransport() override {
    if (events != nullptr) events->push_back("destroy");
  }

  // One entry per Read, in order; an empty entry is a read that gets nothing.
  std::deque<std::vector<std::uint8_t>> incoming;
  // Called after each write, so a test can queue the unit's answer to it.
  std::function<void(ScriptedTransport&, const WrittenFrame&)> onWrite;
  std::vector<WrittenFrame> writes;
  std::vector<std::uint32_t> readTicks;  // clock after each read
  bool open = true;
  bool yieldOnRead = false;  // lets another thread's link run between two reads
  // When set, a read that brings bytes returns after this long instead of the full wait, as a
  // serial read returns with the first bytes to arrive.
  std::optional<std::uint32_t> arrivingReadMs;
  std::vector<std::string>* events = nullptr;

  bool Open() override {
    open = true;
    return true;
  }
  bool IsOpen() const override { return open; }
  bool Close() override {
    if (events != nullptr) events->push_back("close");
    open = false;
    return true;
  }
  bool Write(const std::uint8_t* bytes, std::uint32_t count) override {
    writes.push_back({clock_.Now(), std::vector<std::uint8_t>(bytes, bytes + count)});
    if (onWrite) onWrite(*this, writes.back());
    return true;
  }
  std::uint32_t Read(std::uint8_t* buffer, std::uint32_t capacity) override {
    const bool arriving = !incoming.empty() && !incoming.front().empty();
    clock_.Sleep(arriving && arrivingReadMs ? *arrivingReadMs : readWaitMs_);
    readTicks.push_back(clock_.Now());
    if (incoming.empty()) return 0;
    std::vector<std::uint8_t> chunk = std::move(incoming.front());
    incoming.pop_front();
    const auto count = std::min<std::uint32_t>(static_cast<std::uint32_t>(chunk.size()), capacity);
    std::copy_n(chunk.begin(), count, buffer);
    // Between filling the caller's buffer and its use is where a shared buffer would be trampled.
    if (yieldOnRead) std::this_thread::yield();
    return count;
  }
  std::string_view GetKind() const override { return kind_; }

 private:
  ManualClock& clock_;
  std::string kind_;
  std::uint32_t readWaitMs_;
};

}  // namespace tessaline::testing
