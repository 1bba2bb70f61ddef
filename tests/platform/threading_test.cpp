#include "platform/threading.h"

#include <gtest/gtest.h>

#include <string>

#ifdef _WIN32
#include <windows.h>

#include "platform/win32/wide_text.h"
#else
#include <pthread.h>
#endif

namespace tessaline::platform {
namespace {

// The name the system holds for the calling thread; empty where the system keeps none.
std::string CurrentThreadName() {
#ifdef _WIN32
  using GetDescription = HRESULT(WINAPI*)(HANDLE, PWSTR*);
  const auto getDescription = reinterpret_cast<GetDescription>(reinterpret_cast<void*>(
      GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "GetThreadDescription")));
  PWSTR description = nullptr;
  if (getDescription == nullptr || FAILED(getDescription(GetCurrentThread(), &description))) {
    return {};
  }
  std::string name = Utf8FromWide(description);
  LocalFree(description);
  return name;
#else
  char name[16] = {};
  pthread_getname_np(pthread_self(), name, sizeof name);
  return name;
#endif
}

TEST(ThreadNameHook, NamesWorkersAndCutsWhatLinuxCannotHold) {
  std::string shortName;
  std::string longName;
  JoinedThread([&] {
    ThreadNameHook("tray_icon_thread");
    shortName = CurrentThreadName();
    ThreadNameHook("bootload_version_thread");
    longName = CurrentThreadName();
  }).Join();
#ifdef _WIN32
  if (shortName.empty()) GTEST_SKIP() << "this Windows keeps no thread names";
  EXPECT_EQ(shortName, "tray_icon_thread");
  EXPECT_EQ(longName, "bootload_version_thread");
#else
  EXPECT_EQ(shortName, "tray_icon_threa");
  EXPECT_EQ(longName, "bootload_versio");
  const std::string programName = CurrentThreadName();
  ThreadNameHook("main_application");
  EXPECT_EQ(CurrentThreadName(), programName) << "ps and pgrep find the program by this name";
#endif
}

}  // namespace
}  // namespace tessaline::platform
