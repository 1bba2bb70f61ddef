// About, Version Information, Notes and the Help wizard, on this build's package.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "package/package.h"
#include "package/properties_container.h"
#include "platform/module_resources.h"
#include "resource.h"
#include "ui/dialogs/dialog_driver.h"
#include "ui/dialogs/dialogs.h"
#include "ui/wide_text.h"

namespace tessaline {
namespace {

using testing::DialogDriver;
using testing::FontOf;
using testing::ItemTextOf;

bool Visible(HWND dialog, int id) { return IsWindowVisible(GetDlgItem(dialog, id)) != FALSE; }

int PointsToHeight(HWND window, int points) {
  HDC dc = GetDC(window);
  const int height = -MulDiv(points, GetDeviceCaps(dc, LOGPIXELSY), 72);
  ReleaseDC(window, dc);
  return height;
}

TEST(AboutDialog, ShowsTheProductInItsTitleFace) {
  DialogDriver driver;
  std::vector<std::wstring> texts;
  LOGFONTW title{};
  int titleHeight = 0;
  driver.OnNextDialog([&](HWND dialog) {
    texts.push_back(testing::TextOf(dialog));
    for (HWND child = GetWindow(dialog, GW_CHILD); child != nullptr;
         child = GetWindow(child, GW_HWNDNEXT)) {
      texts.push_back(testing::TextOf(child));
    }
    title = FontOf(GetDlgItem(dialog, IDC_ABOUT_TITLE));
    titleHeight = PointsToHeight(dialog, 14);
    testing::SaveScreenshot(dialog, "about");
    testing::Click(dialog, IDOK);
  });
  ShowAboutDialog(nullptr);
  ASSERT_FALSE(texts.empty());
  EXPECT_EQ(texts[0], L"About Firmware Updater");
  const auto shows = [&](const std::wstring& part) {
    for (const auto& text : texts) {
      if (text.find(part) != std::wstring::npos) return true;
    }
    return false;
  };
  for (const wchar_t* part : {L"Brume Firmware Updater", L"Version 2.0",
                              L"support@brume-electronics.com", L"Brume Electronics"}) {
    EXPECT_TRUE(shows(part)) << std::string(part, part + wcslen(part));
  }
  EXPECT_EQ(std::wstring(title.lfFaceName), L"Arial");
  EXPECT_EQ(title.lfWeight, FW_BOLD);
  EXPECT_EQ(title.lfHeight, titleHeight);
}

struct VersionRowShown {
  bool labelVisible = false;
  bool valueVisible = false;
  std::wstring label;
  std::wstring value;
  bool underlined = false;
  bool valueBold = false;
};

TEST(VersionInformationDialog, ShowsThePackageRowsWithTheBuildNotesLink) {
  const int labels[] = {IDC_VERSION_LABEL_1, IDC_VERSION_LABEL_2, IDC_VERSION_LABEL_3,
                        IDC_VERSION_LABEL_4, IDC_VERSION_LABEL_5, IDC_VERSION_LABEL_6};
  const int values[] = {IDC_VERSION_VALUE_1, IDC_VERSION_VALUE_2, IDC_VERSION_VALUE_3,
                        IDC_VERSION_VALUE_4, IDC_VERSION_VALUE_5, IDC_VERSION_VALUE_6};
  DialogDriver driver;
  std::vector<VersionRowShown> rows;
  bool handCursor = false;
  std::wstring notesFace;
  std::wstring notesText;
  bool notesVisible = false;
  driver.OnNextDialog([&](HWND dialog) {
    for (int i = 0; i < 6; ++i) {
      VersionRowShown row;
      row.labelVisible = Visible(dialog, labels[i]);
      row.valueVisible = Visible(dialog, values[i]);
      row.label = ItemTextOf(dialog, labels[i]);
      row.value = ItemTextOf(dialog, values[i]);
      row.underlined = FontOf(GetDlgItem(dialog, labels[i])).lfUnderline != 0;
      row.valueBold = FontOf(GetDlgItem(dialog, values[i])).lfWeight == FW_BOLD;
      rows.push_back(row);
    }
    HWND link = GetDlgItem(dialog, IDC_VERSION_LABEL_1);
    SetCursor(LoadCursorW(nullptr, IDC_ARROW));
    SendMessageW(link, WM_SETCURSOR, reinterpret_cast<WPARAM>(link),
                 MAKELPARAM(HTCLIENT, WM_MOUSEMOVE));
    handCursor = GetCursor() == LoadCursorW(nullptr, IDC_HAND);
    testing::SaveScreenshot(dialog, "version-information");
    driver.OnNextDialog([&](HWND notes) {
      HWND text = GetDlgItem(notes, IDC_NOTES_TEXT);
      notesFace = FontOf(text).lfFaceName;
      notesText = testing::TextOf(text);
      notesVisible = IsWindowVisible(text) != FALSE;
      testing::SaveScreenshot(notes, "notes");
      testing::Click(notes, IDOK);
    });
    // A click on the link, as the static control reports it.
    SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDC_VERSION_LABEL_1, STN_CLICKED),
                 reinterpret_cast<LPARAM>(link));
    testing::Click(dialog, IDOK);
  });
  const PropertiesContainer& unit = EmbeddedPackage()->UnitTexts();
  ShowVersionInformation(nullptr, unit);

  ASSERT_EQ(rows.size(), 6u);
  struct Expected {
    const wchar_t* label;
    const char* key;
    bool link;
  };
  const Expected expected[] = {{L"Build Version:", "build-version", true},
                               {L"Server Firmware Version:", "server-fw-version", false},
                               {L"Server Hardware Version:", "server-hw-version", false},
                               {L"Server UI Version:", "server-ui-version", false}};
  for (std::size_t i = 0; i < 4; ++i) {
    ASSERT_NE(unit.Lookup(expected[i].key), nullptr) << expected[i].key;
    EXPECT_TRUE(rows[i].labelVisible && rows[i].valueVisible) << i;
    EXPECT_EQ(rows[i].label, expected[i].label) << i;
    EXPECT_EQ(rows[i].value, Widen(*unit.Lookup(expected[i].key))) << i;
    EXPECT_EQ(rows[i].underlined, expected[i].link) << i;
    EXPECT_TRUE(rows[i].valueBold) << i;
  }
  for (std::size_t i = 4; i < 6; ++i) {
    EXPECT_FALSE(rows[i].labelVisible || rows[i].valueVisible)
        << "pair " << i + 1 << " stays hidden";
  }
  EXPECT_TRUE(handCursor);

  const auto notes = platform::FindModuleResource("NOTES", "BUILD_NOTES");
  ASSERT_TRUE(notes.has_value());
  std::wstring expectedNotes;
  for (std::uint8_t byte : *notes) {
    if (byte == '\n' && (expectedNotes.empty() || expectedNotes.back() != L'\r'))
      expectedNotes += L'\r';
    expectedNotes += static_cast<wchar_t>(byte);
  }
  EXPECT_EQ(notesFace, L"Courier New");
  EXPECT_TRUE(notesVisible);
  EXPECT_EQ(notesText, expectedNotes);
}

TEST(VersionInformationDialog, AValueMarkedNotPresentHasNoRow) {
  // The package's texts with a value it lacks, marked not present.
  PropertiesContainer unit;
  EmbeddedPackage()->UnitTexts().ForEach(
      [&unit](const std::string& key, const std::string& value) { unit.AddProperty(key, value); });
  ASSERT_EQ(unit.Lookup("core-hw-version"), nullptr);
  unit.AddProperty("core-hw-version", "-not-present-");
  const int labels[] = {IDC_VERSION_LABEL_1, IDC_VERSION_LABEL_2, IDC_VERSION_LABEL_3,
                        IDC_VERSION_LABEL_4, IDC_VERSION_LABEL_5, IDC_VERSION_LABEL_6};
  const int values[] = {IDC_VERSION_VALUE_1, IDC_VERSION_VALUE_2, IDC_VERSION_VALUE_3,
                        IDC_VERSION_VALUE_4, IDC_VERSION_VALUE_5, IDC_VERSION_VALUE_6};
  DialogDriver driver;
  std::vector<std::wstring> shown;
  driver.OnNextDialog([&](HWND dialog) {
    for (int i = 0; i < 6; ++i) {
      if (Visible(dialog, labels[i])) shown.push_back(ItemTextOf(dialog, labels[i]));
      if (Visible(dialog, values[i])) shown.push_back(ItemTextOf(dialog, values[i]));
    }
    testing::Click(dialog, IDOK);
  });
  ShowVersionInformation(nullptr, unit);
  ASSERT_FALSE(shown.empty());
  for (const std::wstring& text : shown) {
    EXPECT_EQ(text.find(L"Core Hardware"), std::wstring::npos) << "a row for the missing value";
    EXPECT_EQ(text.find(L"%s"), std::wstring::npos) << "an unfilled template";
  }
}

TEST(NotesDialog, EndsAtOnceWithoutItsNotes) {
  DialogDriver driver;
  EXPECT_EQ(ShowNotesDialog(nullptr, L"NO_SUCH_NOTES"), IDCANCEL);
  EXPECT_EQ(ShowNotesDialog(nullptr, nullptr), IDCANCEL);
}

struct WizardPage {
  std::wstring caption;
  std::wstring text;
  bool previousVisible;
  std::wstring next;
};

WizardPage PageOf(HWND dialog) {
  return {testing::TextOf(dialog), ItemTextOf(dialog, IDC_HELP_TEXT),
          Visible(dialog, IDC_HELP_PREVIOUS), ItemTextOf(dialog, IDC_HELP_NEXT)};
}

// Walks forward to the last page, one step back and forward again, then presses Finish.
std::vector<WizardPage> WalkWizard(const PropertiesContainer& properties, const std::string& topic,
                                   INT_PTR* result, const char* screenshot = nullptr) {
  DialogDriver driver;
  std::vector<WizardPage> pages;
  driver.OnNextDialog([&](HWND dialog) {
    if (screenshot != nullptr) testing::SaveScreenshot(dialog, screenshot);
    // Esc does nothing in the wizard.
    SendMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
    EXPECT_TRUE(IsWindowVisible(dialog));
    pages.push_back(PageOf(dialog));
    for (int guard = 0; guard < 300 && pages.back().next != L"Finish"; ++guard) {
      testing::Click(dialog, IDC_HELP_NEXT);
      pages.push_back(PageOf(dialog));
    }
    if (pages.size() > 1) {
      testing::Click(dialog, IDC_HELP_PREVIOUS);
      EXPECT_EQ(PageOf(dialog).caption, pages[pages.size() - 2].caption);
      testing::Click(dialog, IDC_HELP_NEXT);
    }
    testing::Click(dialog, IDC_HELP_NEXT);  // Finish
  });
  *result = ShowHelpWizard(nullptr, properties, topic);
  return pages;
}

TEST(HelpWizard, StepsThroughTheUpdaterInstructions) {
  INT_PTR result = 0;
  const std::string topic = "help-message.Updater Instructions";
  const PropertiesContainer& updater = EmbeddedPackage()->UpdaterTexts();
  const auto pages = WalkWizard(updater, topic, &result, "help-wizard");
  EXPECT_EQ(result, 1);
  ASSERT_EQ(pages.size(), 7u);
  for (std::size_t i = 0; i < pages.size(); ++i) {
    const std::string* text = updater.Lookup(topic + "." + std::to_string(i + 1));
    ASSERT_NE(text, nullptr);
    EXPECT_EQ(pages[i].caption, L"Updater Instructions: Step " + std::to_wstring(i + 1));
    EXPECT_EQ(pages[i].text, Widen(*text));
    EXPECT_EQ(pages[i].previousVisible, i > 0) << i;
    EXPECT_EQ(pages[i].next, i + 1 < pages.size() ? L"Next >>" : L"Finish") << i;
  }
}

TEST(HelpWizard, AGapInTheNumberingEndsThePages) {
  struct Case {
    std::vector<int> numbers;
    std::size_t pages;
  };
  const Case cases[] = {{{1, 2, 4}, 2}, {{2, 3}, 1}, {{1}, 1}};
  for (const Case& c : cases) {
    PropertiesContainer properties;
    for (int n : c.numbers) {
      properties.AddProperty("help-message.Test Topic." + std::to_string(n),
                             "page " + std::to_string(n));
    }
    INT_PTR result = 0;
    const auto pages = WalkWizard(properties, "help-message.Test Topic", &result);
    EXPECT_EQ(result, 1);
    ASSERT_EQ(pages.size(), c.pages);
    EXPECT_EQ(pages.back().next, L"Finish");
    EXPECT_EQ(pages.front().caption, L"Test Topic: Step 1");
    // Without a page 1 the wizard shows one empty page.
    EXPECT_EQ(pages.front().text, c.numbers.front() == 1 ? L"page 1" : L"");
  }
}

TEST(HelpWizard, CloseBoxEndsTheWizard) {
  DialogDriver driver;
  driver.OnNextDialog([](HWND dialog) { PostMessageW(dialog, WM_CLOSE, 0, 0); });
  EXPECT_EQ(ShowHelpWizard(nullptr, EmbeddedPackage()->UpdaterTexts(),
                           "help-message.Updater Instructions"),
            1);
}

}  // namespace
}  // namespace tessaline
