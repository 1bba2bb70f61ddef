// The splash window: the product picture, shown from its own thread during start-up.
#include "ui/splash_screen.h"

#include <condition_variable>
#include <mutex>
#include <system_error>
#include <utility>

#include "platform/threading.h"
#include "resource.h"

namespace tessaline {
namespace {

HBITMAP splashBitmap = nullptr;  // owned by the splash window
// The splash thread's id once it has a queue. A mutex and condition variable rather than
// std::atomic's wait: this toolchain's libstdc++ can lose that wake-up where there is no futex.
std::mutex splashIdMutex;
std::condition_variable splashIdKnown;
DWORD splashThreadId = 0;
platform::JoinedThread splashThread;

void PaintSplash(HWND window) {
  RECT client{};
  GetClientRect(window, &client);
  PAINTSTRUCT paint{};
  HDC dc = BeginPaint(window, &paint);
  FillRect(dc, &paint.rcPaint, reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1));
  if (splashBitmap != nullptr) {
    BITMAP info{};
    GetObjectW(splashBitmap, sizeof(info), &info);
    HDC memory = CreateCompatibleDC(dc);
    HGDIOBJ previous = SelectObject(memory, splashBitmap);
    SetStretchBltMode(dc, HALFTONE);
    StretchBlt(dc, 0, 0, client.right, client.bottom, memory, 0, 0, info.bmWidth, info.bmHeight,
               SRCCOPY);
    SelectObject(memory, previous);
    DeleteDC(memory);
  }
  EndPaint(window, &paint);
}

INT_PTR CALLBACK SplashDialogProc(HWND window, UINT message, WPARAM, LPARAM lParam) {
  switch (message) {
    case WM_INITDIALOG:
      splashBitmap = static_cast<HBITMAP>(LoadImageW(reinterpret_cast<HINSTANCE>(lParam),
                                                     MAKEINTRESOURCEW(IDB_SPLASH), IMAGE_BITMAP, 0,
                                                     0, LR_DEFAULTSIZE));
      return TRUE;
    case WM_PAINT:
      PaintSplash(window);
      return FALSE;
    case WM_DESTROY:
      if (splashBitmap != nullptr) DeleteObject(splashBitmap);
      splashBitmap = nullptr;
      return FALSE;
    default:
      return FALSE;
  }
}

void SplashThread(HINSTANCE instance) {
  platform::ThreadNameHook("splash_screen_thread");
  SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_HIGHEST);
  // The queue must exist before EndSplash can post WM_QUIT to this thread.
  MSG message{};
  PeekMessageW(&message, nullptr, WM_USER, WM_USER, PM_NOREMOVE);
  HWND splash = CreateDialogParamW(instance, MAKEINTRESOURCEW(IDD_SPLASH), nullptr,
                                   SplashDialogProc, reinterpret_cast<LPARAM>(instance));
  {
    std::lock_guard lock(splashIdMutex);
    splashThreadId = GetCurrentThreadId();
  }
  splashIdKnown.notify_all();
  if (splash != nullptr) {
    ShowWindow(splash, SW_SHOWNORMAL);
    UpdateWindow(splash);
  }
  while (GetMessageW(&message, nullptr, 0, 0) > 0) {
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
  if (splash != nullptr) {
    ShowWindow(splash, SW_HIDE);
    DestroyWindow(splash);
  }
}

}  // namespace

void StartSplash(HINSTANCE instance) {
  {
    std::lock_guard lock(splashIdMutex);
    splashThreadId = 0;
  }
  try {
    splashThread = platform::JoinedThread(SplashThread, instance);
  } catch (const std::system_error&) {
    return;  // no thread for it: start without a splash
  }
  // The thread id is known only once the thread has a queue.
  std::unique_lock lock(splashIdMutex);
  splashIdKnown.wait(lock, [] { return splashThreadId != 0; });
}

void EndSplash() {
  DWORD id = 0;
  {
    std::lock_guard lock(splashIdMutex);
    id = std::exchange(splashThreadId, 0);
  }
  if (id != 0) PostThreadMessageW(id, WM_QUIT, 0, 0);
  splashThread.Join();
}

}  // namespace tessaline
