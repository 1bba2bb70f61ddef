// Delivery of worker messages to a window, with owned progress texts.
#include "ui/hwnd_message_target.h"

#include "ui/messages.h"

namespace tessaline {
namespace {
constexpr DWORD kFullQueueRetryMs = 5;
}  // namespace

HwndMessageTarget::~HwndMessageTarget() { Detach(); }

void HwndMessageTarget::Post(WorkerMessage message) { Deliver(std::move(message), false); }
void HwndMessageTarget::Send(WorkerMessage message) { Deliver(std::move(message), true); }
std::int64_t HwndMessageTarget::Ask(WorkerMessage message) {
  LRESULT answer = 0;
  Deliver(std::move(message), true, &answer);
  return static_cast<std::int64_t>(answer);
}

bool HwndMessageTarget::Deliver(WorkerMessage message, bool send, LRESULT* answer) {
  HWND window = nullptr;
  LPARAM lParam = static_cast<LPARAM>(message.lParam);
  std::string* text = nullptr;
  {
    std::lock_guard lock(mutex_);
    if (window_ == nullptr) return false;
    window = window_;
    if (CarriesText(message.code)) {
      text = new std::string(std::move(message.text));
      inFlight_.insert(text);
      lParam = reinterpret_cast<LPARAM>(text);
    }
  }
  if (!send) {
    return PostUntilQueued(message.code, static_cast<WPARAM>(message.wParam), lParam, text);
  }
  // A send waits for the window's thread, which may itself be waiting for this lock: never hold
  // it here. A window destroyed meanwhile makes SendMessageW fail at once.
  const LRESULT result =
      SendMessageW(window, message.code, static_cast<WPARAM>(message.wParam), lParam);
  if (answer != nullptr) *answer = result;
  if (text != nullptr) ClaimText(lParam);  // no-op when the window already took it
  return true;
}

bool HwndMessageTarget::PostUntilQueued(UINT code, WPARAM wParam, LPARAM lParam,
                                        std::string* text) {
  for (;;) {
    {
      // Posting under the lock: Detach cannot run between the post and the bookkeeping.
      std::lock_guard lock(mutex_);
      if (window_ == nullptr) return false;  // gone meanwhile; Detach freed the text
      if (post_(window_, code, wParam, lParam)) return true;
      if (!IsWindow(window_)) {
        if (text != nullptr) {
          inFlight_.erase(text);
          delete text;
        }
        return false;
      }
    }
    // The window's queue is full (it holds ten thousand messages at most). It drains as the
    // window works: wait for room rather than drop the message, which may be a job's result.
    Sleep(kFullQueueRetryMs);
  }
}

std::string HwndMessageTarget::ClaimText(LPARAM lParam) {
  auto* text = reinterpret_cast<std::string*>(lParam);
  std::lock_guard lock(mutex_);
  if (inFlight_.erase(text) == 0) return {};
  std::string result = std::move(*text);
  delete text;
  return result;
}

void HwndMessageTarget::Detach() {
  std::lock_guard lock(mutex_);
  window_ = nullptr;
  for (std::string* text : inFlight_) delete text;
  inFlight_.clear();
}

std::size_t HwndMessageTarget::TextsInFlight() const {
  std::lock_guard lock(mutex_);
  return inFlight_.size();
}

}  // namespace tessaline
