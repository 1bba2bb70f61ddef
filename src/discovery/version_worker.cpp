// The version query worker: VersionQueue, bootload_version_thread and the query for one request.
#include "discovery/version_worker.h"

#include <chrono>
#include <system_error>

#include "discovery/text_protocol.h"
#include "link/bootloader_commands.h"
#include "link/bootloader_link.h"
#include "platform/threading.h"

namespace tessaline {

void RunVersionQuery(const UnitAddress& unit, std::uint32_t parserPort, VersionListener& listener,
                     platform::Clock& linkClock) {
  listener.QueryBegan();
  BootloaderLink link(linkClock);
  link.SetTransport(unit.MakeBootloaderTransport());
  // An unopened transport makes the exchange fail at once.
  if (!link.OpenTransport() && link.GetTransport()->SocketSetupFailure()) {
    listener.SocketFailed(*link.GetTransport()->SocketSetupFailure());
  }

  std::optional<std::uint16_t> bootloader;
  if (link.Exchange(BootloaderVersionCommand, nullptr, 0, kVersionQuerySends,
                    kVersionQueryTimeoutMs)) {
    bootloader = DecodeBootloaderVersion(link.GetReply(), link.GetReplyLength());
  }
  if (bootloader) {
    listener.BootloaderVersion(*bootloader);
    std::optional<std::uint32_t> application;
    if (link.Exchange(ApplicationVersionCommand, nullptr, 0, kVersionQuerySends,
                      kVersionQueryTimeoutMs)) {
      application = DecodeApplicationVersion(link.GetReply(), link.GetReplyLength());
    }
    listener.ApplicationVersion(application);
    link.CloseTransport();
  } else {
    link.CloseTransport();  // frees the serial port for the text probe
    listener.NoBootloader();
    const std::uint32_t timeoutMs =
        unit.IsSerial() ? kVersionSerialTextTimeoutMs : kVersionNetworkTextTimeoutMs;
    const TextSearchResult found = TextPortSearch(
        unit, parserPort, timeoutMs, [&](Transport& /*textTransport*/, const std::string& reply) {
          listener.BootloadState(BootloadStateLetter(reply));
        });
    if (found.socketFailure) listener.SocketFailed(*found.socketFailure);
  }
  listener.QueryEnded();
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

VersionQueue::VersionQueue(platform::Clock& linkClock)
    : run_([&linkClock](const VersionRequest& request) {
        if (request.listener) {
          RunVersionQuery(request.unit, request.parserPort, *request.listener, linkClock);
        }
      }) {}

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
  // The requests (and their listeners) are destroyed outside the lock, so none can re-enter it.
  std::deque<VersionRequest> unserved;
  {
    std::lock_guard lock(queueMutex_);
    unserved.swap(queue_);
  }
}

void VersionQueue::SubmitVersionQuery(VersionRequest request) {
  if (!worker_.Running()) return;  // dropped unserved
  {
    std::lock_guard lock(queueMutex_);
    if (stop_.load()) return;  // stopping: dropped unserved
    queue_.push_back(std::move(request));
  }
  requestEvent_.Signal();
}

std::size_t VersionQueue::Pending() {
  std::lock_guard lock(queueMutex_);
  return queue_.size();
}

std::optional<VersionRequest> VersionQueue::Take() {
  if (stop_.load()) return std::nullopt;
  std::lock_guard lock(queueMutex_);
  if (queue_.empty()) return std::nullopt;
  std::optional<VersionRequest> request = std::move(queue_.front());
  queue_.pop_front();
  if (queue_.empty()) requestEvent_.Reset();
  return request;
}

void VersionQueue::Worker() {
  platform::ThreadNameHook("bootload_version_thread");
  while (!stop_.load()) {
    if (!requestEvent_.Wait(kVersionWaitSliceMs)) continue;
    // Only the newest waiting request is served; older ones are dropped with their listeners.
    std::optional<VersionRequest> newest;
    while (auto taken = Take()) newest = std::move(taken);
    if (newest && !stop_.load()) run_(*newest);
  }
}

VersionQueue& ProcessVersionQueue() {
  static VersionQueue queue;
  return queue;
}

void StartVersionWorker() { ProcessVersionQueue().StartVersionWorker(); }
void StopVersionWorker() { ProcessVersionQueue().StopVersionWorker(); }
void SubmitVersionQuery(VersionRequest request) {
  ProcessVersionQueue().SubmitVersionQuery(std::move(request));
}

}  // namespace tessaline
