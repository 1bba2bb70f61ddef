// The program's start-up when its main window cannot be created: a box with the reason and an
// exit, never an unseen process left in its message loop.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "app/startup.h"
#include "gui_harness.h"
#include "platform/threading.h"

namespace tessaline::test {
namespace {

constexpr UINT kLoopWatchdogMs = 20000;
constexpr int kStillLooping = 99;

// Refuses the creation of the main window (its class is "DEVERARUV") on this thread.
LRESULT CALLBACK RefuseMainWindow(int code, WPARAM wParam, LPARAM lParam) {
  if (code == HCBT_CREATEWND) {
    wchar_t className[32]{};
    GetClassNameW(reinterpret_cast<HWND>(wParam), className, 32);
    if (std::wstring(className) == L"DEVERARUV") return 1;
  }
  return CallNextHookEx(nullptr, code, wParam, lParam);
}

TEST(StartUp, AMainWindowThatCannotBeCreatedIsReportedAndTheProcessEnds) {
  // With threads refused too, the splash cannot start either: start-up goes on without it.
  for (const bool threadsRefused : {false, true}) {
    SCOPED_TRACE(threadsRefused ? "no thread can start" : "threads start");
    MessageBoxCatcher boxes;
    HHOOK refusal = SetWindowsHookExW(WH_CBT, RefuseMainWindow, nullptr, GetCurrentThreadId());
    ASSERT_NE(refusal, nullptr);
    // Ends a message loop that should never have been entered, so the test fails instead of
    // hanging.
    const UINT_PTR watchdog =
        SetTimer(nullptr, 0, kLoopWatchdogMs,
                 [](HWND, UINT, UINT_PTR, DWORD) { PostQuitMessage(kStillLooping); });
    platform::refuseThreadStarts = threadsRefused;
    const int exitCode = RunUpdaterProcess(GetModuleHandleW(nullptr));
    platform::refuseThreadStarts = false;
    KillTimer(nullptr, watchdog);
    UnhookWindowsHookEx(refusal);

    EXPECT_EQ(exitCode, kExitNoMainWindow);
    ASSERT_EQ(boxes.Boxes().size(), 1u);
    EXPECT_EQ(boxes.Boxes()[0].caption, L"Error");
    EXPECT_TRUE(boxes.Boxes()[0].text.starts_with(L"The main window could not be created. "))
        << std::string(boxes.Boxes()[0].text.begin(), boxes.Boxes()[0].text.end());
  }
}

}  // namespace
}  // namespace tessaline::test
