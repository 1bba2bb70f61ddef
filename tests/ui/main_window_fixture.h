// A fresh main window per test, over the real resources, package and version worker.
#pragma once

#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "gui_harness.h"

namespace tessaline::test {

class MainWindowTest : public ::testing::Test {
 public:
  // The unit action controls, compared as one value for readable failures.
  struct UnitButtons {
    bool update, updateMenu, discover, enterBootload, exitBootload;
    bool operator==(const UnitButtons&) const = default;
  };

 protected:
  static void SetUpTestSuite();
  static void TearDownTestSuite();
  void SetUp() override;
  void TearDown() override;

  HWND OpenWindow();
  UnitButtons Buttons() const;

  HWND window_ = nullptr;
  MessageBoxCatcher boxes_;
};

std::ostream& operator<<(std::ostream& out, const MainWindowTest::UnitButtons& b);

// A text of the built-in package (the one the window shows) as wide text.
std::wstring UpdaterText(const char* key);
std::wstring UnitText(const char* key);
// Where screenshots go: <build>/screenshots (TESSALINE_BUILD_DIR), else the working directory.
std::wstring ScreenshotPath(const wchar_t* name);

}  // namespace tessaline::test
