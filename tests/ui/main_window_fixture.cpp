// Set-up shared by the main window tests: what start-up does before the window exists.
#include "main_window_fixture.h"

#include <commctrl.h>

#include <cstdlib>
#include <filesystem>

#include "discovery/version_worker.h"
#include "package/package.h"
#include "platform/message_box.h"
#include "platform/sockets.h"
#include "resource.h"
#include "transport/com_port_table.h"
#include "ui/main_window.h"
#include "ui/settings.h"
#include "ui/ui_text.h"
#include "ui/wide_text.h"

namespace tessaline::test {

void MainWindowTest::SetUpTestSuite() {
  static platform::SocketLibrary sockets;
  HINSTANCE instance = GetModuleHandleW(nullptr);
  InitCommonControls();
  LoadUiStrings(instance);
  // As the program's start-up does.
  PackageHasApplication = EmbeddedPackage()->HasAnyApplication();
  OverwriteFirmware = PackageHasApplication.load();
  ComPortTable().ScanComPorts();
  ASSERT_TRUE(RegisterMainWindowClass(instance));
  // The core's boxes (socket errors) come from worker threads, out of reach of the hook.
  platform::SetMessageBoxHandler([](const platform::MessageBoxRequest& request) {
    ADD_FAILURE() << "core message box: " << request.caption << ": " << request.text;
    return platform::MessageBoxResult::Ok;
  });
  StartVersionWorker();
}

void MainWindowTest::TearDownTestSuite() { StopVersionWorker(); }

void MainWindowTest::SetUp() {
  CurrentParserPort = 4999;
  OverwriteFactoryDefaults = false;
  OverwriteFirmware = PackageHasApplication.load();
  window_ = OpenWindow();
  ASSERT_NE(window_, nullptr);
}

void MainWindowTest::TearDown() {
  if (window_ != nullptr && IsWindow(window_)) DestroyWindow(window_);
  Pump(std::chrono::milliseconds(20));
}

HWND MainWindowTest::OpenWindow() {
  HWND window = CreateMainWindow(GetModuleHandleW(nullptr), EmbeddedPackage());
  if (window != nullptr) {
    ShowWindow(window, SW_SHOWNORMAL);
    UpdateWindow(window);
    Pump(std::chrono::milliseconds(20));
  }
  return window;
}

MainWindowTest::UnitButtons MainWindowTest::Buttons() const {
  return {ItemEnabled(window_, IDC_UPDATE), MenuItemEnabled(window_, IDM_UPDATE),
          ItemEnabled(window_, IDC_DISCOVER), ItemEnabled(window_, IDC_ENTER_BOOTLOAD),
          ItemEnabled(window_, IDC_EXIT_BOOTLOAD)};
}

std::ostream& operator<<(std::ostream& out, const MainWindowTest::UnitButtons& b) {
  return out << "{update " << b.update << ", menu " << b.updateMenu << ", discover " << b.discover
             << ", enter " << b.enterBootload << ", exit " << b.exitBootload << "}";
}

std::wstring UpdaterText(const char* key) {
  return Widen(EmbeddedPackage()->UpdaterTexts().GetString(key));
}
std::wstring UnitText(const char* key) {
  return Widen(EmbeddedPackage()->UnitTexts().GetString(key));
}

std::wstring ScreenshotPath(const wchar_t* name) {
  std::filesystem::path dir = std::filesystem::current_path();
  if (const char* build = std::getenv("TESSALINE_BUILD_DIR")) {
    // ctest passes the Linux path of the build directory; Wine maps it through drive Z:.
    dir = std::filesystem::path(L"Z:" + Widen(build));
  }
  dir /= L"screenshots";
  std::error_code ignored;
  std::filesystem::create_directories(dir, ignored);
  return (dir / name).wstring();
}

}  // namespace tessaline::test
