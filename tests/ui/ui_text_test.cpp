// The string table compiled into the program matches the one string source.
#include "ui/ui_text.h"

#include <gtest/gtest.h>
#include <windows.h>

#include "strings/ui_strings.h"
#include "ui/formatted_text.h"
#include "ui/wide_text.h"

namespace tessaline::test {
namespace {

constexpr StringId kAll[] = {
#define UI_STRING(id, symbol, text) symbol,
#include "ui_strings.def"
#undef UI_STRING
};

TEST(UiText, EveryStringOfTheTableLoadsWithItsSourceText) {
  LoadUiStrings(GetModuleHandleW(nullptr));
  for (const StringId id : kAll) {
    SCOPED_TRACE(static_cast<int>(id));
    EXPECT_EQ(UiText(id), Widen(UiString(id)));
    EXPECT_FALSE(UiText(id).empty());
  }
  EXPECT_EQ(UiText(IDS_MAIN_WINDOW_CLASS), L"DEVERARUV");
}

TEST(UiText, WideTextRoundTripsUtf8) {
  for (const std::string text : {"", "Idle",
                                 "Gr\xC3\xBC\xC3\x9F"
                                 "e",
                                 "\xE2\x82\xAC 5"}) {
    EXPECT_EQ(Narrow(Widen(text)), text);
  }
  EXPECT_EQ(Widen("\xC3\xBC"), L"\u00FC");
}

TEST(FormattedText, TheTemplateTakesTheValueOnce) {
  struct Row {
    const wchar_t* format;
    const wchar_t* value;
    const wchar_t* result;
  };
  for (const Row& row :
       {Row{L"%s Firmware Updater", L"Tessaline", L"Tessaline Firmware Updater"},
        Row{L"%s:", L"Build Version", L"Build Version:"}, Row{L"", L"2.0", L"2.0"},
        Row{L"No template", L"x", L"No template"}, Row{L"%s and %s", L"a", L"a and %s"}}) {
    EXPECT_EQ(FormatTemplate(row.format, row.value), row.result);
  }
}

TEST(FormattedText, AMissingValueHidesTheControlNeverTheWindow) {
  HWND window = CreateWindowW(L"STATIC", L"%s Firmware Updater", WS_POPUP | WS_VISIBLE, 0, 0, 100,
                              20, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
  HWND label = CreateWindowW(L"STATIC", L"Product:%s", WS_CHILD | WS_VISIBLE, 0, 0, 50, 10, window,
                             reinterpret_cast<HMENU>(7), GetModuleHandleW(nullptr), nullptr);
  const std::string notPresent = "-not-present-";
  EXPECT_TRUE(SetFormattedItemText(window, 7, &notPresent));  // hidden counts as done
  EXPECT_FALSE(IsWindowVisible(label));
  EXPECT_FALSE(SetFormattedItemText(window, kWindowCaption, nullptr));
  EXPECT_TRUE(IsWindowVisible(window));
  const std::string model = "Tessaline";
  EXPECT_TRUE(SetFormattedItemText(window, kWindowCaption, &model));
  wchar_t caption[64]{};
  GetWindowTextW(window, caption, 64);
  EXPECT_STREQ(caption, L"Tessaline Firmware Updater");
  DestroyWindow(window);
}

}  // namespace
}  // namespace tessaline::test
