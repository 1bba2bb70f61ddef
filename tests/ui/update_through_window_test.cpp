// Whole updates through the main window against simulated units, over UDP and a serial port.
// clang-format off
#include <windows.h>
#include <commctrl.h>
// clang-format on

#include <algorithm>
#include <chrono>
#include <string>
#include <vector>

#include "main_window_fixture.h"
#include "resource.h"
#include "transport/com_port_table.h"
#include "ui/main_window.h"
#include "ui/messages.h"
#include "ui/wide_text.h"

namespace tessaline::test {
namespace {

using std::chrono::seconds;

// Application records, flash data bytes and the factory defaults step of the sample package.
constexpr int kPackageProgressTotal = 672534;

class UpdateThroughWindowTest : public MainWindowTest {
 protected:
  // Waits for the version worker to report a bootloader on the chosen connection.
  void WaitForBootloader() {
    ASSERT_TRUE(PumpUntil([&] { return ItemEnabled(window_, IDC_UPDATE); }, seconds(30)))
        << "the unit's bootloader did not answer";
  }

  struct Observed {
    int rangeHigh = 0;
    std::vector<int> positions;
  };
  // Clicks Update, confirms the warning and follows the job until its result box was answered.
  Observed RunUpdate(const wchar_t* screenshotDuring) {
    Observed seen;
    boxes_.Answer(IDOK);  // the warning
    boxes_.Answer(IDOK);  // the result
    Click(window_, IDC_UPDATE);
    EXPECT_TRUE(MainWindowJobRunning());
    bool shot = screenshotDuring == nullptr;
    EXPECT_TRUE(PumpUntil(
        [&] {
          PBRANGE range{};
          SendDlgItemMessageW(window_, IDC_PROGRESS_BAR, PBM_GETRANGE, FALSE,
                              reinterpret_cast<LPARAM>(&range));
          seen.rangeHigh = std::max(seen.rangeHigh, range.iHigh);
          const auto pos =
              static_cast<int>(SendDlgItemMessageW(window_, IDC_PROGRESS_BAR, PBM_GETPOS, 0, 0));
          if (MainWindowJobRunning() && (seen.positions.empty() || seen.positions.back() != pos)) {
            seen.positions.push_back(pos);
          }
          if (!shot && pos > kPackageProgressTotal / 3) {
            shot = SaveWindowBitmap(window_, ScreenshotPath(screenshotDuring));
          }
          return !MainWindowJobRunning();
        },
        seconds(240)));
    return seen;
  }

  void ExpectBackAtRest() {
    EXPECT_EQ(ItemText(window_, IDC_STATUS_LINE), L"Progress: Idle");
    EXPECT_EQ(SendDlgItemMessageW(window_, IDC_PROGRESS_BAR, PBM_GETPOS, 0, 0), 0);
    EXPECT_EQ(Buttons(), (UnitButtons{true, true, true, false, true}));
    EXPECT_TRUE(ItemEnabled(window_, IDC_MORE));
    EXPECT_TRUE(ItemEnabled(window_, IDC_FACTORY_DEFAULTS));
  }
};

void ExpectRisingProgress(const std::vector<int>& positions) {
  ASSERT_GE(positions.size(), 3u) << "too few progress steps seen";
  EXPECT_TRUE(std::is_sorted(positions.begin(), positions.end()));
  EXPECT_GT(positions.back(), kPackageProgressTotal / 2);
}

TEST_F(UpdateThroughWindowTest, AFullUpdateOverUdpEndsWithTheSuccessBox) {
  Click(window_, IDC_FACTORY_DEFAULTS);
  SetAddress(window_, IDC_IP_ADDRESS, 127, 0, 0, 2);
  WaitForBootloader();
  const Observed seen = RunUpdate(L"main-window-during-update.bmp");
  EXPECT_EQ(seen.rangeHigh, kPackageProgressTotal);
  ExpectRisingProgress(seen.positions);
  ASSERT_EQ(boxes_.Boxes().size(), 2u);
  EXPECT_EQ(boxes_.Boxes()[0].caption, L"Warning");
  EXPECT_EQ(boxes_.Boxes()[1].caption, L"Success");
  EXPECT_EQ(boxes_.Boxes()[1].text, L"The firmware updated successfully.");
  ExpectBackAtRest();
  EXPECT_TRUE(SaveWindowBitmap(window_, ScreenshotPath(L"main-window-after-update.bmp")));
}

TEST_F(UpdateThroughWindowTest, AUnitOfAnotherVariantIsRefusedWithTheWrongResponseBox) {
  SetAddress(window_, IDC_IP_ADDRESS, 127, 0, 0, 4);
  WaitForBootloader();
  RunUpdate(nullptr);
  ASSERT_EQ(boxes_.Boxes().size(), 2u);
  EXPECT_EQ(boxes_.Boxes()[1].caption, L"Error");
  EXPECT_EQ(boxes_.Boxes()[1].text, UpdaterText("error-message.WrongResponse"));
  ExpectBackAtRest();
}

// The window takes the command line's checks: a read-back that does not show the package's
// version ends in a failure box, and a newer unit is asked about first, No leaving it as it was.
TEST_F(UpdateThroughWindowTest, AStaleReadBackFailsAndANewerUnitIsAskedAboutFirst) {
  SetAddress(window_, IDC_IP_ADDRESS, 127, 0, 0, 5);
  WaitForBootloader();
  RunUpdate(nullptr);
  ASSERT_EQ(boxes_.Boxes().size(), 2u);
  EXPECT_EQ(boxes_.Boxes()[1].caption, L"Error");
  EXPECT_NE(boxes_.Boxes()[1].text.find(L"the unit reports version 1.1 instead of 1.2"),
            std::wstring::npos)
      << Narrow(boxes_.Boxes()[1].text);
  // The window asks the unit again after such an ending; it is still in bootload mode.
  WaitForBootloader();
  ExpectBackAtRest();

  boxes_.Clear();
  SetAddress(window_, IDC_IP_ADDRESS, 127, 0, 0, 6);
  WaitForBootloader();
  boxes_.Answer(IDOK);  // the warning
  boxes_.Answer(IDNO);  // the question
  boxes_.Answer(IDOK);  // the result
  Click(window_, IDC_UPDATE);
  ASSERT_TRUE(PumpUntil([] { return !MainWindowJobRunning(); }, seconds(60)));
  ASSERT_EQ(boxes_.Boxes().size(), 3u);
  EXPECT_EQ(boxes_.Boxes()[1].text,
            L"The unit runs V2.0, newer than this package's V1.2. Write V1.2 over it?");
  EXPECT_EQ(boxes_.Boxes()[2].caption, L"Error");
  EXPECT_EQ(boxes_.Boxes()[2].text.rfind(L"Nothing was erased", 0), 0u)
      << Narrow(boxes_.Boxes()[2].text);
  WaitForBootloader();
  ExpectBackAtRest();
  // The window asked the unit again: it still runs the version it had.
  EXPECT_TRUE(PumpUntil([&] { return ItemText(window_, IDC_APPLICATION_VERSION).find(L"2.0") !=
                                     std::wstring::npos; },
                        seconds(30)))
      << Narrow(ItemText(window_, IDC_APPLICATION_VERSION));
  for (const auto& box : boxes_.Boxes()) EXPECT_NE(box.caption, L"Success");
}

// The port is chosen by its device, as the Discover dialog's choice arrives. The port table is
// scanned again (empty) after the list was filled: the list's row still means COM7 throughout.
TEST_F(UpdateThroughWindowTest, AFullUpdateOverTheChosenComPort) {
  Click(window_, IDC_FACTORY_DEFAULTS);
  Click(window_, IDC_COM_RADIO);
  ComPortTable().ScanComPorts(std::vector<std::string>{});
  ASSERT_TRUE(SelectPort(window_, UnitAddress::Serial(R"(\\.\COM7)")))
      << "COM7 is not in the port list";
  SendMessageW(window_, WM_COMMAND, MAKEWPARAM(IDC_COM_PORT_LIST, CBN_SELCHANGE),
               reinterpret_cast<LPARAM>(GetDlgItem(window_, IDC_COM_PORT_LIST)));
  EXPECT_EQ(ItemText(window_, IDC_COM_PORT_LIST), L"COM7");
  WaitForBootloader();
  const Observed seen = RunUpdate(nullptr);
  EXPECT_EQ(seen.rangeHigh, kPackageProgressTotal);
  ExpectRisingProgress(seen.positions);
  ASSERT_EQ(boxes_.Boxes().size(), 2u);
  EXPECT_EQ(boxes_.Boxes()[1].caption, L"Success");
  EXPECT_EQ(boxes_.Boxes()[1].text, L"The firmware updated successfully.");
  ExpectBackAtRest();
  ComPortTable().ScanComPorts();
}

}  // namespace
}  // namespace tessaline::test
