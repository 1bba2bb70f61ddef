// The Enter Bootload dialog: the PIN form, and entry against the simulated unit over TCP.
#include <gtest/gtest.h>
#include <winsock2.h>
#include <ws2tcpip.h>

#include <algorithm>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "discovery/version_worker.h"
#include "resource.h"
#include "support/recording_message_target.h"
#include "transport/unit_address.h"
#include "ui/dialogs/dialog_driver.h"
#include "ui/dialogs/dialogs.h"
#include "ui/discovery_messages.h"
#include "ui/messages.h"
#include "ui/settings.h"

namespace tessaline {
namespace {

using testing::Address;
using testing::Click;
using testing::DialogDriver;
using testing::kSilentAddress;
using testing::PumpFor;
using testing::Type;

// Units started by the fixture script (units.sh), all with installer PIN 4321.
constexpr char kEnteringUnit[] = "127.0.161.21";   // text port and bootloader
constexpr char kRefusingUnit[] = "127.0.161.22";   // text port only
constexpr char kRecordingUnit[] = "127.0.161.23";  // this test's own text port
constexpr std::uint16_t kParserPort = 4999;

std::wstring Field(HWND dialog) { return testing::ItemTextOf(dialog, IDC_PIN); }
bool OkEnabled(HWND dialog) { return IsWindowEnabled(GetDlgItem(dialog, IDOK)) != FALSE; }

TEST(EnterBootloadDialog, OffersOkOnlyForExactlyFourDigits) {
  struct Step {
    const wchar_t* typed;  // characters typed, or null when `set` replaces the text
    const wchar_t* set;
    bool okEnabled;
  };
  const std::vector<Step> steps = {
      {nullptr, nullptr, false},  // as opened
      {L"1", nullptr, false},     {L"2", nullptr, false},    {L"3", nullptr, false},
      {L"4", nullptr, true},      {L"5", nullptr, false},    {L"\b", nullptr, true},
      {nullptr, L"12a4", false},  // pasted: a letter among four characters
      {nullptr, L"0000", true},   {nullptr, L"1 34", false}, {nullptr, L"", false},
      {nullptr, L"98765", false}, {nullptr, L"9876", true},
  };
  DialogDriver driver;
  std::vector<std::wstring> failures;
  driver.OnNextDialog([&](HWND dialog) {
    HWND field = GetDlgItem(dialog, IDC_PIN);
    for (const Step& step : steps) {
      if (step.typed != nullptr) {
        for (const wchar_t* c = step.typed; *c != L'\0'; ++c) Type(field, *c);
      } else if (step.set != nullptr) {
        SetDlgItemTextW(dialog, IDC_PIN, step.set);
      }
      if (OkEnabled(dialog) != step.okEnabled) failures.push_back(L"\"" + Field(dialog) + L"\"");
    }
    SetDlgItemTextW(dialog, IDC_PIN, L"43");
    testing::SaveScreenshot(dialog, "enter-bootload");
    Click(dialog, IDCANCEL);
  });
  EXPECT_EQ(RunEnterBootloadDialog(nullptr, UnitAddress::Network(Address(kEnteringUnit))),
            kEnterBootloadCancelled);
  EXPECT_TRUE(failures.empty()) << "OK wrong for " << failures.size() << " field texts, first "
                                << (failures.empty()
                                        ? ""
                                        : std::string(failures[0].begin(), failures[0].end()));
  EXPECT_TRUE(driver.Boxes().empty());
}

// Enters the PIN and presses OK; returns the dialog's result.
INT_PTR EnterPin(DialogDriver& driver, const char* unitAddress, const wchar_t* pin,
                 bool* stayedOpen = nullptr) {
  driver.OnNextDialog([&](HWND dialog) {
    SetDlgItemTextW(dialog, IDC_PIN, pin);
    Click(dialog, IDOK);
    PumpFor(50);
    if (stayedOpen != nullptr) *stayedOpen = IsWindowVisible(dialog) != FALSE;
    if (IsWindowVisible(dialog)) {
      EXPECT_EQ(Field(dialog), pin) << "the PIN stays for another try";
      Click(dialog, IDCANCEL);
    }
  });
  return RunEnterBootloadDialog(nullptr, UnitAddress::Network(Address(unitAddress)));
}

TEST(EnterBootloadDialog, RightPinSwitchesTheUnitToItsBootloader) {
  DialogDriver driver;
  EXPECT_EQ(EnterPin(driver, kEnteringUnit, L"4321"), kEnterBootloadEnabled);
  ASSERT_EQ(driver.Boxes().size(), 1u);
  EXPECT_EQ(driver.Boxes()[0].text, L"Bootload Mode Enabled.");
  EXPECT_EQ(driver.Boxes()[0].caption, L"Bootload Mode");

  auto recorder = std::make_shared<RecordingMessageTarget>();
  VersionMessages messages(recorder);
  RunVersionQuery(UnitAddress::Network(Address(kEnteringUnit)), CurrentParserPort.load(), messages);
  const auto codes = recorder->Codes();
  EXPECT_NE(std::find(codes.begin(), codes.end(), WM_APP_BOOTLOADER_VERSION), codes.end())
      << "the unit answers as a bootloader now";
}

TEST(EnterBootloadDialog, WrongPinIsRefusedByTheUnit) {
  DialogDriver driver;
  EXPECT_EQ(EnterPin(driver, kRefusingUnit, L"1111"), kEnterBootloadRefused);
  ASSERT_EQ(driver.Boxes().size(), 1u);
  EXPECT_EQ(driver.Boxes()[0].text, L"Unable to enter Bootload Mode.");
  EXPECT_EQ(driver.Boxes()[0].caption, L"Bootload Mode");
}

// A text port on loopback that records every command and refuses the PIN, as a unit does.
class RecordingTextPort {
 public:
  explicit RecordingTextPort(const char* address) {
    WSADATA data;
    WSAStartup(MAKEWORD(2, 2), &data);
    listener_ = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_port = htons(kParserPort);
    local.sin_addr.s_addr = Address(address);
    bound_ = bind(listener_, reinterpret_cast<sockaddr*>(&local), sizeof local) == 0 &&
             listen(listener_, 1) == 0;
    if (bound_) server_ = std::thread([this] { Serve(); });
  }
  ~RecordingTextPort() {
    closesocket(listener_);
    if (server_.joinable()) server_.join();
    WSACleanup();
  }
  bool Listening() const { return bound_; }
  std::string Received() const {
    std::lock_guard lock(mutex_);
    return received_;
  }

 private:
  void Serve() {
    const SOCKET peer = accept(listener_, nullptr, nullptr);
    if (peer == INVALID_SOCKET) return;
    std::string pending;
    char buffer[256];
    int count;
    while ((count = recv(peer, buffer, sizeof buffer, 0)) > 0) {
      pending.append(buffer, static_cast<std::size_t>(count));
      std::size_t end;
      while ((end = pending.find("\r\n")) != std::string::npos) {
        const std::string command = pending.substr(0, end);
        pending.erase(0, end + 2);
        {
          std::lock_guard lock(mutex_);
          received_ += command;
        }
        const std::string reply = command == "<SY,BQ/>" ? "<sy,bq = ud/>" : "<sy,bu = er/>";
        send(peer, reply.data(), static_cast<int>(reply.size()), 0);
      }
    }
    closesocket(peer);
  }

  SOCKET listener_ = INVALID_SOCKET;
  bool bound_ = false;
  std::thread server_;
  mutable std::mutex mutex_;
  std::string received_;
};

TEST(EnterBootloadDialog, RefusedPinSendsNeitherEnableNorFinalCommand) {
  RecordingTextPort port(kRecordingUnit);
  ASSERT_TRUE(port.Listening());
  DialogDriver driver;
  EXPECT_EQ(EnterPin(driver, kRecordingUnit, L"2468"), kEnterBootloadRefused);
  EXPECT_EQ(port.Received(), "<SY,BQ/><SY,BU2468/>");
  ASSERT_EQ(driver.Boxes().size(), 1u);
  EXPECT_EQ(driver.Boxes()[0].text, L"Unable to enter Bootload Mode.");
  EXPECT_EQ(driver.Boxes()[0].cursorWhenShown, LoadCursorW(nullptr, IDC_WAIT))
      << "the search and the sequence block the window under the wait cursor";
  EXPECT_NE(GetCursor(), LoadCursorW(nullptr, IDC_WAIT)) << "and give the cursor back";
}

TEST(EnterBootloadDialog, StaysOpenSilentlyWhenNoUnitAnswers) {
  DialogDriver driver;
  bool stayedOpen = false;
  EXPECT_EQ(EnterPin(driver, kSilentAddress, L"4321", &stayedOpen), kEnterBootloadCancelled);
  EXPECT_TRUE(stayedOpen);
  EXPECT_TRUE(driver.Boxes().empty());
}

}  // namespace
}  // namespace tessaline
