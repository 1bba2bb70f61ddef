// The desktop program's discovery and version query adapters: typed findings as window messages.
#include "ui/discovery_messages.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "discovery/text_protocol.h"
#include "support/message_names.h"
#include "support/recording_message_target.h"
#include "ui/messages.h"

namespace tessaline {
namespace {

// The messages a window receives, as (code, wParam, lParam).
struct Posted {
  std::uint32_t code;
  std::uint64_t wParam;
  std::uint64_t lParam;
  bool operator==(const Posted&) const = default;
};

void PrintTo(const Posted& p, std::ostream* os) {
  *os << MessageName(p.code) << "(" << p.wParam << ", " << p.lParam << ")";
}

std::vector<Posted> Received(const RecordingMessageTarget& window) {
  std::vector<Posted> posted;
  for (const auto& m : window.Messages()) posted.push_back({m.code, m.wParam, m.lParam});
  return posted;
}

TEST(VersionMessages, EachQueryFindingBecomesTheMessagesTheWindowReads) {
  // The query's event orders: a bootloader that answered; a silent one and what the text port
  // then said (or nothing).
  const std::vector<Posted> silence = {{WM_APP_ENABLE_EXIT_BOOTLOAD, 0, 0},
                                       {WM_APP_NO_BOOTLOADER, 0, 0},
                                       {WM_APP_APPLICATION_VERSION, 0, kNoApplicationVersion},
                                       {WM_APP_ENABLE_ENTER_BOOTLOAD, 0, 0},
                                       {WM_APP_ENABLE_EXIT_BOOTLOAD, 0, 0}};
  auto then = [&](std::vector<Posted> tail) {
    auto all = silence;
    all.insert(all.end(), tail.begin(), tail.end());
    all.push_back({WM_APP_VERSION_QUERY_DONE, 7, 0});
    return all;
  };
  struct Case {
    const char* name;
    std::function<void(VersionListener&)> events;
    std::vector<Posted> posted;
  };
  const std::vector<Case> cases = {
      {"bootloader 1.3, application 2.5",
       [](VersionListener& l) {
         l.QueryBegan();
         l.BootloaderVersion(0x0103);
         l.ApplicationVersion(0x00020005);
         l.QueryEnded();
       },
       {{WM_APP_ENABLE_EXIT_BOOTLOAD, 0, 0},
        {WM_APP_BOOTLOADER_VERSION, 0x0103, 0},
        {WM_APP_ENABLE_ENTER_BOOTLOAD, 0, 0},
        {WM_APP_ENABLE_EXIT_BOOTLOAD, 1, 0},
        {WM_APP_APPLICATION_VERSION, 0, 0x00020005},
        {WM_APP_VERSION_QUERY_DONE, 7, 0}}},
      {"bootload disabled",
       [](VersionListener& l) {
         l.QueryBegan();
         l.NoBootloader();
         l.BootloadState(kBootloadDisabledLetter);
         l.QueryEnded();
       },
       then({{WM_APP_ENABLE_ENTER_BOOTLOAD, 1, 0}, {WM_APP_ENABLE_EXIT_BOOTLOAD, 0, 0}})},
      {"bootload enabled",
       [](VersionListener& l) {
         l.QueryBegan();
         l.NoBootloader();
         l.BootloadState(kBootloadEnabledLetter);
         l.QueryEnded();
       },
       then({{WM_APP_ENABLE_ENTER_BOOTLOAD, 0, 0}, {WM_APP_ENABLE_EXIT_BOOTLOAD, 1, 0}})},
      {"silent unit",
       [](VersionListener& l) {
         l.QueryBegan();
         l.NoBootloader();
         l.QueryEnded();
       },
       then({})},
  };
  for (const auto& c : cases) {
    auto window = std::make_shared<RecordingMessageTarget>();
    VersionMessages messages(window, 7);
    c.events(messages);
    EXPECT_EQ(Received(*window), c.posted) << c.name;
  }
}

TEST(VersionMessages, NothingArrivesAfterDetach) {
  auto window = std::make_shared<RecordingMessageTarget>();
  VersionMessages messages(window);
  messages.QueryBegan();
  messages.Detach();
  messages.BootloaderVersion(0x0103);
  messages.QueryEnded();
  EXPECT_EQ(Received(*window), (std::vector<Posted>{{WM_APP_ENABLE_EXIT_BOOTLOAD, 0, 0}}));
}

TEST(DiscoveryMessages, EachUnitFoundBecomesItsMessage) {
  auto window = std::make_shared<RecordingMessageTarget>();
  DiscoveryMessages messages(window);
  messages.NetworkUnitFound(0x0200000A, kUnitInBootload | kUnitLinkLocal);
  messages.SerialUnitFound(UnitAddress::Serial("/dev/ttyUSB3"), true);
  messages.SerialUnitFound(UnitAddress::Serial("/dev/ttyUSB4"), false);
  EXPECT_EQ(
      Received(*window),
      (std::vector<Posted>{{WM_APP_NET_UNIT_FOUND, kUnitInBootload | kUnitLinkLocal, 0x0200000A},
                           {WM_APP_COM_UNIT_FOUND, 1, 0},
                           {WM_APP_COM_UNIT_FOUND, 0, 0}}));
  // A serial unit travels as its device, never as a place in the port table.
  std::vector<std::string> devices;
  for (const auto& m : window->Messages()) devices.push_back(m.text);
  EXPECT_EQ(devices, (std::vector<std::string>{"", "/dev/ttyUSB3", "/dev/ttyUSB4"}));
}

}  // namespace
}  // namespace tessaline
