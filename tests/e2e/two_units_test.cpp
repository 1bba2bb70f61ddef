// Two jobs on two simulated units at once in one process: nothing of a job is shared.
#include <thread>

#include "e2e/e2e_support.h"

namespace tessaline::e2e {
namespace {

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
          Run(JobKind::Update, UnitAddress::Network(UnitIp("127.0.10.11")), true, true, *package);
    });
    std::jthread second([&] {
      overSerial =
          Run(JobKind::Update, UnitAddress::Serial(serial->SerialPath()), true, true, *package);
    });
  }
  for (const auto* record : {&overUdp, &overSerial}) {
    EXPECT_EQ(record->outcome, JobOutcome::Succeeded);
    EXPECT_TRUE(record->toldOnce);
    EXPECT_EQ(record->lastPosition, kFullRange);
  }
  for (const auto* unit : {network.get(), serial.get()}) {
    EXPECT_TRUE(unit->CommandOrder() == FullUpdateOrder()) << "wire order differs";
    ExpectUnitHoldsThePackage(*unit);
  }
}

}  // namespace
}  // namespace tessaline::e2e
