// The version query worker: one long-lived thread serving the newest queued UnitRequest.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>

#include "platform/clock.h"
#include "platform/threading.h"
#include "shell/unit_request.h"

namespace tessaline {

inline constexpr std::uint8_t kBootloaderVersionCommand = 0x01;
inline constexpr std::uint8_t kApplicationVersionCommand = 0x09;
inline constexpr std::uint16_t kVersionQuerySends = 5;
inline constexpr std::uint16_t kVersionQueryTimeoutMs = 500;  // per send; x5 on a serial line
inline constexpr std::uint32_t kVersionSerialTextTimeoutMs = 1000;
inline constexpr std::uint32_t kVersionNetworkTextTimeoutMs = 250;  // x5 over TCP
// Longest single wait anywhere in the queue, so no side can hang on a stopped worker.
inline constexpr std::uint32_t kVersionWaitSliceMs = 250;

// What a query learned beyond its messages: the state letter of the running application's
// answer to the bootload query, when it answered (any letter, 'e' and 'd' included).
struct VersionQueryAnswer {
  std::optional<char> bootloadStateLetter;
};

// The query for one request, on the calling thread: reports to request.window, then destroys the
// transport. Used by the worker and by the command line.
VersionQueryAnswer RunVersionQuery(UnitRequest& request,
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

// A lock whose acquisition waits at most a given time. Built on a plain mutex and a condition
// variable (std::timed_mutex's timed wait is invisible to the thread sanitizer).
class TimedLock {
 public:
  bool TryLockFor(std::uint32_t timeoutMs);
  void Unlock();

 private:
  std::mutex mutex_;
  std::condition_variable released_;
  bool held_ = false;
};

class VersionQueue {
 public:
  explicit VersionQueue(platform::Clock& linkClock = platform::SystemClock());
  ~VersionQueue();  // StopVersionWorker
  VersionQueue(const VersionQueue&) = delete;
  VersionQueue& operator=(const VersionQueue&) = delete;

  // Stops any running worker, empties the queue and starts bootload_version_thread.
  void StartVersionWorker();
  // Sets the stop flag, waits for the worker, destroys every request still queued.
  void StopVersionWorker();
  // Queues the request when the worker runs; otherwise (or once stopping) destroys it unserved.
  void SubmitVersionQuery(std::unique_ptr<UnitRequest> request);
  bool WorkerRunning() const { return worker_.Running(); }
  // Requests waiting (tests).
  std::size_t Pending();

 private:
  void Worker();
  // Waits for the queue lock in kVersionWaitSliceMs slices while the stop flag is clear; false
  // once stopping.
  bool LockQueue();
  std::unique_ptr<UnitRequest> Take();

  platform::Clock& linkClock_;
  std::atomic<bool> stop_{false};
  AutoResetEvent requestEvent_;
  TimedLock queueLock_;
  std::deque<std::unique_ptr<UnitRequest>> queue_;
  platform::JoinedThread worker_;
};

// The process-wide queue of the front ends.
VersionQueue& ProcessVersionQueue();
void StartVersionWorker();
void StopVersionWorker();
void SubmitVersionQuery(std::unique_ptr<UnitRequest> request);

}  // namespace tessaline
