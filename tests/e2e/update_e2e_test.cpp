// Whole updates of the simulated unit over UDP on loopback and over a pseudo-terminal.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <memory>
#include <string>
#include <thread>

#include "package/package.h"
#include "platform/clock.h"
#include "platform/module_resources.h"
#include "platform/sockets.h"
#include "shell/message_target.h"
#include "shell/messages.h"
#include "support/memory_package.h"
#include "transport/unit_address.h"
#include "ui/job_messages.h"
#include "unit-sim/simulated_unit.h"
#include "update/jobs.h"

namespace tessaline {
namespace {

using Codes = std::vector<std::uint8_t>;

constexpr std::uint32_t kPackageRecords = 15613;
constexpr std::uint32_t kPackageFlashBytes = 656911;
constexpr std::uint32_t kPackageBatches = 1952;
constexpr std::uint32_t kPackageChunks = 10265;
constexpr std::uint32_t kFullRange = kPackageRecords + kPackageFlashBytes + 10;  // 672534

// Real time, but the job's pauses cost nothing: the suite stays fast.
class NoPauseClock final : public platform::Clock {
 public:
  std::uint32_t Now() override { return platform::TickCount(); }
  void Sleep(std::uint32_t) override {}
};

std::string ResourceText(std::string_view type, std::string_view name) {
  const auto bytes = platform::FindModuleResource(type, name);
  if (!bytes) return {};
  return std::string(reinterpret_cast<const char*>(bytes->data()), bytes->size());
}

std::vector<std::uint8_t> ResourceBytes(std::string_view type, std::string_view name) {
  const auto bytes = platform::FindModuleResource(type, name);
  if (!bytes) return {};
  return std::vector<std::uint8_t>(bytes->begin(), bytes->end());
}

std::uint32_t Address(const std::string& dotted) {
  unsigned a = 0, b = 0, c = 0, d = 0;
  std::sscanf(dotted.c_str(), "%u.%u.%u.%u", &a, &b, &c, &d);
  return platform::Ipv4FromOctets(static_cast<std::uint8_t>(a), static_cast<std::uint8_t>(b),
                                  static_cast<std::uint8_t>(c), static_cast<std::uint8_t>(d));
}

Codes Join(std::initializer_list<Codes> parts) {
  Codes all;
  for (const auto& p : parts) all.insert(all.end(), p.begin(), p.end());
  return all;
}
Codes Times(std::uint8_t code, std::size_t n) { return Codes(n, code); }

Codes FullUpdateOrder() {
  return Join({{0x01, 0x89, 0x82, 0x8E},
               Times(0x83, kPackageBatches),
               {0x8F, 0x85},
               Times(0x86, kPackageChunks),
               {0x87, 0x8C, 0x84}});
}

enum class JobKind { Update, ExitBootload };

struct RunRecord {
  JobOutcome outcome;
  std::vector<WorkerMessage> messages;
  std::uint32_t framesSent = 0;
  std::uint32_t framesReceived = 0;

  std::optional<std::uint64_t> Range() const {
    for (const auto& m : messages) {
      if (m.code == WM_APP_PROGRESS_RANGE) return m.lParam;
    }
    return std::nullopt;
  }
  std::optional<std::uint64_t> LastPosition() const {
    std::optional<std::uint64_t> last;
    for (const auto& m : messages) {
      if (m.code == WM_APP_PROGRESS_POS) last = m.wParam;
    }
    return last;
  }
  std::uint32_t LastCode() const { return messages.empty() ? 0 : messages.back().code; }
};

class UpdateEndToEnd : public ::testing::Test {
 protected:
  static std::unique_ptr<sim::SimulatedUnit> StartUnit(sim::UnitConfig config) {
    auto unit = std::make_unique<sim::SimulatedUnit>(std::move(config));
    std::string error;
    EXPECT_TRUE(unit->Start(&error)) << error;
    return unit;
  }
  static sim::UnitConfig UdpUnit(const std::string& address) {
    sim::UnitConfig config;
    config.udpAddress = address;
    return config;
  }

  // One job on the calling thread, reporting through the desktop program's messages.
  static RunRecord Run(JobKind kind, const UnitAddress& unit, bool firmware, bool factoryDefaults,
                       const Package& package = *EmbeddedPackage()) {
    NoPauseClock clock;
    RunRecord record{};
    JobOptions options;
    options.trace = [&record](TraceDirection direction, std::span<const std::uint8_t>,
                              std::uint32_t) {
      ++(direction == TraceDirection::Sent ? record.framesSent : record.framesReceived);
    };
    options.clock = &clock;
    options.firmware = firmware;
    options.factoryDefaults = factoryDefaults;
    auto window = std::make_shared<RecordingMessageTarget>();
    JobMessages messages(window);
    record.outcome = kind == JobKind::Update
                         ? RunUpdateJob(unit, package, options, messages).outcome
                         : RunExitBootloadJob(unit, options, messages).outcome;
    record.messages = window->Messages();
    return record;
  }

  static void ExpectUnitHoldsThePackage(const sim::SimulatedUnit& unit) {
    const auto expected = sim::DecodeIntelHex(ResourceText("HEX", "APPLICATION_STM32_ADAU1452"));
    ASSERT_TRUE(expected.has_value());
    EXPECT_EQ(unit.ApplicationBase(), expected->base);
    EXPECT_TRUE(unit.ApplicationMemory() == expected->bytes) << "application memory differs";
    EXPECT_TRUE(unit.FlashData() == ResourceBytes("BIN", "FLASH_STM32_ADAU1452"))
        << "flash data differs";
    EXPECT_TRUE(unit.FactoryDefaultsRestored());
    EXPECT_TRUE(unit.UpdateFinished());
  }

  platform::SocketLibrary sockets_;
};

TEST_F(UpdateEndToEnd, FullUpdateOverUdpWritesThePackageByteForByte) {
  auto unit = StartUnit(UdpUnit("127.0.10.1"));
  const auto result = Run(JobKind::Update, UnitAddress::Network(Address("127.0.10.1")), true, true);
  EXPECT_EQ(result.outcome, JobOutcome::Succeeded);
  EXPECT_EQ(result.LastCode(), WM_APP_UPDATE_SUCCEEDED);
  EXPECT_EQ(result.Range(), kFullRange);
  EXPECT_EQ(result.LastPosition(), kFullRange);
  EXPECT_TRUE(unit->CommandOrder() == FullUpdateOrder()) << "wire order differs";
  ExpectUnitHoldsThePackage(*unit);
}

TEST_F(UpdateEndToEnd, FullUpdateOverAPseudoTerminal) {
  sim::UnitConfig config;
  config.serial = true;  // unpaced: the paced run is the benchmark's
  auto unit = StartUnit(config);
  const auto result = Run(JobKind::Update, UnitAddress::Serial(unit->SerialPath()), true, true);
  EXPECT_EQ(result.outcome, JobOutcome::Succeeded);
  EXPECT_EQ(result.LastPosition(), kFullRange);
  EXPECT_TRUE(unit->CommandOrder() == FullUpdateOrder()) << "wire order differs";
  ExpectUnitHoldsThePackage(*unit);
}

TEST_F(UpdateEndToEnd, TheOptionsChooseWhatReachesTheUnit) {
  struct Case {
    const char* address;
    bool firmware;
    bool factoryDefaults;
    Codes order;
    std::uint64_t range;
  };
  const Case cases[] = {
      {"127.0.10.2", false, false, {0x01, 0x89, 0x84}, 0},
      {"127.0.10.3", false, true, {0x01, 0x89, 0x8C, 0x84}, 10},
  };
  for (const auto& c : cases) {
    auto unit = StartUnit(UdpUnit(c.address));
    const auto result = Run(JobKind::Update, UnitAddress::Network(Address(c.address)), c.firmware,
                            c.factoryDefaults);
    EXPECT_EQ(result.outcome, JobOutcome::Succeeded) << c.address;
    EXPECT_EQ(unit->CommandOrder(), c.order) << c.address;
    EXPECT_EQ(result.Range(), c.range) << c.address;
    EXPECT_TRUE(unit->ApplicationMemory().empty()) << c.address;
    EXPECT_TRUE(unit->FlashData().empty()) << c.address;
    EXPECT_EQ(unit->FactoryDefaultsRestored(), c.factoryDefaults) << c.address;
  }
}

TEST_F(UpdateEndToEnd, UnitsThePackageCannotServeAreRefusedWithNothingErased) {
  struct Case {
    const char* address;
    const char* mcu;
    std::uint8_t blMajor;
    std::uint8_t blMinor;
    Codes order;
  };
  const Case cases[] = {
      {"127.0.10.4", "GD32", 1, 0, {0x01, 0x89}},
      {"127.0.10.5", "STM32", 4, 1, {0x01}},
  };
  for (const auto& c : cases) {
    auto config = UdpUnit(c.address);
    config.mcuFamily = c.mcu;
    config.bootloaderMajor = c.blMajor;
    config.bootloaderMinor = c.blMinor;
    auto unit = StartUnit(config);
    const auto result = Run(JobKind::Update, UnitAddress::Network(Address(c.address)), true, true);
    EXPECT_EQ(result.outcome, JobOutcome::WrongResponse) << c.address;
    EXPECT_EQ(result.LastCode(), WM_APP_WRONG_RESPONSE) << c.address;
    EXPECT_EQ(unit->CommandOrder(), c.order) << c.address;
    EXPECT_EQ(unit->ApplicationVersion(), 0x00010001u) << "application untouched";
  }
}

TEST_F(UpdateEndToEnd, ASilentUnitGetsFiveIdentityRequestsAndNothingElse) {
  auto config = UdpUnit("127.0.10.6");
  config.mode = sim::UnitMode::Application;  // its bootloader does not answer
  auto unit = StartUnit(config);
  const auto result = Run(JobKind::Update, UnitAddress::Network(Address("127.0.10.6")), true, true);
  EXPECT_EQ(result.outcome, JobOutcome::NoResponse);
  EXPECT_EQ(result.LastCode(), WM_APP_NO_RESPONSE);
  EXPECT_EQ(result.framesSent, 5u);
  EXPECT_EQ(result.framesReceived, 0u);
}

TEST_F(UpdateEndToEnd, ARefusedBatchFailsTheUpdateAndNothingFollowsIt) {
  auto config = UdpUnit("127.0.10.7");
  config.faults.refuseCommand = 0x03;
  config.faults.refuseNth = 100;
  auto unit = StartUnit(config);
  const auto result = Run(JobKind::Update, UnitAddress::Network(Address("127.0.10.7")), true, true);
  EXPECT_EQ(result.outcome, JobOutcome::UpdateFailed);
  EXPECT_EQ(result.LastCode(), WM_APP_UPDATE_FAILED);
  const auto log = unit->RequestLog();
  ASSERT_FALSE(log.empty());
  EXPECT_EQ(log.back().command, 0x83) << "the refused batch is the last request";
  for (const auto& entry : log) {
    EXPECT_NE(entry.command, 0x85);
    EXPECT_NE(entry.command, 0x8C);
    EXPECT_NE(entry.command, 0x84);
  }
  EXPECT_FALSE(unit->UpdateFinished());
}

TEST_F(UpdateEndToEnd, AUnitFallingSilentMidTransferEndsInFailure) {
  auto config = UdpUnit("127.0.10.8");
  config.faults.silentAfter = 300;
  auto unit = StartUnit(config);
  const auto result = Run(JobKind::Update, UnitAddress::Network(Address("127.0.10.8")), true, true);
  EXPECT_EQ(result.outcome, JobOutcome::UpdateFailed);
  EXPECT_EQ(result.LastCode(), WM_APP_UPDATE_FAILED);
  EXPECT_FALSE(unit->UpdateFinished());
}

TEST_F(UpdateEndToEnd, ExitBootloadSendsTheSequencedExitCommand) {
  auto unit = StartUnit(UdpUnit("127.0.10.9"));
  const auto result =
      Run(JobKind::ExitBootload, UnitAddress::Network(Address("127.0.10.9")), true, true);
  EXPECT_EQ(result.outcome, JobOutcome::BootloadExited);
  EXPECT_EQ(result.LastCode(), WM_APP_BOOTLOAD_EXITED);
  EXPECT_EQ(unit->CommandOrder(), (Codes{0x01, 0x8B}));
}

TEST_F(UpdateEndToEnd, LossAndCorruptionBothWaysStillEndInAnExactUpdate) {
  // A cut-down package (every resend costs a 1 s attempt time-out over UDP): the first 400
  // records of the application and 4 KiB of flash data.
  const std::string fullText = ResourceText("HEX", "APPLICATION_STM32_ADAU1452");
  std::string text;
  std::size_t at = 0;
  for (int line = 0; line < 400 && at < fullText.size(); ++line) {
    const auto end = fullText.find('\n', at);
    text += fullText.substr(at, end - at + 1);
    at = end + 1;
  }
  text += ":00000001FF\n";
  const auto flash = ResourceBytes("BIN", "FLASH_STM32_ADAU1452");
  const std::vector<std::uint8_t> flashPart(flash.begin(), flash.begin() + 4096);
  auto config = UdpUnit("127.0.10.10");
  config.faults.seed = 20261208;
  config.faults.dropRequests = 0.02;
  config.faults.corruptReplies = 0.02;
  auto unit = StartUnit(config);
  testing::MemoryPackageSource source;
  source.Add("HEX", "APPLICATION_STM32_ADAU1452", text)
      .Add("BIN", "FLASH_STM32_ADAU1452", std::string(flashPart.begin(), flashPart.end()));
  const auto result = Run(JobKind::Update, UnitAddress::Network(Address("127.0.10.10")), true, true,
                          *Package::Load(source));

  EXPECT_EQ(result.outcome, JobOutcome::Succeeded);
  const auto faults = unit->Faults();
  EXPECT_GT(faults.dropped + faults.corrupted, 0u) << "the seed injected no fault";
  const auto expected = sim::DecodeIntelHex(text);
  ASSERT_TRUE(expected.has_value());
  EXPECT_EQ(unit->ApplicationBase(), expected->base);
  EXPECT_TRUE(unit->ApplicationMemory() == expected->bytes) << "application memory differs";
  EXPECT_TRUE(unit->FlashData() == flashPart) << "flash data differs";
  EXPECT_TRUE(unit->UpdateFinished());
}

TEST_F(UpdateEndToEnd, TwoUnitsAreUpdatedAtOnceInOneProcess) {
  // One unit over UDP and one over a pseudo-terminal, each job on its own thread with its own
  // link, images and observer: both end with exactly the package.
  auto network = StartUnit(UdpUnit("127.0.10.11"));
  sim::UnitConfig serialConfig;
  serialConfig.serial = true;
  auto serial = StartUnit(serialConfig);
  const auto package = EmbeddedPackage();
  RunRecord overUdp{};
  RunRecord overSerial{};
  {
    std::jthread first([&] {
      overUdp =
          Run(JobKind::Update, UnitAddress::Network(Address("127.0.10.11")), true, true, *package);
    });
    std::jthread second([&] {
      overSerial =
          Run(JobKind::Update, UnitAddress::Serial(serial->SerialPath()), true, true, *package);
    });
  }
  for (const auto* record : {&overUdp, &overSerial}) {
    EXPECT_EQ(record->outcome, JobOutcome::Succeeded);
    EXPECT_EQ(record->LastCode(), WM_APP_UPDATE_SUCCEEDED);
    EXPECT_EQ(record->LastPosition(), kFullRange);
  }
  for (const auto* unit : {network.get(), serial.get()}) {
    EXPECT_TRUE(unit->CommandOrder() == FullUpdateOrder()) << "wire order differs";
    ExpectUnitHoldsThePackage(*unit);
  }
}

}  // namespace
}  // namespace tessaline
