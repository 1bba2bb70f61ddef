// A MessageTarget that delivers worker messages to a window as WM_APP messages.
#pragma once

#include <windows.h>

#include <memory>
#include <mutex>
#include <set>
#include <string>

#include "ui/message_target.h"

namespace tessaline {

// The messages that carry text (CarriesText) hold a heap copy of it in lParam; the window takes it back with
// ClaimText. Texts still in flight when the window goes are freed by Detach, so a target whose
// window is gone neither posts nor leaks.
class HwndMessageTarget final : public MessageTarget {
 public:
  // PostMessageW's shape: tests pass one that fails as a full queue does.
  using PostFunction = BOOL(WINAPI*)(HWND, UINT, WPARAM, LPARAM);
  explicit HwndMessageTarget(HWND window, PostFunction post = PostMessageW)
      : window_(window), post_(post) {}
  ~HwndMessageTarget() override;

  void Post(WorkerMessage message) override;
  void Send(WorkerMessage message) override;
  std::int64_t Ask(WorkerMessage message) override;

  // The text a message carried (empty when it is not one of ours).
  std::string ClaimText(LPARAM lParam);
  // The window is being destroyed: drop later messages and free the texts still queued.
  void Detach();
  std::size_t TextsInFlight() const;

 private:
  // Posted, or sent with the window's answer in `answer`; false once the window is gone.
  bool Deliver(WorkerMessage message, bool send, LRESULT* answer = nullptr);
  // Posts, waiting for room while the window's queue is full; false once the window is gone.
  bool PostUntilQueued(UINT code, WPARAM wParam, LPARAM lParam, std::string* text);

  mutable std::mutex mutex_;
  HWND window_;
  PostFunction post_;
  std::set<std::string*> inFlight_;
};

}  // namespace tessaline
