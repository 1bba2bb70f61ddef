// The main window's control states driven through real messages, clicks and typed values.
// clang-format off
#include <windows.h>
#include <commctrl.h>
#include <dbt.h>
// clang-format on

#include "ui/main_window.h"

#include <chrono>

#include "main_window_fixture.h"
#include "platform/threading.h"
#include "resource.h"
#include "transport/com_port_table.h"
#include "ui/message_loop.h"
#include "ui/messages.h"
#include "ui/settings.h"
#include "ui/tray_icon.h"

namespace tessaline::test {
namespace {

using std::chrono::milliseconds;
using std::chrono::seconds;
using State = MainWindowTest::UnitButtons;

constexpr State kStart{false, false, true, false, false};
constexpr State kQuerying{false, false, false, false, false};
constexpr State kBootloaderAnswered{true, true, true, false, true};
constexpr State kNoBootloader{false, false, true, false, false};
constexpr State kJobRunning{false, false, false, false, false};

// Gives the window a bootloader-answered state on the loopback unit address nobody serves.
void AnswerBootloader(HWND window) { SendMessageW(window, WM_APP_BOOTLOADER_VERSION, 0x0102, 0); }

TEST_F(MainWindowTest, StartsWithThePackageShownAndOnlyDiscoverOffered) {
  EXPECT_EQ(Buttons(), kStart);
  wchar_t caption[256]{};
  GetWindowTextW(window_, caption, 256);
  EXPECT_EQ(std::wstring(caption), UnitText("model") + L" Firmware Updater");
  EXPECT_EQ(ItemText(window_, IDC_PRODUCT_NAME), L"Product Name:\t\t" + UnitText("model"));
  EXPECT_EQ(ItemText(window_, IDC_BUILD_VERSION),
            L"Build Version:\t\t" + UnitText("build-version"));
  EXPECT_EQ(ItemText(window_, IDC_STATUS_LINE), L"Progress: Idle");
  EXPECT_EQ(ItemText(window_, IDC_PARSER_PORT), L"4999");
  EXPECT_EQ(ItemText(window_, IDC_APPLICATION_VERSION), L"");
  EXPECT_EQ(IsDlgButtonChecked(window_, IDC_IP_RADIO), BST_CHECKED);
  EXPECT_TRUE(ItemEnabled(window_, IDC_IP_ADDRESS));
  EXPECT_TRUE(ItemEnabled(window_, IDC_PARSER_PORT));
  EXPECT_FALSE(ItemEnabled(window_, IDC_COM_PORT_LIST));
  EXPECT_EQ(ItemEnabled(window_, IDC_COM_RADIO), ComPortTable().Count() > 0);
  EXPECT_EQ(IsDlgButtonChecked(window_, IDC_FACTORY_DEFAULTS), BST_UNCHECKED);
  EXPECT_TRUE(ItemEnabled(window_, IDC_FACTORY_DEFAULTS));
  EXPECT_EQ(IsDlgButtonChecked(window_, IDC_FIRMWARE), BST_CHECKED);
  EXPECT_TRUE(ItemEnabled(window_, IDC_FIRMWARE));
  EXPECT_TRUE(MenuItemEnabled(window_, IDM_ABOUT));
  EXPECT_TRUE(MenuItemEnabled(window_, IDM_UNIT_PREPARATIONS));
  EXPECT_TRUE(SaveWindowBitmap(window_, ScreenshotPath(L"main-window-at-rest.bmp")));
}

TEST_F(MainWindowTest, OnlyUsableAddressesStartAQuery) {
  struct Row {
    const char* what;
    BYTE a, b, c, d;
    bool usable;
  };
  const Row rows[] = {
      {"loopback host", 127, 0, 0, 1, false},
      {"any address", 0, 0, 0, 0, false},
      {"limited broadcast", 255, 255, 255, 255, false},
      {"unit address on loopback", 127, 0, 0, 3, true},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    DestroyWindow(window_);
    window_ = OpenWindow();
    SendMessageW(window_, WM_APP_ENABLE_ENTER_BOOTLOAD, 1, 0);
    SetAddress(window_, IDC_IP_ADDRESS, row.a, row.b, row.c, row.d);
    EXPECT_FALSE(ItemEnabled(window_, IDC_ENTER_BOOTLOAD));
    if (row.usable) {
      EXPECT_EQ(Buttons(), kQuerying);
      EXPECT_EQ(ItemText(window_, IDC_APPLICATION_VERSION), L"Searching...");
    } else {
      EXPECT_EQ(Buttons(), kStart);
      EXPECT_EQ(ItemText(window_, IDC_APPLICATION_VERSION), L"");
    }
  }
  // Nobody serves 127.0.0.3: the real worker reports no bootloader and no application.
  EXPECT_TRUE(PumpUntil([&] { return ItemEnabled(window_, IDC_DISCOVER); }, seconds(30)));
  EXPECT_EQ(Buttons(), kNoBootloader);
  EXPECT_TRUE(PumpUntil([&] { return ItemText(window_, IDC_APPLICATION_VERSION) == L"Not found"; },
                        seconds(30)));
}

TEST_F(MainWindowTest, AnIncompleteAddressLeavesOnlyDiscoverOn) {
  AnswerBootloader(window_);
  SendMessageW(window_, WM_APP_ENABLE_ENTER_BOOTLOAD, 1, 0);
  TypeFirstAddressField(window_, IDC_IP_ADDRESS, L"10");
  EXPECT_EQ(Buttons(), (State{false, false, true, false, false}));
  EXPECT_EQ(ItemText(window_, IDC_APPLICATION_VERSION), L"");
}

TEST_F(MainWindowTest, ParserPortOutsideItsRangeIsRefusedAndTheOldValueComesBack) {
  struct Row {
    const wchar_t* typed;
    bool accepted;
  };
  const Row rows[] = {{L"1023", false},  {L"1024", true},    {L"65535", true},
                      {L"65536", false}, {L"123456", false}, {L"", false}};
  for (const Row& row : rows) {
    SCOPED_TRACE(testing::Message()
                 << "typed " << std::string(row.typed, row.typed + wcslen(row.typed)));
    const std::wstring before = ItemText(window_, IDC_PARSER_PORT);
    const std::uint32_t portBefore = CurrentParserPort;
    boxes_.Clear();
    SetDlgItemTextW(window_, IDC_PARSER_PORT, row.typed);
    SendMessageW(window_, WM_COMMAND, MAKEWPARAM(IDC_PARSER_PORT, EN_KILLFOCUS),
                 reinterpret_cast<LPARAM>(GetDlgItem(window_, IDC_PARSER_PORT)));
    if (row.accepted) {
      EXPECT_TRUE(boxes_.Boxes().empty());
      EXPECT_EQ(std::to_wstring(CurrentParserPort.load()), row.typed);
    } else {
      ASSERT_EQ(boxes_.Boxes().size(), 1u);
      EXPECT_EQ(boxes_.Boxes()[0].caption, L"Out of range");
      EXPECT_EQ(boxes_.Boxes()[0].text, L"Parser Port must be between 1024 and 65535.");
      EXPECT_EQ(CurrentParserPort.load(), portBefore);
      EXPECT_EQ(ItemText(window_, IDC_PARSER_PORT), before);
    }
  }
}

TEST_F(MainWindowTest, VersionWorkerMessagesMoveTheControlSet) {
  AnswerBootloader(window_);
  EXPECT_EQ(Buttons(), kBootloaderAnswered);
  SendMessageW(window_, WM_APP_ENABLE_ENTER_BOOTLOAD, 1, 0);
  EXPECT_TRUE(ItemEnabled(window_, IDC_ENTER_BOOTLOAD));
  SendMessageW(window_, WM_APP_ENABLE_EXIT_BOOTLOAD, 0, 0);
  EXPECT_FALSE(ItemEnabled(window_, IDC_EXIT_BOOTLOAD));

  SendMessageW(window_, WM_APP_NO_BOOTLOADER, 0, 0);
  EXPECT_EQ(Buttons(), (State{false, false, true, true, false}));
  SendMessageW(window_, WM_APP_ENABLE_EXIT_BOOTLOAD, 1, 0);
  EXPECT_TRUE(ItemEnabled(window_, IDC_EXIT_BOOTLOAD));

  struct Row {
    LPARAM version;
    const wchar_t* label;
  };
  for (const Row& row : {Row{0x00020003, L"2.3"}, Row{0x0001000A, L"1.10"}, Row{0, L"Not found"},
                         Row{static_cast<LPARAM>(0xFFFFFFFFu), L"Not found"}}) {
    EXPECT_EQ(SendMessageW(window_, WM_APP_APPLICATION_VERSION, 0, row.version), 1);
    EXPECT_EQ(ItemText(window_, IDC_APPLICATION_VERSION), row.label);
  }
  // The unused code changes nothing.
  const State before = Buttons();
  SendMessageW(window_, WM_APP + 8, 1, 1);
  EXPECT_EQ(Buttons(), before);
}

// The old unit's answer is already queued when another unit is named: it must not turn Update on
// for the unit now shown.
TEST_F(MainWindowTest, OnlyTheUnitNowShownMayTurnUpdateOn) {
  struct Row {
    const char* what;
    void (*show)(HWND);
    void (*change)(HWND);
  };
  const auto showAddress = [](HWND w) { SetAddress(w, IDC_IP_ADDRESS, 127, 0, 0, 3); };
  const Row rows[] = {
      {"address changed", showAddress, [](HWND w) { SetAddress(w, IDC_IP_ADDRESS, 127, 0, 0, 4); }},
      {"radio switched away and back", showAddress,
       [](HWND w) {
         CheckRadioButton(w, IDC_IP_RADIO, IDC_COM_RADIO, IDC_COM_RADIO);
         SendMessageW(w, WM_COMMAND, MAKEWPARAM(IDC_COM_RADIO, BN_CLICKED), 0);
         CheckRadioButton(w, IDC_IP_RADIO, IDC_COM_RADIO, IDC_IP_RADIO);
         SendMessageW(w, WM_COMMAND, MAKEWPARAM(IDC_IP_RADIO, BN_CLICKED), 0);
       }},
      // The refilled list has no selection: the port shown before names nothing now.
      {"port list refilled",
       [](HWND w) {
         SendDlgItemMessageW(w, IDC_COM_PORT_LIST, CB_ADDSTRING, 0,
                             reinterpret_cast<LPARAM>(L"COM9"));
         SetComGroupEnabled(w, true);
         Click(w, IDC_COM_RADIO);
         SendDlgItemMessageW(w, IDC_COM_PORT_LIST, CB_SETCURSEL, 0, 0);
       },
       [](HWND w) { SendMessageW(w, WM_DEVICECHANGE, DBT_DEVICEARRIVAL, 0); }},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    DestroyWindow(window_);
    window_ = OpenWindow();
    row.show(window_);
    AnswerBootloader(window_);
    ASSERT_TRUE(ItemEnabled(window_, IDC_UPDATE));
    PostMessageW(window_, WM_APP_BOOTLOADER_VERSION, 0x0102, 0);
    PostMessageW(window_, WM_APP_ENABLE_EXIT_BOOTLOAD, 1, 0);
    row.change(window_);
    Pump(milliseconds(200));
    EXPECT_FALSE(ItemEnabled(window_, IDC_UPDATE));
    EXPECT_FALSE(MenuItemEnabled(window_, IDM_UPDATE));
    EXPECT_FALSE(ItemEnabled(window_, IDC_EXIT_BOOTLOAD));
  }
}

// Keys reach the focused control first; the main window's accelerators and dialog keys apply all
// the same, as the program's own message loop runs them.
TEST_F(MainWindowTest, TheMessageLoopGivesTheWindowItsKeys) {
  HACCEL accelerators =
      LoadAcceleratorsW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDR_MAIN_ACCELERATORS));
  ASSERT_NE(accelerators, nullptr);
  HWND field = GetDlgItem(window_, IDC_IP_ADDRESS);
  SetFocus(field);
  HWND focused = GetFocus();
  ASSERT_TRUE(focused == field || IsChild(field, focused));

  PostMessageW(focused, WM_KEYDOWN, VK_TAB, 1);
  PumpPendingMessages(window_, accelerators);
  EXPECT_NE(GetFocus(), focused) << "Tab moves on";
  EXPECT_FALSE(IsChild(field, GetFocus()));
  EXPECT_TRUE(IsChild(window_, GetFocus()));

  boxes_.OnDialog([&](HWND dialog) { EXPECT_EQ(GetParent(dialog), window_); });
  SetFocus(field);
  BYTE keys[256]{};
  GetKeyboardState(keys);
  keys[VK_MENU] = 0x80;  // Alt held, as the key state and bit 29 both say
  SetKeyboardState(keys);
  PostMessageW(GetFocus(), WM_SYSCHAR, L'/', 1 | (1 << 29));
  PumpPendingMessages(window_, accelerators);
  keys[VK_MENU] = 0;
  SetKeyboardState(keys);
  ASSERT_EQ(boxes_.DialogCaptions().size(), 1u) << "Alt+/ opens About from the address field";
  EXPECT_EQ(boxes_.DialogCaptions()[0], L"About Firmware Updater");

  // Enter presses the default button, Update, only while it is enabled.
  for (const bool updateOn : {false, true}) {
    SCOPED_TRACE(updateOn ? "Update enabled" : "Update disabled");
    if (updateOn) AnswerBootloader(window_);
    ASSERT_EQ(ItemEnabled(window_, IDC_UPDATE), updateOn);
    boxes_.Clear();
    boxes_.Answer(IDCANCEL);
    SetFocus(field);
    PostMessageW(GetFocus(), WM_KEYDOWN, VK_RETURN, 1);
    PumpPendingMessages(window_, accelerators);
    ASSERT_EQ(boxes_.Boxes().size(), updateOn ? 1u : 0u);
    if (updateOn) {
      EXPECT_EQ(boxes_.Boxes()[0].caption, L"Warning");
    }
  }
}

// A worker thread that cannot start: no exception crosses the window procedure, the job is not
// running, its controls come back and no box is shown.
TEST_F(MainWindowTest, AJobWhoseThreadCannotStartGivesTheControlsBack) {
  SetAddress(window_, IDC_IP_ADDRESS, 127, 0, 0, 3);
  AnswerBootloader(window_);
  platform::refuseThreadStarts = true;
  Click(window_, IDC_EXIT_BOOTLOAD);
  platform::refuseThreadStarts = false;
  EXPECT_FALSE(MainWindowJobRunning());
  EXPECT_FALSE(TrayAnimating());
  EXPECT_EQ(Buttons(), kBootloaderAnswered);
  EXPECT_TRUE(ItemEnabled(window_, IDC_IP_ADDRESS));
  EXPECT_TRUE(boxes_.Boxes().empty());
}

TEST_F(MainWindowTest, ProgressMessagesSetTheBarOnce) {
  SendMessageW(window_, WM_APP_PROGRESS_RANGE, 0, 672534);
  PBRANGE range{};
  SendDlgItemMessageW(window_, IDC_PROGRESS_BAR, PBM_GETRANGE, FALSE,
                      reinterpret_cast<LPARAM>(&range));
  EXPECT_EQ(range.iLow, 0);
  EXPECT_EQ(range.iHigh, 672534);
  SendMessageW(window_, WM_APP_PROGRESS_POS, 400000, 0);
  EXPECT_EQ(SendDlgItemMessageW(window_, IDC_PROGRESS_BAR, PBM_GETPOS, 0, 0), 400000);
  SendMessageW(window_, WM_APP_PROGRESS_RANGE, 100, 200);
  EXPECT_EQ(SendDlgItemMessageW(window_, IDC_PROGRESS_BAR, PBM_GETPOS, 0, 0), 100);
}

TEST_F(MainWindowTest, CancellingTheUpdateWarningChangesNothing) {
  AnswerBootloader(window_);
  for (const int command : {IDC_UPDATE, IDM_UPDATE}) {  // the menu item runs the same procedure
    SCOPED_TRACE(command);
    boxes_.Clear();
    boxes_.Answer(IDCANCEL);
    SendMessageW(window_, WM_COMMAND, MAKEWPARAM(command, BN_CLICKED), 0);
    ASSERT_EQ(boxes_.Boxes().size(), 1u);
    EXPECT_EQ(boxes_.Boxes()[0].caption, L"Warning");
    EXPECT_EQ(boxes_.Boxes()[0].text, UpdaterText("update-warning"));
    EXPECT_FALSE(MainWindowJobRunning());
    EXPECT_EQ(Buttons(), kBootloaderAnswered);
    EXPECT_EQ(ItemText(window_, IDC_STATUS_LINE), L"Progress: Idle");
  }
}

TEST_F(MainWindowTest, TheFirmwareBoxKeepsTheUsersChoiceThroughControlSetUpdates) {
  ASSERT_TRUE(PackageHasApplication.load());
  Click(window_, IDC_FIRMWARE);
  EXPECT_EQ(IsDlgButtonChecked(window_, IDC_FIRMWARE), BST_UNCHECKED);
  EXPECT_FALSE(OverwriteFirmware.load());
  SetControlSet(window_, false);
  EXPECT_FALSE(ItemEnabled(window_, IDC_FIRMWARE));
  SetControlSet(window_, true);
  EXPECT_TRUE(ItemEnabled(window_, IDC_FIRMWARE));
  EXPECT_EQ(IsDlgButtonChecked(window_, IDC_FIRMWARE), BST_UNCHECKED);
  EXPECT_FALSE(OverwriteFirmware.load());
  Click(window_, IDC_FACTORY_DEFAULTS);
  EXPECT_TRUE(OverwriteFactoryDefaults.load());
  Click(window_, IDC_FIRMWARE);
  EXPECT_TRUE(OverwriteFirmware.load());
}

TEST_F(MainWindowTest, ComPortWithoutASelectionStartsNothing) {
  // A port list with an entry but nothing selected, as after a refill.
  SendDlgItemMessageW(window_, IDC_COM_PORT_LIST, CB_ADDSTRING, 0,
                      reinterpret_cast<LPARAM>(L"COM9"));
  SetComGroupEnabled(window_, true);
  Click(window_, IDC_COM_RADIO);
  ASSERT_EQ(IsDlgButtonChecked(window_, IDC_COM_RADIO), BST_CHECKED);
  EXPECT_TRUE(ItemEnabled(window_, IDC_COM_PORT_LIST));
  EXPECT_FALSE(ItemEnabled(window_, IDC_IP_ADDRESS));
  AnswerBootloader(window_);
  EXPECT_EQ(Buttons(), (State{false, false, true, false, false}));
  for (const int command : {IDC_UPDATE, IDM_UPDATE, IDC_EXIT_BOOTLOAD, IDC_ENTER_BOOTLOAD}) {
    SendMessageW(window_, WM_COMMAND, MAKEWPARAM(command, BN_CLICKED), 0);
  }
  Pump(milliseconds(50));
  EXPECT_TRUE(boxes_.Boxes().empty());
  EXPECT_FALSE(MainWindowJobRunning());
  EXPECT_FALSE(ConnectionUnit(window_).has_value());
}

TEST_F(MainWindowTest, MenuAndButtonsOpenTheirDialogsOverTheWindow) {
  boxes_.OnDialog([&](HWND dialog) { EXPECT_EQ(GetParent(dialog), window_); });
  for (const int command : {IDM_ABOUT, IDC_MORE, IDM_UNIT_PREPARATIONS, IDM_UPDATE_INSTRUCTIONS}) {
    SCOPED_TRACE(command);
    const std::size_t before = boxes_.DialogCaptions().size();
    SendMessageW(window_, WM_COMMAND, MAKEWPARAM(command, BN_CLICKED), 0);
    EXPECT_EQ(boxes_.DialogCaptions().size(), before + 1);
  }
  ASSERT_EQ(boxes_.DialogCaptions().size(), 4u);
  EXPECT_EQ(boxes_.DialogCaptions()[0], L"About Firmware Updater");
  EXPECT_EQ(boxes_.DialogCaptions()[1], L"Version Information");
  EXPECT_TRUE(IsWindow(window_));
}

TEST_F(MainWindowTest, TheTrayAnimatesWhileTheDiscoverDialogIsOpen) {
  // Serial discovery only: it probes the port table and sends nothing on any network.
  SendDlgItemMessageW(window_, IDC_COM_PORT_LIST, CB_ADDSTRING, 0,
                      reinterpret_cast<LPARAM>(L"COM9"));
  SetComGroupEnabled(window_, true);
  Click(window_, IDC_COM_RADIO);
  bool animatingWhileOpen = false;
  boxes_.OnDialog([&](HWND) { animatingWhileOpen = TrayAnimating(); });
  Click(window_, IDC_DISCOVER);
  ASSERT_EQ(boxes_.DialogCaptions().size(), 1u);
  EXPECT_EQ(boxes_.DialogCaptions()[0], L"Discover");
  EXPECT_TRUE(animatingWhileOpen);
  EXPECT_FALSE(TrayAnimating());
  EXPECT_EQ(SendDlgItemMessageW(window_, IDC_COM_PORT_LIST, CB_GETCURSEL, 0, 0), CB_ERR);
}

TEST_F(MainWindowTest, ClosingAsksFirstAndNoKeepsTheWindow) {
  boxes_.Answer(IDNO);
  SendMessageW(window_, WM_CLOSE, 0, 0);
  ASSERT_EQ(boxes_.Boxes().size(), 1u);
  EXPECT_EQ(boxes_.Boxes()[0].caption, L"Close");
  EXPECT_EQ(boxes_.Boxes()[0].text, L"Close the application ?");
  EXPECT_TRUE(IsWindow(window_));
  boxes_.Answer(IDYES);
  SendMessageW(window_, WM_COMMAND, MAKEWPARAM(IDM_EXIT, 0), 0);
  EXPECT_EQ(boxes_.Boxes().size(), 2u);
  EXPECT_FALSE(IsWindow(window_));
}

// A job against an address nobody serves: running, refusing to close, deferring a port rescan,
// then finished with the no-response box and the controls back.
TEST_F(MainWindowTest, AJobRunsToItsEndBeforeTheWindowMayClose) {
  SetAddress(window_, IDC_IP_ADDRESS, 127, 0, 0, 3);
  ASSERT_TRUE(PumpUntil([&] { return ItemEnabled(window_, IDC_DISCOVER); }, seconds(30)));
  SendMessageW(window_, WM_APP_ENABLE_EXIT_BOOTLOAD, 1, 0);
  Click(window_, IDC_EXIT_BOOTLOAD);
  ASSERT_TRUE(MainWindowJobRunning());
  EXPECT_TRUE(TrayAnimating());
  EXPECT_EQ(Buttons(), kJobRunning);
  // Enter Bootload would query the unit being written.
  SendMessageW(window_, WM_APP_ENABLE_ENTER_BOOTLOAD, 1, 0);
  EXPECT_FALSE(ItemEnabled(window_, IDC_ENTER_BOOTLOAD));
  EXPECT_FALSE(ItemEnabled(window_, IDC_IP_RADIO));
  EXPECT_FALSE(ItemEnabled(window_, IDC_MORE));
  EXPECT_FALSE(MenuItemEnabled(window_, IDM_ABOUT));

  // A device change while the job runs leaves the port list alone until the job has ended.
  SendDlgItemMessageW(window_, IDC_COM_PORT_LIST, CB_ADDSTRING, 0,
                      reinterpret_cast<LPARAM>(L"COM9"));
  EXPECT_EQ(SendMessageW(window_, WM_DEVICECHANGE, DBT_DEVICEARRIVAL, 0), TRUE);
  EXPECT_EQ(SendDlgItemMessageW(window_, IDC_COM_PORT_LIST, CB_GETCOUNT, 0, 0),
            static_cast<LRESULT>(ComPortTable().Count() + 1));

  boxes_.Answer(IDOK);
  SendMessageW(window_, WM_CLOSE, 0, 0);
  ASSERT_EQ(boxes_.Boxes().size(), 1u);
  EXPECT_EQ(boxes_.Boxes()[0].caption, L"Close");
  EXPECT_TRUE(IsWindow(window_));

  ASSERT_TRUE(PumpUntil([&] { return !MainWindowJobRunning(); }, seconds(60)));
  EXPECT_FALSE(TrayAnimating());
  ASSERT_EQ(boxes_.Boxes().size(), 2u);
  EXPECT_EQ(boxes_.Boxes()[1].caption, L"Error");
  EXPECT_EQ(boxes_.Boxes()[1].text, UpdaterText("error-message.NoResponse"));
  EXPECT_EQ(Buttons(), (State{true, true, true, false, true}));
  EXPECT_TRUE(ItemEnabled(window_, IDC_MORE));
  EXPECT_EQ(ItemText(window_, IDC_STATUS_LINE), L"Progress: Idle");
  EXPECT_EQ(SendDlgItemMessageW(window_, IDC_PROGRESS_BAR, PBM_GETPOS, 0, 0), 0);
  EXPECT_EQ(SendDlgItemMessageW(window_, IDC_COM_PORT_LIST, CB_GETCOUNT, 0, 0),
            static_cast<LRESULT>(ComPortTable().Count()));
}

}  // namespace
}  // namespace tessaline::test
