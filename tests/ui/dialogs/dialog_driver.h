// Drives real modal dialogs from inside their own message loops: scripts, pumps, caught boxes.
#pragma once

#include <windows.h>

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace tessaline::testing {

// An address on loopback where nothing listens.
inline constexpr char kSilentAddress[] = "127.0.161.29";

// A dotted IPv4 address in network byte order, as the dialogs' address controls hold it.
std::uint32_t Address(const char* dotted);

struct CaughtBox {
  std::wstring text;
  std::wstring caption;
  HCURSOR cursorWhenShown = nullptr;  // this thread's cursor as the box came up
};

// While alive, a thread-local WH_CBT hook watches every dialog this thread activates. Message
// boxes are recorded and answered with OK; other dialogs are handed, once each, to the scripts
// queued with OnNextDialog. The script runs from a timer inside the dialog's own modal loop; a
// dialog still open when its script returns is closed, so no test can hang on it.
class DialogDriver {
 public:
  DialogDriver();
  ~DialogDriver();
  DialogDriver(const DialogDriver&) = delete;
  DialogDriver& operator=(const DialogDriver&) = delete;

  void OnNextDialog(std::function<void(HWND)> script);
  const std::vector<CaughtBox>& Boxes() const { return boxes_; }
  // Dialogs the scripts ran on, in order.
  const std::vector<HWND>& Dialogs() const { return dialogs_; }

 private:
  static LRESULT CALLBACK CbtProc(int code, WPARAM wParam, LPARAM lParam);
  static void CALLBACK TimerProc(HWND, UINT, UINT_PTR id, DWORD);
  void Activated(HWND window);

  HHOOK hook_ = nullptr;
  std::deque<std::function<void(HWND)>> scripts_;
  std::map<UINT_PTR, std::pair<HWND, std::function<void(HWND)>>> due_;
  std::vector<CaughtBox> boxes_;
  std::vector<HWND> dialogs_;
};

// Dispatches this thread's messages for `ms` milliseconds.
void PumpFor(std::uint32_t ms);
// Dispatches messages until `done` is true (true) or `timeoutMs` has passed (false).
bool PumpUntil(const std::function<bool()>& done, std::uint32_t timeoutMs);

std::wstring TextOf(HWND window);
std::wstring ItemTextOf(HWND dialog, int id);
// Clicks a button the way the user does (BM_CLICK): the owner gets WM_COMMAND.
void Click(HWND dialog, int id);
// Types one character into a control as the keyboard would.
void Type(HWND control, wchar_t character);

// The font a control draws with.
LOGFONTW FontOf(HWND control);

// Saves the window as <build>/windows/screenshots/<name>.bmp (a cleanup step makes PNGs).
void SaveScreenshot(HWND window, const std::string& name);

}  // namespace tessaline::testing
