// The in-process GUI harness: message-box hook, message pump, control readers, screenshots.
#include "gui_harness.h"

#include <commctrl.h>

#include <filesystem>
#include <fstream>
#include <thread>

namespace tessaline::test {
namespace {
thread_local MessageBoxCatcher* activeCatcher = nullptr;
constexpr int kMessageBoxTextId = 0xFFFF;  // the static text control of every message box

bool IsDialog(HWND window) {
  wchar_t className[16]{};
  GetClassNameW(window, className, 16);
  return std::wstring(className) == L"#32770";
}

bool IsMessageBox(HWND window) {
  wchar_t className[16]{};
  GetClassNameW(window, className, 16);
  return std::wstring(className) == L"#32770" && GetDlgItem(window, kMessageBoxTextId) != nullptr;
}
}  // namespace

MessageBoxCatcher::MessageBoxCatcher() {
  activeCatcher = this;
  hook_ = SetWindowsHookExW(WH_CBT, Hook, nullptr, GetCurrentThreadId());
}

MessageBoxCatcher::~MessageBoxCatcher() {
  if (hook_ != nullptr) UnhookWindowsHookEx(hook_);
  activeCatcher = nullptr;
}

LRESULT CALLBACK MessageBoxCatcher::Hook(int code, WPARAM wParam, LPARAM lParam) {
  auto* self = activeCatcher;
  if (code == HCBT_ACTIVATE && self != nullptr) {
    auto box = reinterpret_cast<HWND>(wParam);
    if (IsMessageBox(box) && GetPropW(box, L"tessaline.caught") == nullptr) {
      SetPropW(box, L"tessaline.caught", reinterpret_cast<HANDLE>(1));
      self->boxes_.push_back({ItemText(box, kMessageBoxTextId), [&] {
                                wchar_t caption[256]{};
                                GetWindowTextW(box, caption, 256);
                                return std::wstring(caption);
                              }()});
      int answer = IDOK;
      if (!self->answers_.empty()) {
        answer = self->answers_.front();
        self->answers_.pop_front();
      }
      // Posted, never sent: the box's own loop must be running to act on it.
      PostMessageW(box, WM_COMMAND, MAKEWPARAM(answer, BN_CLICKED), 0);
    } else if (self->onDialog_ && IsDialog(box) && GetParent(box) != nullptr &&
               GetPropW(box, L"tessaline.caught") == nullptr) {
      SetPropW(box, L"tessaline.caught", reinterpret_cast<HANDLE>(1));
      wchar_t caption[256]{};
      GetWindowTextW(box, caption, 256);
      self->dialogs_.push_back(caption);
      self->onDialog_(box);
      // Esc, then the close box for a dialog that ignores Esc (the help wizard).
      PostMessageW(box, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
      PostMessageW(box, WM_CLOSE, 0, 0);
    }
  }
  return CallNextHookEx(nullptr, code, wParam, lParam);
}

bool PumpUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout) {
  const auto end = std::chrono::steady_clock::now() + timeout;
  for (;;) {
    MSG message{};
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
      if (message.message == WM_QUIT) continue;  // one window's end is not the harness's
      TranslateMessage(&message);
      DispatchMessageW(&message);
      // Checked after every message: a worker's flood must not hide the states in between.
      if (done && done()) return true;
    }
    if (done && done()) return true;
    if (std::chrono::steady_clock::now() >= end) return false;
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
  }
}

void Pump(std::chrono::milliseconds duration) { PumpUntil(nullptr, duration); }

std::wstring ItemText(HWND window, int id) {
  wchar_t text[1024]{};
  GetDlgItemTextW(window, id, text, 1024);
  return text;
}

bool ItemEnabled(HWND window, int id) { return IsWindowEnabled(GetDlgItem(window, id)) != FALSE; }

bool MenuItemEnabled(HWND window, UINT command) {
  const UINT state = GetMenuState(GetMenu(window), command, MF_BYCOMMAND);
  return state != static_cast<UINT>(-1) && (state & (MF_GRAYED | MF_DISABLED)) == 0;
}

void Click(HWND window, int id) { SendDlgItemMessageW(window, id, BM_CLICK, 0, 0); }

void SetAddress(HWND window, int id, BYTE a, BYTE b, BYTE c, BYTE d) {
  SendDlgItemMessageW(window, id, IPM_CLEARADDRESS, 0, 0);
  SendDlgItemMessageW(window, id, IPM_SETADDRESS, 0,
                      static_cast<LPARAM>(MAKEIPADDRESS(a, b, c, d)));
}

void TypeFirstAddressField(HWND window, int id, const wchar_t* text) {
  HWND control = GetDlgItem(window, id);
  SendMessageW(control, IPM_CLEARADDRESS, 0, 0);
  // The fields are edit children of the control; the first created is the first field.
  HWND field = FindWindowExW(control, nullptr, L"Edit", nullptr);
  HWND first = field;
  RECT firstRect{};
  GetWindowRect(first, &firstRect);
  for (; field != nullptr; field = FindWindowExW(control, field, L"Edit", nullptr)) {
    RECT rect{};
    GetWindowRect(field, &rect);
    if (rect.left < firstRect.left) {
      first = field;
      firstRect = rect;
    }
  }
  SetWindowTextW(first, text);
}

bool SaveWindowBitmap(HWND window, const std::wstring& path) {
  RECT rect{};
  GetWindowRect(window, &rect);
  const int width = rect.right - rect.left;
  const int height = rect.bottom - rect.top;
  if (width <= 0 || height <= 0) return false;
  HDC screen = GetDC(nullptr);
  HDC memory = CreateCompatibleDC(screen);
  HBITMAP bitmap = CreateCompatibleBitmap(screen, width, height);
  HGDIOBJ previous = SelectObject(memory, bitmap);
  BitBlt(memory, 0, 0, width, height, screen, rect.left, rect.top, SRCCOPY);
  SelectObject(memory, previous);

  BITMAPINFOHEADER header{};
  header.biSize = sizeof(header);
  header.biWidth = width;
  header.biHeight = height;
  header.biPlanes = 1;
  header.biBitCount = 24;
  header.biCompression = BI_RGB;
  const int stride = ((width * 3 + 3) / 4) * 4;
  std::vector<char> pixels(static_cast<std::size_t>(stride) * static_cast<std::size_t>(height));
  auto* info = reinterpret_cast<BITMAPINFO*>(&header);
  const int lines =
      GetDIBits(memory, bitmap, 0, static_cast<UINT>(height), pixels.data(), info, DIB_RGB_COLORS);
  DeleteObject(bitmap);
  DeleteDC(memory);
  ReleaseDC(nullptr, screen);
  if (lines != height) return false;

  BITMAPFILEHEADER file{};
  file.bfType = 0x4D42;  // "BM"
  file.bfOffBits = sizeof(file) + sizeof(header);
  file.bfSize = file.bfOffBits + static_cast<DWORD>(pixels.size());
  std::ofstream out(std::filesystem::path(path), std::ios::binary);
  out.write(reinterpret_cast<const char*>(&file), sizeof(file));
  out.write(reinterpret_cast<const char*>(&header), sizeof(header));
  out.write(pixels.data(), static_cast<std::streamsize>(pixels.size()));
  return out.good();
}

}  // namespace tessaline::test
