// The one scripted transport of the tests: reads play back queued chunks, every read waits on a
// clock as a real read would, and every write is kept (and can queue the unit's answer).
#pragma once

#include <algorithm>
#include <cstdint>
#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

#include "platform/clock.h"
#include "transport/transport.h"

namespace tessaline::testing {

struct WrittenFrame {
  std::uint32_t tick;
  std::vector<std::uint8_t> bytes;
};

struct ReadRecord {
  std::uint32_t tick;        // clock after the read
  std::uint32_t capacity;    // what the caller asked for
  std::size_t writesBefore;  // writes made when the read happened
};

inline std::vector<std::uint8_t> TextBytes(std::string_view text) {
  return std::vector<std::uint8_t>(text.begin(), text.end());
}

class ScriptedTransport final : public Transport {
 public:
  // Every read waits `readWaitMs` on `clock`; one that brings bytes waits `arrivingReadMs`
  // instead when that is set (a serial read returns with the first bytes to arrive).
  ScriptedTransport(platform::Clock& clock, std::string_view kind, std::uint32_t readWait,
                    std::optional<std::uint32_t> arrivingRead = std::nullopt)
      : readWaitMs(readWait), arrivingReadMs(arrivingRead), clock_(clock), kind_(kind) {}
  ~ScriptedTransport() override {
    if (events != nullptr) events->push_back("destroy");
  }

  // One entry per Read, in order; an empty entry is a read that gets nothing, and what does not
  // fit the read's capacity is left for the next read.
  std::deque<std::vector<std::uint8_t>> incoming;
  // Called after each write, so a test can queue the unit's answer to it.
  std::function<void(ScriptedTransport&, const WrittenFrame&)> onWrite;
  std::vector<WrittenFrame> writes;
  std::vector<ReadRecord> reads;
  std::uint32_t readWaitMs;
  std::optional<std::uint32_t> arrivingReadMs;
  bool open = true;
  bool writeSucceeds = true;
  bool yieldOnRead = false;  // lets another thread's link run between two reads
  std::vector<std::string>* events = nullptr;

  // Queues `chunks` (one per Read) each time the n-th write happens (1-based; 0 = every write).
  void AnswerWrite(std::size_t n, std::vector<std::vector<std::uint8_t>> chunks) {
    onWrite = [n, chunks = std::move(chunks)](ScriptedTransport& t, const WrittenFrame&) {
      if (n == 0 || t.writes.size() == n)
        t.incoming.insert(t.incoming.end(), chunks.begin(), chunks.end());
    };
  }
  std::vector<std::string> WrittenText() const {
    std::vector<std::string> texts;
    for (const auto& w : writes) texts.emplace_back(w.bytes.begin(), w.bytes.end());
    return texts;
  }
  std::size_t ReadsBeforeFirstWrite() const {
    return static_cast<std::size_t>(std::count_if(
        reads.begin(), reads.end(), [](const ReadRecord& r) { return r.writesBefore == 0; }));
  }

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
    return writeSucceeds;
  }
  std::uint32_t Read(std::uint8_t* buffer, std::uint32_t capacity) override {
    const bool arriving = !incoming.empty() && !incoming.front().empty();
    const std::uint32_t wait = arriving && arrivingReadMs ? *arrivingReadMs : readWaitMs;
    if (wait > 0) clock_.Sleep(wait);
    reads.push_back({clock_.Now(), capacity, writes.size()});
    if (incoming.empty()) return 0;
    std::vector<std::uint8_t>& chunk = incoming.front();
    const auto count = std::min<std::uint32_t>(static_cast<std::uint32_t>(chunk.size()), capacity);
    std::copy_n(chunk.begin(), count, buffer);
    chunk.erase(chunk.begin(), chunk.begin() + count);
    if (chunk.empty()) incoming.pop_front();
    // Between filling the caller's buffer and its use is where a shared buffer would be trampled.
    if (yieldOnRead) std::this_thread::yield();
    return count;
  }
  std::string_view GetKind() const override { return kind_; }

 private:
  platform::Clock& clock_;
  std::string kind_;
};

}  // namespace tessaline::testing
