// The splash window, the tray icon and the art they show, on the real resources.
// clang-format off
#include <windows.h>
#include <shellapi.h>
// clang-format on

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>

#include "gui_harness.h"
#include "resource.h"
#include "ui/splash_screen.h"
#include "ui/tray_icon.h"

namespace tessaline::test {
namespace {

using namespace std::chrono_literals;

HWND FindOwnSplash() {
  struct Search {
    HWND found = nullptr;
  } search;
  EnumWindows(
      [](HWND window, LPARAM lParam) -> BOOL {
        DWORD process = 0;
        GetWindowThreadProcessId(window, &process);
        wchar_t className[16]{};
        GetClassNameW(window, className, 16);
        const auto style = static_cast<DWORD>(GetWindowLongPtrW(window, GWL_STYLE));
        if (process == GetCurrentProcessId() && std::wstring(className) == L"#32770" &&
            (style & WS_POPUP) != 0 && (style & WS_CAPTION) != WS_CAPTION &&
            IsWindowVisible(window)) {
          reinterpret_cast<Search*>(lParam)->found = window;
          return FALSE;
        }
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&search));
  return search.found;
}

TEST(Art, TheSplashBitmapIs382By192In24Bits) {
  auto bitmap =
      static_cast<HBITMAP>(LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDB_SPLASH),
                                      IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION));
  ASSERT_NE(bitmap, nullptr);
  BITMAP info{};
  GetObjectW(bitmap, sizeof(info), &info);
  EXPECT_EQ(info.bmWidth, 382);
  EXPECT_EQ(info.bmHeight, 192);
  EXPECT_EQ(info.bmBitsPixel, 24);
  DeleteObject(bitmap);
}

TEST(Art, EveryIconGroupHasItsThreeSizes) {
  for (const int id :
       {IDI_UPDATER, IDI_TRAY_FRAME_1, IDI_TRAY_FRAME_2, IDI_TRAY_FRAME_3, IDI_TRAY_FRAME_4}) {
    for (const int size : {48, 32, 16}) {
      SCOPED_TRACE(testing::Message() << "icon " << id << " at " << size);
      HRSRC group =
          FindResourceW(nullptr, MAKEINTRESOURCEW(id), MAKEINTRESOURCEW(14));  // RT_GROUP_ICON
      ASSERT_NE(group, nullptr);
      auto* directory = static_cast<BYTE*>(LockResource(LoadResource(nullptr, group)));
      ASSERT_NE(directory, nullptr);
      // The exact size picks an image of that size without scaling when the group holds one.
      const int image = LookupIconIdFromDirectoryEx(directory, TRUE, size, size, LR_DEFAULTCOLOR);
      HRSRC found =
          FindResourceW(nullptr, MAKEINTRESOURCEW(image), MAKEINTRESOURCEW(3));  // RT_ICON
      ASSERT_NE(found, nullptr);
      auto* header = static_cast<BITMAPINFOHEADER*>(LockResource(LoadResource(nullptr, found)));
      const bool png = std::memcmp(header, "\x89PNG", 4) == 0;
      if (!png) {
        EXPECT_EQ(header->biWidth, size);
        EXPECT_EQ(header->biHeight, 2 * size);  // image and mask
      }
    }
  }
}

TEST(Splash, ShowsWhileStartingAndIsGoneAfterEndSplash) {
  StartSplash(GetModuleHandleW(nullptr));
  HWND splash = nullptr;
  EXPECT_TRUE(PumpUntil([&] { return (splash = FindOwnSplash()) != nullptr; }, 5000ms));
  if (splash != nullptr) {
    RECT rect{};
    GetClientRect(splash, &rect);
    EXPECT_GT(rect.right, rect.bottom);  // the landscape picture's window
  }
  EndSplash();
  EXPECT_FALSE(IsWindow(splash));
  EXPECT_EQ(FindOwnSplash(), nullptr);
}

bool IconExists(HWND window) {
  NOTIFYICONDATAW data{};
  data.cbSize = sizeof(data);
  data.hWnd = window;
  data.uFlags = NIF_TIP;
  return Shell_NotifyIconW(NIM_MODIFY, &data) != FALSE;
}

TEST(Tray, AnimatesWhileBusyAndLeavesNoIconBehind) {
  HWND window = CreateWindowW(L"STATIC", L"tray owner", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr,
                              GetModuleHandleW(nullptr), nullptr);
  AddTrayIcon(GetModuleHandleW(nullptr), window);
  EXPECT_TRUE(TrayIconPresent());
  EXPECT_TRUE(IconExists(window));
  EXPECT_FALSE(TrayAnimating());
  StartTrayAnimation();
  EXPECT_TRUE(TrayAnimating());
  Pump(700ms);  // a full cycle of the four frames
  StopTrayAnimation();
  EXPECT_FALSE(TrayAnimating());
  const auto before = std::chrono::steady_clock::now();
  RemoveTrayIcon(window);
  // The thread notices the stop flag within one rest poll.
  EXPECT_LT(std::chrono::steady_clock::now() - before, 1000ms);
  EXPECT_FALSE(TrayIconPresent());
  EXPECT_FALSE(IconExists(window));
  DestroyWindow(window);
}

}  // namespace
}  // namespace tessaline::test
