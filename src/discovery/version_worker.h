// The version query worker: one long-lived thread serving the newest queued version request.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>

#include "platform/clock.h"
#include "platform/threading.h"
#include "transport/unit_address.h"

namespace tessaline {

inline constexpr std::uint16_t kVersionQuerySends = 5;
inline constexpr std::uint16_t kVersionQueryTimeoutMs = 500;  // per send; x5 on a serial line
inline constexpr std::uint32_t kVersionSerialTextTimeoutMs = 1000;
inline constexpr std::uint32_t kVersionNetworkTextTimeoutMs = 250;  // x5 over TCP
// Longest wait of the worker for a request, so it sees the stop flag soon.
inline constexpr std::uint32_t kVersionWaitSliceMs = 250;

// What a version query finds, in the order it finds it. Called on the querying thread.
class VersionListener {
 public:
  virtual ~VersionListener() = default;
  virtual void QueryBegan() = 0;
  // (major << 8) | minor of the bootloader that answered.
  virtual void BootloaderVersion(std::uint16_t version) = 0;
  // After BootloaderVersion: the application's version, none when the unit reports none.
  virtual void ApplicationVersion(std::optional<std::uint32_t> version) = 0;
  // No bootloader answered; the text port is asked next.
  virtual void NoBootloader() = 0;
  // The running application's bootload state letter (kBootloadEnabledLetter, ...).
  virtual void BootloadState(char letter) = 0;
  // A socket to the unit could not be set up; the query goes on as if nothing answered there.
  virtual void SocketFailed(const SocketFailure& failure) = 0;
  virtual void QueryEnded() = 0;
};

struct VersionRequest {
  UnitAddress unit;
  std::uint32_t parserPort = 0;  // the text port when no bootloader answers
  std::shared_ptr<VersionListener> listener;
};

// The query for one request, on the calling thread. Used by the worker and by the command line.
void RunVersionQuery(const UnitAddress& unit, std::uint32_t parserPort, VersionListener& listener,
                     platform::Clock& linkClock = platform::SystemClock());

// An auto-reset event: one Signal wakes one Wait once.
class AutoResetEvent {
 public:
  void Signal();
  void Reset();
  // True when signalled within `timeoutMs` (the signal is consumed).
  bool Wait(std::uint32_t timeoutMs);

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  bool signalled_ = false;
};

class VersionQueue {
 public:
  using Runner = std::function<void(const VersionRequest&)>;
  explicit VersionQueue(platform::Clock& linkClock = platform::SystemClock());
  // Serves each request with `run` instead of the query (tests of the queue itself).
  explicit VersionQueue(Runner run) : run_(std::move(run)) {}
  ~VersionQueue();  // StopVersionWorker
  VersionQueue(const VersionQueue&) = delete;
  VersionQueue& operator=(const VersionQueue&) = delete;

  // Stops any running worker, empties the queue and starts bootload_version_thread.
  void StartVersionWorker();
  // Sets the stop flag, waits for the worker, destroys every request still queued.
  void StopVersionWorker();
  // Queues the request when the worker runs; otherwise (or once stopping) drops it unserved.
  void SubmitVersionQuery(VersionRequest request);
  bool WorkerRunning() const { return worker_.Running(); }
  // Requests waiting (tests).
  std::size_t Pending();

 private:
  void Worker();
  // The oldest request still queued; none once stopping.
  std::optional<VersionRequest> Take();

  Runner run_;
  std::atomic<bool> stop_{false};
  AutoResetEvent requestEvent_;
  // Held only to add or take a request, never while one is served.
  std::mutex queueMutex_;
  std::deque<VersionRequest> queue_;
  platform::JoinedThread worker_;
};

// The process-wide queue of the front ends.
VersionQueue& ProcessVersionQueue();
void StartVersionWorker();
void StopVersionWorker();
void SubmitVersionQuery(VersionRequest request);

}  // namespace tessaline
