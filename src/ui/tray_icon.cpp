// The tray icon and its animation thread.
#include "ui/tray_icon.h"

#include <shellapi.h>

#include <array>
#include <atomic>
#include <chrono>
#include <system_error>
#include <thread>

#include "platform/threading.h"
#include "resource.h"

namespace tessaline {
namespace {

constexpr auto kFrameStep = std::chrono::milliseconds(150);
constexpr auto kRestPoll = std::chrono::milliseconds(250);
constexpr std::array<int, 4> kFrameIds{IDI_TRAY_FRAME_1, IDI_TRAY_FRAME_2, IDI_TRAY_FRAME_3,
                                       IDI_TRAY_FRAME_4};

std::atomic<bool> busy{false};
std::atomic<bool> stopping{false};
std::atomic<bool> present{false};
std::array<HICON, 4> frames{};
std::size_t frameIndex = 0;  // touched only by the tray thread once it runs
platform::JoinedThread trayThread;

NOTIFYICONDATAW Request(HWND window, HICON icon) {
  NOTIFYICONDATAW data{};
  data.cbSize = sizeof(data);
  data.hWnd = window;
  data.uID = 0;
  data.uFlags = NIF_ICON;
  data.hIcon = icon;
  return data;
}

void AnimationStep(HWND window) {
  NOTIFYICONDATAW data = Request(window, frames[frameIndex]);
  frameIndex = (frameIndex + 1) % frames.size();
  Shell_NotifyIconW(NIM_MODIFY, &data);
}

void TrayThread(HWND window) {
  platform::ThreadNameHook("tray_icon_thread");
  while (!stopping) {
    while (busy && !stopping) {
      AnimationStep(window);
      std::this_thread::sleep_for(kFrameStep);
    }
    frameIndex = 0;
    AnimationStep(window);
    frameIndex = 0;
    while (!busy && !stopping) std::this_thread::sleep_for(kRestPoll);
  }
  for (HICON& icon : frames) {
    if (icon != nullptr) DestroyIcon(icon);
    icon = nullptr;
  }
}

}  // namespace

void AddTrayIcon(HINSTANCE instance, HWND mainWindow) {
  for (std::size_t i = 0; i < frames.size(); ++i) {
    frames[i] = LoadIconW(instance, MAKEINTRESOURCEW(kFrameIds[i]));
  }
  NOTIFYICONDATAW data = Request(mainWindow, frames[0]);
  present = Shell_NotifyIconW(NIM_ADD, &data) != FALSE;
  frameIndex = 0;
  busy = false;
  stopping = false;
  try {
    trayThread = platform::JoinedThread(TrayThread, mainWindow);
  } catch (const std::system_error&) {
    // No thread for it: the icon stays still.
  }
}

void RemoveTrayIcon(HWND mainWindow) {
  stopping = true;
  trayThread.Join();
  busy = false;
  NOTIFYICONDATAW data = Request(mainWindow, nullptr);
  Shell_NotifyIconW(NIM_DELETE, &data);
  present = false;
}

void StartTrayAnimation() { busy = true; }
void StopTrayAnimation() { busy = false; }
bool TrayAnimating() { return busy; }
bool TrayIconPresent() { return present; }

}  // namespace tessaline
