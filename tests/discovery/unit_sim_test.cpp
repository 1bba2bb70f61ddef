// Text protocol, version worker and serial discovery against the simulated unit (loopback, ptys).
#include <gtest/gtest.h>

#include <chrono>
#include <map>
#include <set>
#include <thread>

#include "discovery/discovery_thread.h"
#include "discovery/text_protocol.h"
#include "discovery/version_worker.h"
#include "platform/sockets.h"
#include "support/manual_clock.h"
#include "support/recording_listeners.h"
#include "transport/com_port_table.h"
#include "transport/com_transport.h"
#include "unit-sim/simulated_unit.h"

namespace tessaline {
namespace {

using sim::SimulatedUnit;
using sim::UnitConfig;
using sim::UnitMode;
using testing::ManualClock;
using testing::RecordingDiscoveryListener;
using testing::RecordingVersionListener;
using testing::VersionEvent;

constexpr char kIdentity[] = "Brume Tessaline";

// Runs the link's resend schedule 20 times faster, so a silent port's probe ends in about a second.
class FastClock final : public platform::Clock {
 public:
  std::uint32_t Now() override { return platform::TickCount() * 20u; }
  void Sleep(std::uint32_t milliseconds) override { platform::SleepMs(milliseconds / 20u); }
};

std::unique_ptr<SimulatedUnit> StartUnit(UnitConfig config) {
  auto unit = std::make_unique<SimulatedUnit>(std::move(config));
  std::string error;
  EXPECT_TRUE(unit->Start(&error)) << error;
  return unit;
}

UnitConfig TextUnit(const std::string& tcpAddress, bool bootloadEnabled) {
  UnitConfig config;
  config.mode = UnitMode::Application;
  config.tcpText = tcpAddress + ":0";
  config.bootloadEnabled = bootloadEnabled;
  return config;
}

UnitConfig SerialTextUnit(std::uint32_t rate, bool bootloadEnabled = false) {
  UnitConfig config;
  config.mode = UnitMode::Application;
  config.serial = true;
  config.appBaud = rate;
  config.bootloadEnabled = bootloadEnabled;
  return config;
}

std::uint32_t Ip(std::uint8_t a, std::uint8_t b, std::uint8_t c, std::uint8_t d) {
  return platform::Ipv4FromOctets(a, b, c, d);
}

TEST(TextPortSearch, AsksOverTcpAtTheParserPort) {
  for (bool enabled : {true, false}) {
    auto unit = StartUnit(TextUnit("127.0.77.10", enabled));
    const auto named = UnitAddress::Network(Ip(127, 0, 77, 10));
    std::string reply;
    const auto result =
        TextPortSearch(named, unit->TextPort(), 250, [&](Transport& text, const std::string& r) {
          EXPECT_EQ(text.GetKind(), kKindTcp);
          EXPECT_TRUE(text.IsOpen());
          reply = r;
        });
    EXPECT_TRUE(result.answered);
    EXPECT_EQ(BootloadStateLetter(reply), enabled ? 'e' : 'd');
    EXPECT_EQ(unit->TextLog(), std::vector<std::string>{"<SY,BQ/>"});
  }
}

TEST(TextPortSearch, FindsNothingWhereNoTextPortListens) {
  auto unit = StartUnit(TextUnit("127.0.77.11", true));
  const auto elsewhere = UnitAddress::Network(Ip(127, 0, 77, 12));
  bool ran = false;
  const auto result = TextPortSearch(elsewhere, unit->TextPort(), 250,
                                     [&](Transport&, const std::string&) { ran = true; });
  EXPECT_FALSE(result.answered);
  EXPECT_FALSE(ran);
  EXPECT_TRUE(result.ratesTried.empty());
  EXPECT_TRUE(unit->TextLog().empty());
}

TEST(TextPortSearch, TriesTheRatesInOrderUpToTheOneThatAnswers) {
  auto unit = StartUnit(SerialTextUnit(19200, true));
  const auto named = UnitAddress::Serial(unit->SerialPath());
  int actions = 0;
  const auto result =
      TextPortSearch(named, 0, 1000, [&](Transport& text, const std::string& reply) {
        ++actions;
        EXPECT_EQ(BootloadStateLetter(reply), 'e');
        EXPECT_EQ(dynamic_cast<COMTransport&>(text).BaudRate(), 19200u);
      });
  EXPECT_TRUE(result.answered);
  EXPECT_EQ(actions, 1);
  EXPECT_EQ(result.ratesTried, (std::vector<std::uint32_t>{4800, 9600, 19200}));
  // Queries at the wrong rates are noise to the unit: it understood exactly one.
  EXPECT_EQ(unit->TextLog(), std::vector<std::string>{"<SY,BQ/>"});
}

struct EnterCase {
  const char* name;
  std::string pin;
  EnterBootloadOutcome outcome;
  std::vector<std::string> textLog;
};

TEST(EnterBootloadMode, SendsThePinEnableAndFinalCommandsOnlyWhileAccepted) {
  const std::vector<EnterCase> cases = {
      {"right PIN",
       "1234",
       EnterBootloadOutcome::Entered,
       {"<SY,BQ/>", "<SY,BU1234/>", "<SY,BE/>", "<SY,BR/>"}},
      {"wrong PIN", "9999", EnterBootloadOutcome::Refused, {"<SY,BQ/>", "<SY,BU9999/>"}},
  };
  for (const auto& c : cases) {
    auto unit = StartUnit(TextUnit("127.0.77.13", false));
    ManualClock clock;
    std::vector<EnterBootloadOutcome> told;
    EXPECT_EQ(EnterBootloadMode(
                  UnitAddress::Network(Ip(127, 0, 77, 13)), unit->TextPort(), c.pin,
                  [&](EnterBootloadOutcome o) { told.push_back(o); }, clock)
                  .outcome,
              c.outcome)
        << c.name;
    EXPECT_EQ(unit->TextLog(), c.textLog) << c.name;
    const bool entered = c.outcome == EnterBootloadOutcome::Entered;
    EXPECT_EQ(told, std::vector<EnterBootloadOutcome>{c.outcome}) << c.name;
    EXPECT_EQ(clock.Sleeps().size(), entered ? 1u : 0u) << c.name;
    std::this_thread::sleep_for(std::chrono::milliseconds(400));  // the unit's switch delay
    EXPECT_EQ(unit->Mode(), entered ? UnitMode::Bootloader : UnitMode::Application) << c.name;
  }
}

TEST(EnterBootloadMode, RunsTheWholeSequenceAtTheRateThatAnswered) {
  auto unit = StartUnit(SerialTextUnit(38400));
  ManualClock clock;
  EXPECT_EQ(
      EnterBootloadMode(UnitAddress::Serial(unit->SerialPath()), 0, "1234", {}, clock).outcome,
      EnterBootloadOutcome::Entered);
  // Every command the unit understood arrived at 38400: no other rate reaches it.
  EXPECT_EQ(unit->TextLog(),
            (std::vector<std::string>{"<SY,BQ/>", "<SY,BU1234/>", "<SY,BE/>", "<SY,BR/>"}));
  EXPECT_EQ(clock.Sleeps(), std::vector<std::uint32_t>{5000});
}

TEST(EnterBootloadMode, LeavesASilentUnitWithoutAnyAnnouncement) {
  ManualClock clock;
  bool told = false;
  EXPECT_EQ(EnterBootloadMode(
                UnitAddress::Network(Ip(127, 0, 77, 14)), 4999, "1234",
                [&](EnterBootloadOutcome) { told = true; }, clock)
                .outcome,
            EnterBootloadOutcome::NoUnitAnswered);
  EXPECT_FALSE(told);
  EXPECT_TRUE(clock.Sleeps().empty());
}

// The query through the worker: what its listener is told, in order.
std::vector<VersionEvent> QueryThroughTheWorker(const UnitAddress& unit,
                                                std::uint32_t parserPort = 0) {
  VersionQueue queue;
  queue.StartVersionWorker();
  auto listener = std::make_shared<RecordingVersionListener>();
  queue.SubmitVersionQuery({unit, parserPort, listener});
  EXPECT_TRUE(listener->WaitForEnd(30000));
  queue.StopVersionWorker();
  return listener->Events();
}

TEST(VersionWorker, ReportsABootloaderAndItsApplicationVersion) {
  UnitConfig config;
  config.udpAddress = "127.0.77.20";
  config.bootloaderMajor = 1;
  config.bootloaderMinor = 3;
  config.applicationVersion = 0x00020005;
  auto unit = StartUnit(config);
  EXPECT_EQ(
      QueryThroughTheWorker(UnitAddress::Network(Ip(127, 0, 77, 20))),
      (std::vector<VersionEvent>{VersionEvent::Began(), VersionEvent::Bootloader(0x0103),
                                 VersionEvent::Application(0x00020005), VersionEvent::Ended()}));
  EXPECT_EQ(unit->CommandOrder(), (std::vector<std::uint8_t>{0x01, 0x09}));
}

TEST(VersionWorker, ReportsABootloaderOnASerialLine) {
  UnitConfig config;
  config.serial = true;
  config.bootloaderMinor = 2;
  auto unit = StartUnit(config);
  EXPECT_EQ(QueryThroughTheWorker(UnitAddress::Serial(unit->SerialPath())),
            (std::vector<VersionEvent>{VersionEvent::Began(), VersionEvent::Bootloader(0x0102),
                                       VersionEvent::Application(config.applicationVersion),
                                       VersionEvent::Ended()}));
}

struct RunningUnitCase {
  const char* name;
  bool unitAnswers;
  bool bootloadEnabled;
  std::vector<VersionEvent> tail;  // after the bootloader's silence is reported
};

TEST(VersionWorker, AsksTheTextPortWhenTheBootloaderIsSilent) {
  const std::vector<VersionEvent> silence = {VersionEvent::Began(), VersionEvent::Silent()};
  const std::vector<RunningUnitCase> cases = {
      {"bootload disabled", true, false, {VersionEvent::State(kBootloadDisabledLetter)}},
      {"bootload enabled", true, true, {VersionEvent::State(kBootloadEnabledLetter)}},
      {"silent unit", false, false, {}},
  };
  for (const auto& c : cases) {
    std::unique_ptr<SimulatedUnit> unit;
    std::uint32_t parserPort = 4999;
    if (c.unitAnswers) {
      unit = StartUnit(TextUnit("127.0.77.21", c.bootloadEnabled));
      parserPort = unit->TextPort();
    }
    auto expected = silence;
    expected.insert(expected.end(), c.tail.begin(), c.tail.end());
    expected.push_back(VersionEvent::Ended());
    EXPECT_EQ(QueryThroughTheWorker(UnitAddress::Network(Ip(127, 0, 77, 21)), parserPort), expected)
        << c.name;
  }
}

TEST(SerialDiscovery, ReportsABootloaderAndARunningUnitOnTwoPorts) {
  UnitConfig bootloaderConfig;
  bootloaderConfig.serial = true;
  auto bootloader = StartUnit(bootloaderConfig);
  auto running = StartUnit(SerialTextUnit(9600, false));
  ComPortTable().ScanComPorts({bootloader->SerialPath(), running->SerialPath()});
  ASSERT_EQ(ComPortTable().Count(), 2u);

  FastClock fastClock;
  SerialDiscoveryOptions serial;
  serial.linkClock = &fastClock;
  auto found = std::make_shared<RecordingDiscoveryListener>();
  {
    DiscoveryThread discovery(kIdentity, NetworkDiscoveryOptions{}, serial);
    discovery.StartDiscovery(found, DiscoverMode::Serial);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    auto portsSeen = [&] {
      std::set<std::string> ports;
      for (const auto& unit : found->SerialUnits()) ports.insert(unit.unit.Device());
      return ports.size();
    };
    while (portsSeen() < 2 && std::chrono::steady_clock::now() < deadline) {
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    discovery.StopDiscovery();
    EXPECT_FALSE(discovery.Running());
  }
  ComPortTable().ScanComPorts(std::vector<std::string>{});

  // Ports are reported in every pass; what counts is each port's first report.
  std::map<std::string, bool> modeByPort;
  for (const auto& unit : found->SerialUnits()) {
    EXPECT_TRUE(unit.unit.IsSerial());
    const auto [entry, first] = modeByPort.emplace(unit.unit.Device(), unit.inBootload);
    EXPECT_EQ(entry->second, unit.inBootload)
        << "a repeat changed the mode of port " << unit.unit.Device();
  }
  EXPECT_TRUE(found->NetworkUnits().empty());
  EXPECT_EQ(modeByPort, (std::map<std::string, bool>{{bootloader->SerialPath(), true},
                                                     {running->SerialPath(), false}}));
  // The bootloader answered the identity probe, so it never got a text query.
  ASSERT_FALSE(bootloader->RequestLog().empty());
  EXPECT_EQ(bootloader->RequestLog().front().command, 0x0D);
  EXPECT_TRUE(bootloader->TextLog().empty());
  ASSERT_FALSE(running->TextLog().empty());
  EXPECT_EQ(running->TextLog().front(), "<SY,BQ/>");
}

}  // namespace
}  // namespace tessaline
