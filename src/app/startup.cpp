// Start-up and shut-down of the desktop program, in their settled order.
#include "app/startup.h"

#include <commctrl.h>

#include <chrono>
#include <clocale>
#include <string>
#include <thread>

#include "discovery/version_worker.h"
#include "package/package.h"
#include "platform/firewall.h"
#include "platform/sockets.h"
#include "platform/threading.h"
#include "resource.h"
#include "transport/com_port_table.h"
#include "ui/failure_boxes.h"
#include "ui/main_window.h"
#include "ui/message_loop.h"
#include "ui/settings.h"
#include "ui/splash_screen.h"
#include "ui/tray_icon.h"
#include "ui/ui_text.h"
#include "ui/wide_text.h"

namespace tessaline {
namespace {

constexpr auto kSplashPause =
    std::chrono::milliseconds(500);  // the splash is seen at least this long

std::wstring SystemErrorText(DWORD code) {
  wchar_t* text = nullptr;
  const DWORD length = FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, code, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  std::wstring result = length > 0 && text != nullptr ? std::wstring(text, length)
                                                      : L"Error " + std::to_wstring(code) + L".";
  LocalFree(text);
  while (!result.empty() && (result.back() == L'\n' || result.back() == L'\r')) result.pop_back();
  return result;
}

}  // namespace

int RunUpdaterProcess(HINSTANCE instance) {
  platform::ThreadNameHook("main_application");
  SetProcessDPIAware();
  platform::SocketLibrary sockets;
  std::setlocale(LC_ALL, "");
  LoadUiStrings(instance);
  const std::shared_ptr<const Package> package = EmbeddedPackage();
  const bool hasApplication = package->HasAnyApplication();
  PackageHasApplication = hasApplication;
  OverwriteFirmware = hasApplication;
  if (!hasApplication) {
    MessageBoxW(nullptr,
                Widen(package->UpdaterTexts().GetString("error-message.NoHexFile")).c_str(),
                UiText(IDS_ERROR).c_str(), MB_OK | MB_ICONERROR);
    return kExitNoApplicationImage;
  }

  InitCommonControls();
  StartSplash(instance);
  ComPortTable().ScanComPorts();
  std::this_thread::sleep_for(kSplashPause);
  HWND mainWindow =
      RegisterMainWindowClass(instance) ? CreateMainWindow(instance, package) : nullptr;
  if (mainWindow == nullptr) {
    // Without a window the loop would run on unseen, with nothing to close it.
    const std::wstring reason = SystemErrorText(GetLastError());
    EndSplash();
    MessageBoxW(nullptr, (L"The main window could not be created. " + reason).c_str(),
                UiText(IDS_ERROR).c_str(), MB_OK | MB_ICONERROR);
    return kExitNoMainWindow;
  }
  ShowWindow(mainWindow, SW_SHOWNORMAL);
  EndSplash();
  UpdateWindow(mainWindow);
  HACCEL accelerators = LoadAcceleratorsW(instance, MAKEINTRESOURCEW(IDR_MAIN_ACCELERATORS));
  ShowFirewallRuleBox(mainWindow, platform::AddDiscoveryFirewallRule());
  AddTrayIcon(instance, mainWindow);
  StartVersionWorker();

  const int exitCode = RunMainMessageLoop(mainWindow, accelerators);

  RemoveTrayIcon(mainWindow);
  StopVersionWorker();
  return exitCode;  // the socket library is released on the way out
}

}  // namespace tessaline
