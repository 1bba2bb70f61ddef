// In-process driving of the real windows: message boxes caught, messages pumped, states read.
#pragma once

#include <windows.h>

#include <chrono>
#include <deque>
#include <functional>
#include <string>
#include <vector>

namespace tessaline::test {

struct CaughtBox {
  std::wstring text;
  std::wstring caption;
};

// Catches every message box of the calling thread (a thread-local WH_CBT hook): records its text
// and caption and answers it with the next queued answer (IDOK when none is queued).
class MessageBoxCatcher {
 public:
  MessageBoxCatcher();
  ~MessageBoxCatcher();
  MessageBoxCatcher(const MessageBoxCatcher&) = delete;
  MessageBoxCatcher& operator=(const MessageBoxCatcher&) = delete;

  void Answer(int button) { answers_.push_back(button); }
  // Other dialogs (not message boxes) are closed (Esc, then the close box) once `onDialog` saw
  // them.
  void OnDialog(std::function<void(HWND)> onDialog) { onDialog_ = std::move(onDialog); }
  const std::vector<std::wstring>& DialogCaptions() const { return dialogs_; }
  const std::vector<CaughtBox>& Boxes() const { return boxes_; }
  void Clear() { boxes_.clear(); }

 private:
  static LRESULT CALLBACK Hook(int code, WPARAM wParam, LPARAM lParam);
  HHOOK hook_ = nullptr;
  std::deque<int> answers_;
  std::vector<CaughtBox> boxes_;
  std::function<void(HWND)> onDialog_;
  std::vector<std::wstring> dialogs_;
};

// Handles this thread's messages for `duration`.
void Pump(std::chrono::milliseconds duration);
// Handles messages until `done` holds (true) or `timeout` passed (false).
bool PumpUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout);

std::wstring ItemText(HWND window, int id);
bool ItemEnabled(HWND window, int id);
bool MenuItemEnabled(HWND window, UINT command);
// Sends a button click (BM_CLICK) the way a user's click arrives.
void Click(HWND window, int id);
// Types into the address control: fills all four fields (after clearing them).
void SetAddress(HWND window, int id, BYTE a, BYTE b, BYTE c, BYTE d);
// Types into the first field only, leaving the address incomplete.
void TypeFirstAddressField(HWND window, int id, const wchar_t* text);

// Saves the window as it is on screen to `path` (24-bit BMP).
bool SaveWindowBitmap(HWND window, const std::wstring& path);

}  // namespace tessaline::test
