// The Discover dialog: list order and looks, version labels, results (one unit, or every unit in
// bootload mode) and the bootload reminder.
#include "ui/dialogs/discover_dialog.h"

#include <gtest/gtest.h>
#include <winsock2.h>
#include <ws2tcpip.h>

#include <string>
#include <vector>

#include "discovery/discovery_listener.h"
#include "discovery/discovery_thread.h"
#include "discovery/version_worker.h"
#include "package/package.h"
#include "resource.h"
#include "transport/com_port_table.h"
#include "transport/unit_address.h"
#include "ui/dialogs/dialog_driver.h"
#include "ui/dialogs/dialogs.h"
#include "ui/dialogs/discover_list.h"
#include "ui/messages.h"
#include "ui/rack_units.h"
#include "ui/rack_window.h"
#include "ui/wide_text.h"

namespace tessaline {
namespace {

using dialogs::DiscoveredUnit;
using testing::Address;
using testing::DialogDriver;
using testing::kSilentAddress;
using testing::PumpUntil;

// The simulated unit of the fixture script (units.sh): bootloader 1.0, application 1.1, and a
// discovery responder, all on this address.
constexpr char kBootloaderUnit[] = "127.0.161.24";
constexpr char kSerialUnitPort[] = R"(\\.\COM8)";  // a bootloader on a pseudo-terminal
constexpr std::uint32_t kQueryWaitMs = 15000;
constexpr char kIdentity[] = "Brume Tessaline";  // what the simulated unit announces

// Discovery that reaches no interface at all: the tests post the reports themselves.
void UseNoInterfaces() {
  NetworkDiscoveryOptions network;
  network.readInterfaces = [] { return std::optional<InterfaceTable>(InterfaceTable{}); };
  dialogs::SetDiscoveryOptions(std::move(network), {});
}

HWND List(HWND dialog) { return GetDlgItem(dialog, IDC_UNIT_LIST); }

std::vector<const DiscoveredUnit*> Entries(HWND dialog) {
  std::vector<const DiscoveredUnit*> entries;
  const auto count = SendMessageW(List(dialog), LB_GETCOUNT, 0, 0);
  for (LRESULT i = 0; i < count; ++i) {
    entries.push_back(reinterpret_cast<const DiscoveredUnit*>(
        SendMessageW(List(dialog), LB_GETITEMDATA, static_cast<WPARAM>(i), 0)));
  }
  return entries;
}

void Report(HWND dialog, UINT code, WPARAM wParam, LPARAM lParam) {
  PostMessageW(dialog, code, wParam, lParam);
  testing::PumpFor(20);
}

// A serial unit reported to the open dialog as its discovery worker reports one.
void ReportSerial(const char* device, bool inBootload) {
  const auto listener = dialogs::OpenDialogListener();
  ASSERT_NE(listener, nullptr);
  listener->SerialUnitFound(UnitAddress::Serial(device), inBootload);
  testing::PumpFor(20);
}

// Units as their canonical texts, for readable comparisons.
std::vector<std::string> Named(const std::vector<UnitAddress>& units) {
  std::vector<std::string> names;
  for (const UnitAddress& unit : units) names.push_back(unit.Canonical());
  return names;
}

bool NothingChosen(const DiscoverResult& result) {
  return !result.chosen && result.bootloadUnits.empty();
}

void Select(HWND dialog, int index) {
  SendMessageW(List(dialog), LB_SETCURSEL, static_cast<WPARAM>(index), 0);
  SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDC_UNIT_LIST, LBN_SELCHANGE),
               reinterpret_cast<LPARAM>(List(dialog)));
}

int IndexOf(HWND dialog, std::uint32_t address) {
  const auto entries = Entries(dialog);
  for (std::size_t i = 0; i < entries.size(); ++i) {
    if (entries[i]->unit == UnitAddress::Network(address)) return static_cast<int>(i);
  }
  return -1;
}

TEST(DiscoverDialog, ListsBootloadUnitsFirstInBoldAndKeepsFirstReports) {
  UseNoInterfaces();
  const std::uint32_t application = Address("127.0.161.31");
  const std::uint32_t bootloader = Address("127.0.161.32");
  const std::uint32_t linkLocal = Address("169.254.7.9");
  const std::uint32_t otherSubnet = Address("10.1.2.3");
  DialogDriver driver;
  std::vector<const DiscoveredUnit*> entries;
  std::vector<DiscoveredUnit> copies;
  driver.OnNextDialog([&](HWND dialog) {
    Report(dialog, WM_APP_NET_UNIT_FOUND, 0, static_cast<LPARAM>(application));
    Report(dialog, WM_APP_NET_UNIT_FOUND, kUnitInBootload, static_cast<LPARAM>(bootloader));
    // A later report of a listed unit changes nothing, even in bootload mode.
    Report(dialog, WM_APP_NET_UNIT_FOUND, kUnitInBootload, static_cast<LPARAM>(application));
    Report(dialog, WM_APP_NET_UNIT_FOUND, kUnitLinkLocal | kUnitOnOtherSubnet,
           static_cast<LPARAM>(linkLocal));
    Report(dialog, WM_APP_NET_UNIT_FOUND, kUnitOnOtherSubnet, static_cast<LPARAM>(otherSubnet));
    for (const DiscoveredUnit* entry : Entries(dialog)) copies.push_back(*entry);
    Select(dialog, IndexOf(dialog, linkLocal));  // not in bootload mode: no query
    EXPECT_TRUE(IsWindowEnabled(GetDlgItem(dialog, IDOK)));
    EXPECT_FALSE(IsWindowEnabled(GetDlgItem(dialog, IDC_BOOTLOADER_VERSION_LABEL)));
    EXPECT_EQ(testing::ItemTextOf(dialog, IDC_BOOTLOADER_VERSION), L"");
    testing::SaveScreenshot(dialog, "discover-network");
    testing::Click(dialog, IDCANCEL);
  });
  EXPECT_TRUE(NothingChosen(RunDiscoverDialog(nullptr, DiscoverMode::Network, kIdentity)));

  ASSERT_EQ(copies.size(), 4u);
  EXPECT_EQ(copies[0].unit, UnitAddress::Network(bootloader));
  EXPECT_EQ(copies[0].label, L"127.0.161.32");
  EXPECT_TRUE(dialogs::LookOf(copies[0], false).bold);
  for (std::size_t i = 1; i < copies.size(); ++i) {
    EXPECT_FALSE(dialogs::LookOf(copies[i], false).bold) << i;
  }
  for (const DiscoveredUnit& unit : copies) {
    const dialogs::EntryLook look = dialogs::LookOf(unit, false);
    if (unit.unit == UnitAddress::Network(linkLocal)) {
      EXPECT_TRUE(look.ownColour);
      EXPECT_EQ(look.colour, dialogs::kLinkLocalColour) << "link-local wins over other-subnet";
    } else if (unit.unit == UnitAddress::Network(otherSubnet)) {
      EXPECT_EQ(look.colour, dialogs::kOtherSubnetColour);
    } else {
      EXPECT_FALSE(look.ownColour) << std::string(unit.label.begin(), unit.label.end());
    }
    EXPECT_TRUE(dialogs::LookOf(unit, true).highlighted);
    EXPECT_FALSE(dialogs::LookOf(unit, true).ownColour) << "selection draws in highlight colours";
  }
}

TEST(DiscoverDialog, NothingChosenReturnsNoUnit) {
  UseNoInterfaces();
  struct Case {
    const char* name;
    UINT message;
    WPARAM wParam;
  };
  const Case cases[] = {
      {"OK without a selection", WM_COMMAND, IDOK},
      {"Cancel", WM_COMMAND, IDCANCEL},
      {"close box", WM_SYSCOMMAND, SC_CLOSE},
  };
  for (const Case& c : cases) {
    DialogDriver driver;
    driver.OnNextDialog([&](HWND dialog) {
      Report(dialog, WM_APP_NET_UNIT_FOUND, 0, static_cast<LPARAM>(Address("127.0.161.31")));
      PostMessageW(dialog, c.message, c.wParam, 0);
      PumpUntil([&] { return !IsWindowVisible(dialog); }, 2000);
    });
    EXPECT_TRUE(NothingChosen(RunDiscoverDialog(nullptr, DiscoverMode::Network, kIdentity)))
        << c.name;
    EXPECT_TRUE(driver.Boxes().empty()) << c.name;
  }
}

TEST(DiscoverDialog, SerialUnitsKeepArrivalOrderAndComeBackAsTheirDevices) {
  UseNoInterfaces();
  DialogDriver driver;
  std::vector<std::wstring> labels;
  driver.OnNextDialog([&](HWND dialog) {
    ReportSerial(R"(\\.\COM3)", false);
    ReportSerial(R"(\\.\COM1)", true);
    ReportSerial(R"(\\.\COM4)", false);
    ReportSerial("com3", true);  // COM3 again, in another spelling: ignored
    for (const DiscoveredUnit* entry : Entries(dialog)) labels.push_back(entry->label);
    Select(dialog, 2);  // COM4, running its application
    EXPECT_FALSE(IsWindowEnabled(GetDlgItem(dialog, IDC_APPLICATION_VERSION_LABEL)));
    testing::Click(dialog, IDOK);
  });
  const DiscoverResult result = RunDiscoverDialog(nullptr, DiscoverMode::Serial, kIdentity);
  EXPECT_EQ(labels, (std::vector<std::wstring>{L"COM3", L"COM1", L"COM4"}));
  ASSERT_TRUE(result.chosen);
  EXPECT_EQ(result.chosen->Canonical(), "serial:COM4");
  EXPECT_TRUE(result.bootloadUnits.empty());
  ASSERT_EQ(driver.Boxes().size(), 1u) << "the bootload-mode reminder";
  EXPECT_EQ(driver.Boxes()[0].text,
            L"Please remember to place the selected unit into bootload mode.");
  EXPECT_EQ(driver.Boxes()[0].caption, L"Bootload Mode");
}

// The bootloader on COM8 (units.sh) found by the real serial scan; the port table is then scanned
// again without it before the choice: either way out still names COM8.
TEST(DiscoverDialog, ARescanBetweenDiscoveryAndTheChoiceKeepsTheUnit) {
  UseNoInterfaces();
  for (const int button : {IDOK, IDC_UPDATE_ALL_BOOTLOAD}) {
    ComPortTable().ScanComPorts({kSerialUnitPort});
    ASSERT_EQ(ComPortTable().Count(), 1u) << "units.sh maps " << kSerialUnitPort;
    DialogDriver driver;
    bool found = false;
    driver.OnNextDialog([&](HWND dialog) {
      found = PumpUntil([&] { return Entries(dialog).size() == 1; }, kQueryWaitMs);
      if (!found) return;
      ComPortTable().ScanComPorts(std::vector<std::string>{});
      if (button == IDOK) Select(dialog, 0);
      testing::Click(dialog, button);
    });
    const DiscoverResult result = RunDiscoverDialog(nullptr, DiscoverMode::Serial, kIdentity);
    ASSERT_TRUE(found) << "the serial scan found the unit on " << kSerialUnitPort;
    std::vector<UnitAddress> named = result.bootloadUnits;
    if (result.chosen) named.push_back(*result.chosen);
    EXPECT_EQ(Named(named), std::vector<std::string>{"serial:COM8"}) << "button " << button;
  }
}

// Update All in Bootload Mode is offered once a unit is listed in bold, and takes exactly the
// units shown in bold, network and serial alike, in list order; no reminder box.
TEST(DiscoverDialog, UpdateAllTakesExactlyTheUnitsShownInBold) {
  UseNoInterfaces();
  DialogDriver driver;
  bool offeredWithoutBold = true;
  bool offeredWithBold = false;
  std::vector<std::string> shownInBold;
  driver.OnNextDialog([&](HWND dialog) {
    Report(dialog, WM_APP_NET_UNIT_FOUND, 0, static_cast<LPARAM>(Address("127.0.161.51")));
    ReportSerial(R"(\\.\COM6)", false);
    offeredWithoutBold = IsWindowEnabled(GetDlgItem(dialog, IDC_UPDATE_ALL_BOOTLOAD));
    ReportSerial(R"(\\.\COM7)", true);
    Report(dialog, WM_APP_NET_UNIT_FOUND, kUnitInBootload | kUnitLinkLocal,
           static_cast<LPARAM>(Address("169.254.3.4")));
    Report(dialog, WM_APP_NET_UNIT_FOUND, kUnitOnOtherSubnet,
           static_cast<LPARAM>(Address("10.9.8.7")));
    // A repeat in bootload mode of a unit listed as running stays as first listed: not bold.
    Report(dialog, WM_APP_NET_UNIT_FOUND, kUnitInBootload,
           static_cast<LPARAM>(Address("127.0.161.51")));
    Report(dialog, WM_APP_NET_UNIT_FOUND, kUnitInBootload,
           static_cast<LPARAM>(Address("127.0.161.52")));
    offeredWithBold = IsWindowEnabled(GetDlgItem(dialog, IDC_UPDATE_ALL_BOOTLOAD));
    for (const DiscoveredUnit* entry : Entries(dialog)) {
      if (dialogs::LookOf(*entry, false).bold) shownInBold.push_back(entry->unit.Canonical());
    }
    Select(dialog, 0);  // a selection does not narrow what the button takes
    testing::Click(dialog, IDC_UPDATE_ALL_BOOTLOAD);
  });
  const DiscoverResult result = RunDiscoverDialog(nullptr, DiscoverMode::Serial, kIdentity);
  EXPECT_FALSE(offeredWithoutBold);
  EXPECT_TRUE(offeredWithBold);
  EXPECT_EQ(shownInBold,
            (std::vector<std::string>{"serial:COM7", "ip:169.254.3.4", "ip:127.0.161.52"}));
  EXPECT_EQ(Named(result.bootloadUnits), shownInBold);
  EXPECT_FALSE(result.chosen);
  EXPECT_TRUE(driver.Boxes().empty());
  // The rack window they are handed to reads back exactly those units from its box.
  OpenRackWindow(nullptr, EmbeddedPackage(), result.bootloadUnits);
  ASSERT_NE(RackWindowHandle(), nullptr);
  wchar_t box[1024] = {};
  GetDlgItemTextW(RackWindowHandle(), IDC_RACK_UNITS, box, 1024);
  std::vector<std::string> inBox;
  for (const RackUnitLine& line : ReadRackUnits(Narrow(box))) {
    EXPECT_TRUE(line.unit) << line.text << ": " << line.problem;
    if (line.unit) inBox.push_back(line.unit->Canonical());
  }
  EXPECT_EQ(inBox, shownInBold);
  DestroyWindow(RackWindowHandle());
}

// Two bootload-mode units selected one after the other: the scan may only come back once the
// second query has ended. The version worker is not running here, so the queries are numbered but
// never served, and the test posts their ends itself.
TEST(DiscoverDialog, SerialScanResumesOnlyAfterTheNewestQuery) {
  UseNoInterfaces();
  struct Case {
    DiscoverMode mode;
    std::vector<WPARAM> endedQueries;
    bool scanning;
  };
  const Case cases[] = {
      {DiscoverMode::Serial, {}, false},      {DiscoverMode::Serial, {1}, false},
      {DiscoverMode::Serial, {1, 2}, true},   {DiscoverMode::Serial, {2}, true},
      {DiscoverMode::Network, {1, 2}, false},
  };
  for (const Case& c : cases) {
    DialogDriver driver;
    bool scanningAtStart = false;
    bool scanning = !c.scanning;
    driver.OnNextDialog([&](HWND dialog) {
      scanningAtStart = dialogs::DiscoveryRunning();
      // Units that are never reached: serial ports that do not exist, or nothing on the network.
      if (c.mode == DiscoverMode::Serial) {
        ReportSerial(R"(\\.\COM97)", true);
        ReportSerial(R"(\\.\COM98)", true);
      } else {
        Report(dialog, WM_APP_NET_UNIT_FOUND, 1, static_cast<LPARAM>(Address("127.0.161.41")));
        Report(dialog, WM_APP_NET_UNIT_FOUND, 1, static_cast<LPARAM>(Address("127.0.161.42")));
      }
      Select(dialog, 0);
      Select(dialog, 1);
      for (WPARAM query : c.endedQueries) Report(dialog, WM_APP_VERSION_QUERY_DONE, query, 0);
      scanning = dialogs::DiscoveryRunning();
      testing::Click(dialog, IDCANCEL);
    });
    EXPECT_TRUE(NothingChosen(RunDiscoverDialog(nullptr, c.mode, kIdentity)));
    EXPECT_TRUE(scanningAtStart);
    EXPECT_EQ(scanning, c.scanning)
        << "mode " << static_cast<int>(c.mode) << ", queries ended " << c.endedQueries.size();
  }
}

// The first unit's answers are already queued when the second is chosen: its labels must not
// show them.
TEST(DiscoverDialog, VersionLabelsShowOnlyTheNewestQuery) {
  UseNoInterfaces();
  DialogDriver driver;
  std::wstring bootloader;
  std::wstring application;
  driver.OnNextDialog([&](HWND dialog) {
    Report(dialog, WM_APP_NET_UNIT_FOUND, kUnitInBootload,
           static_cast<LPARAM>(Address("127.0.161.43")));
    Report(dialog, WM_APP_NET_UNIT_FOUND, kUnitInBootload,
           static_cast<LPARAM>(Address("127.0.161.44")));
    Select(dialog, 0);
    PostMessageW(dialog, WM_APP_BOOTLOADER_VERSION, 0x0102, 0);
    PostMessageW(dialog, WM_APP_APPLICATION_VERSION, 0, 0x00030004);
    Select(dialog, 1);
    testing::PumpFor(50);
    bootloader = testing::ItemTextOf(dialog, IDC_BOOTLOADER_VERSION);
    application = testing::ItemTextOf(dialog, IDC_APPLICATION_VERSION);
    testing::Click(dialog, IDCANCEL);
  });
  RunDiscoverDialog(nullptr, DiscoverMode::Network, kIdentity);
  EXPECT_EQ(bootloader, L"Searching...");
  EXPECT_EQ(application, L"Searching...");
}

TEST(DiscoverDialog, AReplyFromAddressZeroIsNotListed) {
  UseNoInterfaces();
  DialogDriver driver;
  std::size_t listed = 1;
  driver.OnNextDialog([&](HWND dialog) {
    Report(dialog, WM_APP_NET_UNIT_FOUND, kUnitInBootload, 0);
    listed = Entries(dialog).size();
    testing::Click(dialog, IDCANCEL);
  });
  RunDiscoverDialog(nullptr, DiscoverMode::Network, kIdentity);
  EXPECT_EQ(listed, 0u);
}

TEST(DiscoverDialog, FindsTheSimulatedUnitAndShowsItsVersions) {
  NetworkDiscoveryOptions network;
  const std::uint32_t unit = Address(kBootloaderUnit);
  // One loopback interface holding only the unit's address: the request goes to it alone.
  network.readInterfaces = [unit] {
    return std::optional<InterfaceTable>(InterfaceTable{{unit, 0xFFFFFFFFu}});
  };
  dialogs::SetDiscoveryOptions(std::move(network), {});
  StartVersionWorker();

  DialogDriver driver;
  std::vector<std::wstring> found;
  std::vector<std::wstring> silent;
  bool listed = false;
  driver.OnNextDialog([&](HWND dialog) {
    listed = PumpUntil([&] { return IndexOf(dialog, unit) >= 0; }, kQueryWaitMs);
    if (!listed) return;
    EXPECT_TRUE(Entries(dialog)[0]->inBootload);
    Select(dialog, IndexOf(dialog, unit));
    EXPECT_EQ(testing::ItemTextOf(dialog, IDC_BOOTLOADER_VERSION), L"Searching...");
    PumpUntil(
        [&] { return testing::ItemTextOf(dialog, IDC_APPLICATION_VERSION) != L"Searching..."; },
        kQueryWaitMs);
    found = {testing::ItemTextOf(dialog, IDC_BOOTLOADER_VERSION),
             testing::ItemTextOf(dialog, IDC_APPLICATION_VERSION)};
    testing::SaveScreenshot(dialog, "discover-versions");

    Report(dialog, WM_APP_NET_UNIT_FOUND, kUnitInBootload,
           static_cast<LPARAM>(Address(kSilentAddress)));
    Select(dialog, IndexOf(dialog, Address(kSilentAddress)));
    PumpUntil(
        [&] { return testing::ItemTextOf(dialog, IDC_APPLICATION_VERSION) != L"Searching..."; },
        kQueryWaitMs);
    silent = {testing::ItemTextOf(dialog, IDC_BOOTLOADER_VERSION),
              testing::ItemTextOf(dialog, IDC_APPLICATION_VERSION)};
    Select(dialog, IndexOf(dialog, unit));
    testing::Click(dialog, IDOK);
  });
  const DiscoverResult result = RunDiscoverDialog(nullptr, DiscoverMode::Network, kIdentity);
  StopVersionWorker();
  ASSERT_TRUE(listed) << "the simulated unit answered discovery";
  EXPECT_EQ(found, (std::vector<std::wstring>{L"1.0", L"1.1"}));
  EXPECT_EQ(silent, (std::vector<std::wstring>{L"Not found", L"Not found"}));
  ASSERT_TRUE(result.chosen);
  EXPECT_EQ(result.chosen->Canonical(), UnitAddress::Network(unit).Canonical());
  EXPECT_TRUE(driver.Boxes().empty()) << "a bootload-mode unit needs no reminder";
}

}  // namespace
}  // namespace tessaline
