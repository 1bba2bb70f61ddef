// The version query worker: VersionQueue, bootload_version_thread and the query for one request.
#include "discovery/version_worker.h"

#include <chrono>
#include <system_error>

#include "discovery/text_protocol.h"
#include "link/bootloader_link.h"
#include "shell/messages.h"
#include "shell/settings.h"

namespace tessaline {

namespace {

constexpr std::uint16_t kReplyOverhead = 3;  // command byte and CRC of the short form

void PostTo(MessageTarget* window, std::uint32_t code, std::uint64_t wParam,
            std::uint64_t lParam = 0) {
  if (window != nullptr) window->Post({code, wParam, lParam, {}});
}

std::uint32_t LittleEndian32(const std::uint8_t* bytes) {
  return static_cast<std::uint32_t>(bytes[0]) | static_cast<std::uint32_t>(bytes[1]) << 8 |
         static_cast<std::uint32_t>(bytes[2]) << 16 | static_cast<std::uint32_t>(bytes[3]) << 24;
}

void PostBootloadState(MessageTarget* window, char letter) {
  PostTo(window, WM_APP_ENABLE_ENTER_BOOTLOAD, letter == kBootloadDisabledLetter ? 1 : 0);
  PostTo(window, WM_APP_ENABLE_EXIT_BOOTLOAD, letter == kBootloadEnabledLetter ? 1 : 0);
}

}  // namespace

VersionQueryAnswer RunVersionQuery(UnitRequest& request, platform::Clock& linkClock) {
  VersionQueryAnswer answer;
  MessageTarget* window = request.window.get();
  PostTo(window, WM_APP_ENABLE_EXIT_BOOTLOAD, 0);

  BootloaderLink link(linkClock);
  link.SetTransport(std::move(request.transport));
  Transport* unit = link.GetTransport();
  if (unit == nullptr) {
    PostTo(window, WM_APP_VERSION_QUERY_DONE, 0);
    return answer;
  }
  link.OpenTransport();  // an unopened transport makes the exchange fail at once

  if (link.Exchange(kBootloaderVersionCommand, nullptr, 0, kVersionQuerySends,
                    kVersionQueryTimeoutMs) &&
      link.GetReplyLength() >= kReplyOverhead + 2) {
    const std::uint8_t* reply = link.GetReply();
    PostTo(window, WM_APP_BOOTLOADER_VERSION, static_cast<std::uint32_t>(reply[1]) << 8 | reply[2]);
    PostTo(window, WM_APP_ENABLE_ENTER_BOOTLOAD, 0);
    PostTo(window, WM_APP_ENABLE_EXIT_BOOTLOAD, 1);
    std::uint32_t applicationVersion = kNoApplicationVersion;
    if (link.Exchange(kApplicationVersionCommand, nullptr, 0, kVersionQuerySends,
                      kVersionQueryTimeoutMs) &&
        link.GetReplyLength() >= kReplyOverhead + 4) {
      applicationVersion = LittleEndian32(link.GetReply() + 1);
    }
    PostTo(window, WM_APP_APPLICATION_VERSION, 0, applicationVersion);
    link.CloseTransport();
  } else if (unit->GetKind() == kKindCom || unit->GetKind() == kKindIp) {
    link.CloseTransport();  // frees the serial port for the text probe
    PostTo(window, WM_APP_NO_BOOTLOADER, 0);
    PostTo(window, WM_APP_APPLICATION_VERSION, 0, kNoApplicationVersion);
    PostTo(window, WM_APP_ENABLE_ENTER_BOOTLOAD, 0);
    PostTo(window, WM_APP_ENABLE_EXIT_BOOTLOAD, 0);
    const std::uint32_t timeoutMs =
        unit->GetKind() == kKindCom ? kVersionSerialTextTimeoutMs : kVersionNetworkTextTimeoutMs;
    TextPortSearch(*unit, timeoutMs, [&](Transport& /*textTransport*/, const std::string& reply) {
      answer.bootloadStateLetter = BootloadStateLetter(reply);
      PostBootloadState(window, *answer.bootloadStateLetter);
    });
  }
  PostTo(window, WM_APP_VERSION_QUERY_DONE, 0);
  return answer;
}

void AutoResetEvent::Signal() {
  {
    std::lock_guard lock(mutex_);
    signalled_ = true;
  }
  changed_.notify_one();
}

void AutoResetEvent::Reset() {
  std::lock_guard lock(mutex_);
  signalled_ = false;
}

bool AutoResetEvent::Wait(std::uint32_t timeoutMs) {
  std::unique_lock lock(mutex_);
  if (!changed_.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] { return signalled_; })) {
    return false;
  }
  signalled_ = false;
  return true;
}

bool TimedLock::TryLockFor(std::uint32_t timeoutMs) {
  std::unique_lock lock(mutex_);
  if (!released_.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] { return !held_; })) {
    return false;
  }
  held_ = true;
  return true;
}

void TimedLock::Unlock() {
  {
    std::lock_guard lock(mutex_);
    held_ = false;
  }
  released_.notify_one();
}

VersionQueue::VersionQueue(platform::Clock& linkClock) : linkClock_(linkClock) {}

VersionQueue::~VersionQueue() { StopVersionWorker(); }

void VersionQueue::StartVersionWorker() {
  StopVersionWorker();
  stop_ = false;
  requestEvent_.Reset();
  try {
    worker_ = platform::JoinedThread([this] { Worker(); });
  } catch (const std::system_error&) {
    // No worker: every query is destroyed unserved, and the window waits for no answer.
  }
}

void VersionQueue::StopVersionWorker() {
  if (worker_.Running()) {
    stop_ = true;
    worker_.Join();
  }
  // Only this thread is left: nobody else can hold the lock.
  const bool locked = queueLock_.TryLockFor(kVersionWaitSliceMs);
  queue_.clear();
  if (locked) queueLock_.Unlock();
}

bool VersionQueue::LockQueue() {
  while (!stop_.load()) {
    if (queueLock_.TryLockFor(kVersionWaitSliceMs)) return true;
  }
  return false;
}

void VersionQueue::SubmitVersionQuery(std::unique_ptr<UnitRequest> request) {
  if (!request || !worker_.Running()) return;  // destroyed unserved
  if (!LockQueue()) return;                    // stopping: destroyed unserved
  queue_.push_back(std::move(request));
  queueLock_.Unlock();
  requestEvent_.Signal();
}

std::size_t VersionQueue::Pending() {
  if (!queueLock_.TryLockFor(kVersionWaitSliceMs)) return 0;
  const std::size_t count = queue_.size();
  queueLock_.Unlock();
  return count;
}

std::unique_ptr<UnitRequest> VersionQueue::Take() {
  if (!LockQueue()) return nullptr;
  std::unique_ptr<UnitRequest> request;
  if (!queue_.empty()) {
    request = std::move(queue_.front());
    queue_.pop_front();
    if (queue_.empty()) requestEvent_.Reset();
  }
  queueLock_.Unlock();
  return request;
}

void VersionQueue::Worker() {
  ThreadNameHook("bootload_version_thread");
  while (!stop_.load()) {
    if (!requestEvent_.Wait(kVersionWaitSliceMs)) continue;
    // Only the newest waiting request is served; older ones are destroyed with their transports.
    std::unique_ptr<UnitRequest> newest;
    while (auto taken = Take()) newest = std::move(taken);
    if (newest && !stop_.load()) RunVersionQuery(*newest, linkClock_);
  }
}

VersionQueue& ProcessVersionQueue() {
  static VersionQueue queue;
  return queue;
}

void StartVersionWorker() { ProcessVersionQueue().StartVersionWorker(); }
void StopVersionWorker() { ProcessVersionQueue().StopVersionWorker(); }
void SubmitVersionQuery(std::unique_ptr<UnitRequest> request) {
  ProcessVersionQueue().SubmitVersionQuery(std::move(request));
}

}  // namespace tessaline
