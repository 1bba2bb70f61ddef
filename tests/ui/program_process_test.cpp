// The real TessalineUpdater.exe from outside: a normal start and close, and a package without an
// clang-format off
#include <windows.h>
#include <shellapi.h>
// clang-format on

// application image refused before any window.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "gui_harness.h"
#include "package/package.h"
#include "ui/wide_text.h"

#ifndef TESSALINE_PROGRAM
#error "TESSALINE_PROGRAM names the program under test"
#endif

namespace tessaline::test {
namespace {

using namespace std::chrono_literals;
constexpr DWORD kExitTimeoutMs = 30000;

// A started process, ended and closed on destruction if it is still running.
class Program {
 public:
  explicit Program(const std::string& linuxPath) {
    std::wstring commandLine = L"\"Z:" + Widen(linuxPath) + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    started_ = CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                              nullptr, &startup, &info_) != FALSE;
  }
  ~Program() {
    if (!started_) return;
    if (WaitForSingleObject(info_.hProcess, 0) == WAIT_TIMEOUT)
      TerminateProcess(info_.hProcess, 99);
    CloseHandle(info_.hThread);
    CloseHandle(info_.hProcess);
  }
  Program(const Program&) = delete;
  Program& operator=(const Program&) = delete;

  bool Started() const { return started_; }
  DWORD Id() const { return info_.dwProcessId; }
  // The exit code, or nothing when the process is still running after the time-out.
  std::optional<DWORD> WaitForExit(DWORD timeoutMs) const {
    if (WaitForSingleObject(info_.hProcess, timeoutMs) != WAIT_OBJECT_0) return std::nullopt;
    DWORD code = 0;
    GetExitCodeProcess(info_.hProcess, &code);
    return code;
  }

 private:
  bool started_ = false;
  PROCESS_INFORMATION info_{};
};

struct Search {
  DWORD process;
  const wchar_t* className;
  bool messageBoxOnly;
  HWND found;
};

BOOL CALLBACK MatchWindow(HWND window, LPARAM lParam) {
  auto* search = reinterpret_cast<Search*>(lParam);
  DWORD owner = 0;
  GetWindowThreadProcessId(window, &owner);
  wchar_t className[64]{};
  GetClassNameW(window, className, 64);
  if (owner != search->process || std::wstring(className) != search->className) return TRUE;
  if (search->messageBoxOnly && GetDlgItem(window, 0xFFFF) == nullptr) return TRUE;
  search->found = window;
  return FALSE;
}

HWND WaitForWindow(DWORD process, const wchar_t* className, bool messageBox,
                   std::chrono::milliseconds timeout) {
  const auto end = std::chrono::steady_clock::now() + timeout;
  do {
    Search search{process, className, messageBox, nullptr};
    EnumWindows(MatchWindow, reinterpret_cast<LPARAM>(&search));
    if (search.found != nullptr) return search.found;
    std::this_thread::sleep_for(50ms);
  } while (std::chrono::steady_clock::now() < end);
  return nullptr;
}

std::wstring WindowText(HWND window) {
  wchar_t text[512]{};
  GetWindowTextW(window, text, 512);
  return text;
}

// True when the notification area still holds the icon (window, id 0) of another process.
bool TrayIconExists(HWND window) {
  NOTIFYICONDATAW data{};
  data.cbSize = sizeof(data);
  data.hWnd = window;
  data.uID = 0;
  data.uFlags = NIF_TIP;
  return Shell_NotifyIconW(NIM_MODIFY, &data) != FALSE;
}

TEST(Program, StartsShowsTheMainWindowAndClosesWithoutATrayIconLeft) {
  Program program(TESSALINE_PROGRAM);
  ASSERT_TRUE(program.Started());
  HWND window = WaitForWindow(program.Id(), L"DEVERARUV", false, 30s);
  ASSERT_NE(window, nullptr) << "no main window";
  // Found as soon as it exists: its caption is filled while it initialises, then it is shown.
  EXPECT_TRUE(PumpUntil([&] { return IsWindowVisible(window) != FALSE; }, 10000ms));
  EXPECT_EQ(WindowText(window), L"Tessaline Firmware Updater");
  EXPECT_TRUE(PumpUntil([&] { return TrayIconExists(window); }, 5000ms)) << "no tray icon";

  PostMessageW(window, WM_CLOSE, 0, 0);
  HWND question = WaitForWindow(program.Id(), L"#32770", true, 10s);
  ASSERT_NE(question, nullptr) << "no close question";
  EXPECT_EQ(WindowText(question), L"Close");
  PostMessageW(question, WM_COMMAND, MAKEWPARAM(IDYES, BN_CLICKED), 0);
  EXPECT_EQ(program.WaitForExit(kExitTimeoutMs), std::optional<DWORD>(0));
  EXPECT_FALSE(TrayIconExists(window));
}

TEST(Program, APackageWithoutAnApplicationIsRefusedBeforeAnyWindow) {
  Program program(TESSALINE_FLASH_ONLY_PROGRAM);
  ASSERT_TRUE(program.Started());
  HWND box = WaitForWindow(program.Id(), L"#32770", true, 30s);
  ASSERT_NE(box, nullptr) << "no error box";
  EXPECT_EQ(WindowText(box), L"Error");
  wchar_t text[1024]{};
  GetDlgItemTextW(box, 0xFFFF, text, 1024);
  EXPECT_EQ(std::wstring(text),
            Widen(EmbeddedPackage()->UpdaterTexts().GetString("error-message.NoHexFile")));
  EXPECT_EQ(WaitForWindow(program.Id(), L"DEVERARUV", false, 0ms), nullptr);
  PostMessageW(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
  EXPECT_EQ(program.WaitForExit(kExitTimeoutMs), std::optional<DWORD>(1));
}

}  // namespace
}  // namespace tessaline::test
