// Hook, timers and pumps that drive the dialogs from their own modal loops.
#include "ui/dialogs/dialog_driver.h"

#include <winsock2.h>
#include <ws2tcpip.h>

#include <cstdlib>
#include <fstream>

namespace tessaline::testing {

std::uint32_t Address(const char* dotted) {
  in_addr address{};
  inet_pton(AF_INET, dotted, &address);
  return address.s_addr;
}

namespace {

constexpr int kMessageBoxTextId = 0xFFFF;  // the static holding a message box's text
constexpr UINT kScriptDelayMs = 50;        // lets the dialog paint before its script runs
thread_local DialogDriver* current = nullptr;

bool IsDialogWindow(HWND window) {
  wchar_t className[16] = {};
  GetClassNameW(window, className, 16);
  return std::wstring(className) == L"#32770";
}

}  // namespace

DialogDriver::DialogDriver() {
  current = this;
  hook_ = SetWindowsHookExW(WH_CBT, CbtProc, nullptr, GetCurrentThreadId());
}

DialogDriver::~DialogDriver() {
  if (hook_ != nullptr) UnhookWindowsHookEx(hook_);
  for (const auto& [id, entry] : due_) KillTimer(nullptr, id);
  current = nullptr;
}

void DialogDriver::OnNextDialog(std::function<void(HWND)> script) {
  scripts_.push_back(std::move(script));
}

LRESULT CALLBACK DialogDriver::CbtProc(int code, WPARAM wParam, LPARAM lParam) {
  if (code == HCBT_ACTIVATE && current != nullptr)
    current->Activated(reinterpret_cast<HWND>(wParam));
  return CallNextHookEx(nullptr, code, wParam, lParam);
}

void DialogDriver::Activated(HWND window) {
  if (!IsDialogWindow(window)) return;
  if (GetDlgItem(window, kMessageBoxTextId) != nullptr) {
    boxes_.push_back({ItemTextOf(window, kMessageBoxTextId), TextOf(window), GetCursor()});
    PostMessageW(window, WM_COMMAND, IDOK, 0);  // post, never send: the box is not running yet
    return;
  }
  for (HWND seen : dialogs_) {
    if (seen == window) return;  // re-activated after a nested box or dialog closed
  }
  for (const auto& [id, entry] : due_) {
    if (entry.first == window) return;
  }
  if (scripts_.empty()) return;
  const UINT_PTR id = SetTimer(nullptr, 0, kScriptDelayMs, TimerProc);
  due_[id] = {window, std::move(scripts_.front())};
  scripts_.pop_front();
}

void CALLBACK DialogDriver::TimerProc(HWND, UINT, UINT_PTR id, DWORD) {
  KillTimer(nullptr, id);
  if (current == nullptr) return;
  const auto found = current->due_.find(id);
  if (found == current->due_.end()) return;
  auto [window, script] = std::move(found->second);
  current->due_.erase(found);
  current->dialogs_.push_back(window);
  script(window);
  if (IsWindow(window) && IsWindowVisible(window)) PostMessageW(window, WM_CLOSE, 0, 0);
}

void PumpFor(std::uint32_t ms) {
  PumpUntil([] { return false; }, ms);
}

bool PumpUntil(const std::function<bool()>& done, std::uint32_t timeoutMs) {
  const DWORD start = GetTickCount();
  while (true) {
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&message);
      DispatchMessageW(&message);
    }
    if (done()) return true;
    if (GetTickCount() - start >= timeoutMs) return false;
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
  }
}

std::wstring TextOf(HWND window) {
  const int length = GetWindowTextLengthW(window);
  std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
  GetWindowTextW(window, text.data(), length + 1);
  text.resize(static_cast<std::size_t>(length));
  return text;
}

std::wstring ItemTextOf(HWND dialog, int id) { return TextOf(GetDlgItem(dialog, id)); }

void Click(HWND dialog, int id) { SendMessageW(GetDlgItem(dialog, id), BM_CLICK, 0, 0); }

void Type(HWND control, wchar_t character) {
  SendMessageW(control, WM_CHAR, static_cast<WPARAM>(character), 1);
}

LOGFONTW FontOf(HWND control) {
  LOGFONTW description{};
  const auto font = reinterpret_cast<HFONT>(SendMessageW(control, WM_GETFONT, 0, 0));
  if (font != nullptr) GetObjectW(font, sizeof description, &description);
  return description;
}

void SaveScreenshot(HWND window, const std::string& name) {
  const char* build = std::getenv("TESSALINE_BUILD_DIR");
  if (build == nullptr) return;
  RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
  PumpFor(100);
  RECT rect{};
  GetWindowRect(window, &rect);
  const int width = rect.right - rect.left;
  const int height = rect.bottom - rect.top;
  if (width <= 0 || height <= 0) return;
  HDC screen = GetDC(nullptr);
  HDC memory = CreateCompatibleDC(screen);
  HBITMAP bitmap = CreateCompatibleBitmap(screen, width, height);
  HGDIOBJ previous = SelectObject(memory, bitmap);
  BitBlt(memory, 0, 0, width, height, screen, rect.left, rect.top, SRCCOPY);
  SelectObject(memory, previous);

  BITMAPINFOHEADER header{};
  header.biSize = sizeof header;
  header.biWidth = width;
  header.biHeight = height;
  header.biPlanes = 1;
  header.biBitCount = 24;
  header.biCompression = BI_RGB;
  const DWORD rowBytes = (static_cast<DWORD>(width) * 3 + 3) & ~3u;
  std::vector<char> pixels(static_cast<std::size_t>(rowBytes) * static_cast<std::size_t>(height));
  GetDIBits(memory, bitmap, 0, static_cast<UINT>(height), pixels.data(),
            reinterpret_cast<BITMAPINFO*>(&header), DIB_RGB_COLORS);
  DeleteObject(bitmap);
  DeleteDC(memory);
  ReleaseDC(nullptr, screen);

  BITMAPFILEHEADER file{};
  file.bfType = 0x4D42;  // "BM"
  file.bfOffBits = sizeof file + sizeof header;
  file.bfSize = file.bfOffBits + static_cast<DWORD>(pixels.size());
  std::string directory = std::string("Z:") + build + "/windows/screenshots";
  CreateDirectoryA((std::string("Z:") + build + "/windows").c_str(), nullptr);
  CreateDirectoryA(directory.c_str(), nullptr);
  std::ofstream out(directory + "/" + name + ".bmp", std::ios::binary);
  out.write(reinterpret_cast<const char*>(&file), sizeof file);
  out.write(reinterpret_cast<const char*>(&header), sizeof header);
  out.write(pixels.data(), static_cast<std::streamsize>(pixels.size()));
}

}  // namespace tessaline::testing
