// Whole updates of the simulated unit over UDP on loopback and over a pseudo-terminal.
#include "e2e/e2e_support.h"
#include "update/running_to_running.h"

namespace tessaline::e2e {
namespace {

TEST_F(UpdateEndToEnd, FullUpdateOverUdpWritesThePackageByteForByte) {
  auto unit = StartUnit(UdpUnit("127.0.10.1"));
  const auto result = Run(JobKind::Update, UnitAddress::Network(UnitIp("127.0.10.1")), true, true);
  EXPECT_EQ(result.outcome, JobOutcome::Succeeded);
  EXPECT_TRUE(result.toldOnce);
  EXPECT_EQ(result.plan, kFullRange);
  EXPECT_EQ(result.result.applicationVersionBefore, 0x00010001u);
  EXPECT_EQ(result.result.applicationVersionAfter, 0x00010002u) << "the package's V1.2, read back";
  EXPECT_EQ(result.lastPosition, kFullRange);
  EXPECT_TRUE(unit->CommandOrder() == FullUpdateOrder()) << "wire order differs";
  ExpectUnitHoldsThePackage(*unit);
}

TEST_F(UpdateEndToEnd, FullUpdateOverAPseudoTerminal) {
  sim::UnitConfig config;
  config.serial = true;  // unpaced: the paced run is the benchmark's
  auto unit = StartUnit(config);
  const auto result = Run(JobKind::Update, UnitAddress::Serial(unit->SerialPath()), true, true);
  EXPECT_EQ(result.outcome, JobOutcome::Succeeded);
  EXPECT_EQ(result.lastPosition, kFullRange);
  EXPECT_TRUE(unit->CommandOrder() == FullUpdateOrder()) << "wire order differs";
  ExpectUnitHoldsThePackage(*unit);
}

TEST_F(UpdateEndToEnd, TheOptionsChooseWhatReachesTheUnit) {
  struct Case {
    const char* address;
    bool firmware;
    bool factoryDefaults;
    Codes order;
    std::uint32_t range;
  };
  // Without firmware nothing is read back.
  const Case cases[] = {
      {"127.0.10.2", false, false, {0x01, 0x89, 0x84}, 0},
      {"127.0.10.3", false, true, {0x01, 0x89, 0x8C, 0x84}, 10},
  };
  for (const auto& c : cases) {
    auto unit = StartUnit(UdpUnit(c.address));
    const auto result = Run(JobKind::Update, UnitAddress::Network(UnitIp(c.address)), c.firmware,
                            c.factoryDefaults);
    EXPECT_EQ(result.outcome, JobOutcome::FinishedWithoutFirmware) << c.address;
    EXPECT_TRUE(result.toldOnce) << c.address;
    EXPECT_EQ(unit->CommandOrder(), c.order) << c.address;
    EXPECT_EQ(result.plan, c.range) << c.address;
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
    const auto result = Run(JobKind::Update, UnitAddress::Network(UnitIp(c.address)), true, true);
    EXPECT_EQ(result.outcome, JobOutcome::WrongResponse) << c.address;
    EXPECT_TRUE(result.toldOnce) << c.address;
    EXPECT_EQ(unit->CommandOrder(), c.order) << c.address;
    EXPECT_EQ(unit->ApplicationVersion(), 0x00010001u) << "application untouched";
  }
}

TEST_F(UpdateEndToEnd, ASilentUnitGetsFiveIdentityRequestsAndNothingElse) {
  auto config = UdpUnit("127.0.10.6");
  config.mode = sim::UnitMode::Application;  // its bootloader does not answer
  auto unit = StartUnit(config);
  const auto result = Run(JobKind::Update, UnitAddress::Network(UnitIp("127.0.10.6")), true, true);
  EXPECT_EQ(result.outcome, JobOutcome::NoResponse);
  EXPECT_TRUE(result.toldOnce);
  EXPECT_EQ(result.framesSent, 5u);
  EXPECT_EQ(result.framesReceived, 0u);
}

TEST_F(UpdateEndToEnd, ARefusedBatchFailsTheUpdateAndNothingFollowsIt) {
  auto config = UdpUnit("127.0.10.7");
  config.faults.refuseCommand = 0x03;
  config.faults.refuseNth = 100;
  auto unit = StartUnit(config);
  const auto result = Run(JobKind::Update, UnitAddress::Network(UnitIp("127.0.10.7")), true, true);
  EXPECT_EQ(result.outcome, JobOutcome::UpdateFailed);
  EXPECT_TRUE(result.toldOnce);
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
  const auto result = Run(JobKind::Update, UnitAddress::Network(UnitIp("127.0.10.8")), true, true);
  EXPECT_EQ(result.outcome, JobOutcome::UpdateFailed);
  EXPECT_TRUE(result.toldOnce);
  EXPECT_FALSE(unit->UpdateFinished());
}

TEST_F(UpdateEndToEnd, ExitBootloadSendsTheSequencedExitCommand) {
  auto unit = StartUnit(UdpUnit("127.0.10.9"));
  const auto result =
      Run(JobKind::ExitBootload, UnitAddress::Network(UnitIp("127.0.10.9")), true, true);
  EXPECT_EQ(result.outcome, JobOutcome::BootloadExited);
  EXPECT_TRUE(result.toldOnce);
  EXPECT_EQ(unit->CommandOrder(), (Codes{0x01, 0x8B}));
}

TEST_F(UpdateEndToEnd, LossAndCorruptionBothWaysStillEndInAnExactUpdate) {
  // A cut-down package (every resend costs a 1 s attempt time-out over UDP): the first 400
  // records of the application with its version word, and 4 KiB of flash data.
  const std::string text = testing::ApplicationHead(400);
  const auto flash = ResourceBytes("BIN", "FLASH_STM32_ADAU1452");
  const std::vector<std::uint8_t> flashPart(flash.begin(), flash.begin() + 4096);
  auto config = UdpUnit("127.0.10.10");
  config.faults.seed = 20261208;
  config.faults.dropRequests = 0.02;
  config.faults.corruptReplies = 0.02;
  auto unit = StartUnit(config);
  testing::MemoryPackageSource source;
  source.Add("HEX", "APPLICATION_STM32_ADAU1452", text)
      .Add("BIN", "FLASH_STM32_ADAU1452", std::string(flashPart.begin(), flashPart.end()))
      .Add("PROPERTIES", "UNIT", "build-version = V1.2\n");
  const auto result = Run(JobKind::Update, UnitAddress::Network(UnitIp("127.0.10.10")), true, true,
                          *Package::Load(source));

  EXPECT_EQ(result.outcome, JobOutcome::Succeeded);
  EXPECT_TRUE(result.toldOnce);
  const auto faults = unit->Faults();
  EXPECT_GT(faults.dropped + faults.corrupted, 0u) << "the seed injected no fault";
  const auto expected = sim::DecodeIntelHex(text);
  ASSERT_TRUE(expected.has_value());
  EXPECT_EQ(unit->ApplicationBase(), expected->base);
  EXPECT_TRUE(unit->ApplicationMemory() == expected->bytes) << "application memory differs";
  EXPECT_TRUE(unit->FlashData() == flashPart) << "flash data differs";
  EXPECT_TRUE(unit->UpdateFinished());
}

TEST_F(UpdateEndToEnd, AStopWhileTheModeIsReadSendsNoPinAndNothingThatChangesTheUnit) {
  auto config = UdpUnit("127.0.10.12");
  config.tcpText = "127.0.10.12";
  config.mode = sim::UnitMode::Application;
  config.pin = "2468";
  auto unit = StartUnit(config);
  std::stop_source stop;
  stop.request_stop();
  testing::RecordingJobObserver observer;
  const JobResult result =
      UpdateFromAnyMode(UnitAddress::Network(UnitIp("127.0.10.12")), *EmbeddedPackage(), {}, "2468",
                        observer, stop.get_token());
  EXPECT_EQ(result.outcome, JobOutcome::Interrupted);
  EXPECT_EQ(result.stage, Stage::ReadingMode);
  EXPECT_EQ(unit->TextLog(), std::vector<std::string>{"<SY,BQ/>"});
  EXPECT_TRUE(unit->CommandOrder().empty());
}

}  // namespace
}  // namespace tessaline::e2e
