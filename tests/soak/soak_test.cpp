// Many seeded updates of the simulated unit through loss, noise, duplicates, delays, refusals and
// sudden silence: no run may report success unless the unit holds exactly the package, and every
// failure must be reported as one.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <future>
#include <string>

#include "platform/sockets.h"
#include "soak_support.h"

namespace tessaline::soak {
namespace {

// 24 batches and 16 chunks: about 50 requests an update.
constexpr std::size_t kSliceRecords = 180;
constexpr std::size_t kSliceFlashBytes = 1024;
// The resend schedule runs this much faster than real time in faulty runs, so a lost request
// costs 40 ms over UDP instead of a second (the line's own read waits stay real).
constexpr std::uint64_t kDefaultClockFactor = 25;
// Longest a single run may take before it counts as a hang.
constexpr auto kRunDeadline = std::chrono::minutes(3);

constexpr std::uint64_t kDefaultSeed = 20261208;
constexpr std::uint64_t kDefaultRuns = 8;
constexpr std::uint64_t kDefaultSweepPoints = 6;

// Plain codes the unit may be told to refuse.
constexpr int kRefusable[] = {0x02, 0x03, 0x05, 0x06, 0x07, 0x0C, 0x0E, 0x0F};

struct Figures {
  std::uint32_t runs = 0;
  std::uint32_t faults = 0;
  std::uint32_t successes = 0;
  std::uint32_t failures = 0;
  std::uint32_t falseSuccesses = 0;
  std::uint32_t differentAfterSuccess = 0;
  std::uint32_t unreported = 0;

  void Print(const char* title) const {
    std::printf(
        "%s: %u runs, %u faults injected, %u successes, %u failures, %u false successes, "
        "%u units different after a reported success, %u failures not reported as one\n",
        title, runs, faults, successes, failures, falseSuccesses, differentAfterSuccess,
        unreported);
  }
};

const char* OutcomeName(JobOutcome outcome) {
  switch (outcome) {
    case JobOutcome::Succeeded:
      return "succeeded";
    case JobOutcome::UpdateFailed:
      return "update-failed";
    case JobOutcome::NoResponse:
      return "no-response";
    case JobOutcome::WrongResponse:
      return "wrong-response";
    case JobOutcome::BootloadExited:
      return "bootload-exited";
    case JobOutcome::Declined:
      return "declined";
    case JobOutcome::Interrupted:
      return "interrupted";
    case JobOutcome::VerifyFailed:
      return "verify-failed";
    case JobOutcome::PortUnavailable:
      return "port-unavailable";
    case JobOutcome::WrittenUnverified:
      return "written-unverified";
    case JobOutcome::FinishedWithoutFirmware:
      return "no-firmware";
    case JobOutcome::PackageRefused:
      return "package-refused";
    case JobOutcome::FinalCommandRefused:
      return "final-refused";
    case JobOutcome::StillInBootloadMode:
      return "still-in-bootload";
    case JobOutcome::NotConfirmed:
      return "not-confirmed";
    case JobOutcome::PinRefused:
      return "pin-refused";
  }
  return "?";
}

// Runs `body` with a deadline; a run that overstays it is a hang and ends the test binary, since
// a stuck job thread cannot be taken back.
template <typename Body>
auto WithinDeadline(const std::string& what, Body body) {
  auto result = std::async(std::launch::async, body);
  if (result.wait_for(kRunDeadline) != std::future_status::ready) {
    std::fprintf(stderr, "hang: %s did not end within its deadline\n", what.c_str());
    std::fflush(stderr);
    std::abort();
  }
  return result.get();
}

class Soak : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(package_.Valid()) << "the package slice could not be made"; }

  static sim::FaultConfig DrawFaults(SeededRandom& random, std::uint32_t requestsPerUpdate) {
    sim::FaultConfig faults;
    faults.seed = random.Next();
    faults.dropRequests = random.Uniform(0, 0.06);
    faults.corruptReplies = random.Uniform(0, 0.06);
    faults.duplicateReplies = random.Uniform(0, 0.10);
    faults.delayReplies = random.Uniform(0, 0.10);
    faults.delayMs = random.Between(1, 150);
    faults.staleSequence = random.Uniform(0, 0.05);
    if (random.Chance(0.25)) faults.silentAfter = random.Between(1, requestsPerUpdate + 3);
    if (random.Chance(0.15)) {
      faults.refuseCommand = kRefusable[random.Between(0, std::size(kRefusable) - 1)];
      faults.refuseNth = random.Between(1, 3);
    }
    return faults;
  }

  void Record(std::ofstream& log, std::uint32_t index, LineKind kind,
              const sim::FaultConfig& faults, const JobRun& run, const sim::SimulatedUnit& unit,
              bool held) {
    if (!log) return;
    const auto application = unit.ApplicationDigest();
    const auto flash = unit.FlashDataDigest();
    const sim::FaultCounts counts = unit.Faults();
    const auto requests = unit.RequestLog();
    log << "{\"run\": " << index << ", \"line\": \"" << LineName(kind)
        << "\", \"seed\": " << faults.seed << ", \"result\": \"" << OutcomeName(run.outcome)
        << "\", \"faults\": " << TotalFaults(unit.Faults()) + run.requestCorruptions
        << ", \"noisyRequests\": " << run.requestCorruptions << ", \"dropped\": " << counts.dropped
        << ", \"corrupted\": " << counts.corrupted << ", \"duplicated\": " << counts.duplicated
        << ", \"delayed\": " << counts.delayed << ", \"stale\": " << counts.stale
        << ", \"refused\": " << counts.refused << ", \"silenced\": " << counts.silenced
        << ", \"silentAfter\": " << faults.silentAfter << ", \"requests\": " << requests.size()
        << ", \"lastCommand\": " << (requests.empty() ? 0 : int{requests.back().command})
        << ", \"applicationSha256\": \"" << application.sha256
        << "\", \"applicationLength\": " << application.length << ", \"flashSha256\": \""
        << flash.sha256 << "\", \"flashLength\": " << flash.length
        << ", \"holdsPackage\": " << (held ? "true" : "false") << "}\n";
  }

  PackageSlice package_{kSliceRecords, kSliceFlashBytes};
  platform::SocketLibrary sockets_;
};

TEST_F(Soak, NoRunReportsSuccessUnlessTheUnitHoldsThePackage) {
  const std::uint64_t seed = EnvNumber("TESSALINE_SOAK_SEED", kDefaultSeed);
  const std::uint64_t runs = EnvNumber("TESSALINE_SOAK_RUNS", kDefaultRuns);
  const auto factor =
      static_cast<std::uint32_t>(EnvNumber("TESSALINE_SOAK_CLOCK_FACTOR", kDefaultClockFactor));
  std::ofstream log;
  if (const char* path = std::getenv("TESSALINE_SOAK_LOG")) log.open(path);

  SeededRandom random(seed);
  Figures figures;
  constexpr std::uint32_t kRequestsPerUpdate = 4 + 24 + 1 + 1 + 16 + 1 + 1 + 1 + 1;  // + read-back
  for (std::uint32_t index = 0; index < runs; ++index) {
    const LineKind kind = index % 2 == 0 ? LineKind::Udp : LineKind::PseudoTerminal;
    const std::string address = "127.0.30." + std::to_string(1 + index % 250);
    const sim::FaultConfig faults = DrawFaults(random, kRequestsPerUpdate);
    LineFaults line;
    line.seed = random.Next();
    line.corruptRequests = random.Uniform(0, 0.04);

    auto unit = StartUnit(kind, address, faults);
    ASSERT_NE(unit, nullptr);
    const std::string what = "run " + std::to_string(index) + " (" + LineName(kind) + ")";
    const JobRun run = WithinDeadline(what, [&] {
      FastClock clock(factor);
      return RunUpdate(kind, address, *unit, package_, line, clock);
    });
    const bool held = package_.HeldBy(*unit);
    const sim::FaultCounts counts = unit->Faults();
    Record(log, index, kind, faults, run, *unit, held);

    ++figures.runs;
    figures.faults += TotalFaults(counts) + run.requestCorruptions;
    const bool succeeded = run.outcome == JobOutcome::Succeeded;
    if (succeeded) {
      ++figures.successes;
      if (!held) {
        ++figures.falseSuccesses;
        ++figures.differentAfterSuccess;
      }
    } else {
      ++figures.failures;
    }
    if (!run.reportedOnce) ++figures.unreported;

    EXPECT_TRUE(!succeeded || held) << what << ": success reported, but the unit differs";
    EXPECT_TRUE(run.reportedOnce) << what << ": not exactly one verdict, told last";
    // A refused step can never end in success: the unit said no.
    if (counts.refused > 0) {
      EXPECT_FALSE(succeeded) << what << ": success despite a refusal";
    }
  }
  figures.Print("soak");
  EXPECT_EQ(figures.falseSuccesses, 0u);
  EXPECT_EQ(figures.unreported, 0u);
}

// The line dies after request k, for k spread over the whole transfer; a second update of the
// same unit must then succeed and leave it holding exactly the package.
TEST_F(Soak, AnUpdateCutOffAnywhereIsMendedByTheNextOne) {
  const std::uint64_t points = EnvNumber("TESSALINE_SOAK_SWEEP_POINTS", kDefaultSweepPoints);
  const auto factor =
      static_cast<std::uint32_t>(EnvNumber("TESSALINE_SOAK_CLOCK_FACTOR", kDefaultClockFactor));
  Figures figures;
  for (const LineKind kind : {LineKind::Udp, LineKind::PseudoTerminal}) {
    const std::string address = kind == LineKind::Udp ? "127.0.31.1" : "";
    // A clean update first: it tells how many requests the whole transfer takes.
    auto probe = StartUnit(kind, address, {});
    ASSERT_NE(probe, nullptr);
    const JobRun clean = WithinDeadline("clean update", [&] {
      return RunUpdate(kind, address, *probe, package_, {}, platform::SystemClock());
    });
    ASSERT_EQ(clean.outcome, JobOutcome::Succeeded) << LineName(kind);
    ASSERT_TRUE(package_.HeldBy(*probe)) << LineName(kind);
    const auto total = static_cast<std::uint32_t>(probe->RequestLog().size());
    probe.reset();

    for (std::uint64_t point = 0; point < points; ++point) {
      // From just after the identity request to just before the final command.
      const auto cutAfter = static_cast<std::uint32_t>(
          1 + point * (total - 2) / std::max<std::uint64_t>(points - 1, 1));
      const std::string what = std::string(LineName(kind)) + " cut after request " +
                               std::to_string(cutAfter) + " of " + std::to_string(total);
      const std::string unitAddress =
          kind == LineKind::Udp ? "127.0.31." + std::to_string(2 + point % 250) : std::string();
      auto unit = StartUnit(kind, unitAddress, {});
      ASSERT_NE(unit, nullptr);
      LineFaults line;
      line.cutAfterWrites = cutAfter;
      const JobRun first = WithinDeadline(what, [&] {
        FastClock clock(factor);
        return RunUpdate(kind, unitAddress, *unit, package_, line, clock);
      });
      ++figures.runs;
      ++figures.faults;
      EXPECT_TRUE(first.reportedOnce) << what;
      if (first.outcome == JobOutcome::Succeeded) {
        ++figures.successes;
        // Only the final command may have been lost: a line dead after it looks like a unit
        // that reset on taking it.
        EXPECT_TRUE(package_.HeldBy(*unit)) << what << ": success reported, but the unit differs";
        if (!package_.HeldBy(*unit)) ++figures.falseSuccesses;
      } else {
        ++figures.failures;
        EXPECT_NE(first.outcome, JobOutcome::Declined) << what;
      }

      const JobRun second = WithinDeadline(what + ", second update", [&] {
        return RunUpdate(kind, unitAddress, *unit, package_, {}, platform::SystemClock());
      });
      ++figures.runs;
      EXPECT_EQ(second.outcome, JobOutcome::Succeeded) << what << ": the second update failed";
      EXPECT_TRUE(package_.HeldBy(*unit)) << what << ": the unit differs after the second update";
      if (second.outcome == JobOutcome::Succeeded) {
        ++figures.successes;
      } else {
        ++figures.failures;
      }
    }
  }
  figures.Print("interruption sweep");
  EXPECT_EQ(figures.falseSuccesses, 0u);
}

}  // namespace
}  // namespace tessaline::soak
