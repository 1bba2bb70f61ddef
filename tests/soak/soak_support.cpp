// The soak's package slice, faulty line, fast clock and job runner.
#include "soak_support.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>

#include "package/package_contents.h"
#include "platform/sockets.h"
#include "support/memory_package.h"
#include "support/recording_job_observer.h"
#include "support/simulated_units.h"
#include "transport/com_port_table.h"
#include "transport/com_transport.h"
#include "transport/ethernet_transport.h"

namespace tessaline::soak {

namespace {

using testing::ResourceText;
using testing::UnitIp;

constexpr std::string_view kApplicationResource = "APPLICATION_STM32_ADAU1452";
constexpr std::string_view kFlashDataResource = "FLASH_STM32_ADAU1452";

}  // namespace

std::uint64_t SeededRandom::Next() {
  std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ULL);
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
  return z ^ (z >> 31);
}

double SeededRandom::Uniform(double low, double high) {
  const double unit = static_cast<double>(Next() >> 11) * 0x1.0p-53;
  return low + (high - low) * unit;
}

std::uint32_t SeededRandom::Between(std::uint32_t low, std::uint32_t high) {
  return low + static_cast<std::uint32_t>(Next() % (static_cast<std::uint64_t>(high) - low + 1));
}

PackageSlice::PackageSlice(std::size_t records, std::size_t flashBytes) {
  const std::string flashText = ResourceText("BIN", kFlashDataResource);
  if (flashText.size() < flashBytes) return;
  const std::string text = testing::ApplicationHead(records);
  flashData_.assign(flashText.begin(), flashText.begin() + static_cast<std::ptrdiff_t>(flashBytes));

  const auto decoded = sim::DecodeIntelHex(text);
  if (!decoded) return;
  applicationBase_ = decoded->base;
  application_ = decoded->bytes;

  testing::MemoryPackageSource source;
  source.Add("HEX", std::string(kApplicationResource), text)
      .Add("BIN", std::string(kFlashDataResource),
           std::string(flashData_.begin(), flashData_.end()));
  package_ = Package::Load(source);
  valid_ = true;
}

bool PackageSlice::HeldBy(const sim::SimulatedUnit& unit) const {
  return unit.ApplicationBase() == applicationBase_ && unit.ApplicationMemory() == application_ &&
         unit.FlashData() == flashData_ && unit.FactoryDefaultsRestored();
}

FastClock::FastClock(std::uint32_t factor) : factor_(factor), start_(platform::TickCount()) {}

std::uint32_t FastClock::Now() {
  return start_ + platform::TicksBetween(start_, platform::TickCount()) * factor_;
}

FaultyLine::FaultyLine(std::unique_ptr<Transport> inner, LineFaults faults)
    : inner_(std::move(inner)), faults_(faults), random_(faults.seed) {}

bool FaultyLine::Write(const std::uint8_t* bytes, std::uint32_t count) {
  if (faults_.cutAfterWrites && writes_ >= *faults_.cutAfterWrites) cut_ = true;
  if (cut_) return true;  // the bytes go nowhere, as on a pulled cable
  ++writes_;
  const bool hit = random_.Chance(faults_.corruptRequests);
  const std::uint64_t pick = random_.Next();
  if (!hit || count == 0) return inner_->Write(bytes, count);
  std::vector<std::uint8_t> noisy(bytes, bytes + count);
  noisy[pick % count] ^= static_cast<std::uint8_t>((pick >> 32) % 255 + 1);
  ++corrupted_;
  return inner_->Write(noisy.data(), count);
}

std::uint32_t FaultyLine::Read(std::uint8_t* buffer, std::uint32_t capacity) {
  const std::uint32_t count = inner_->Read(buffer, capacity);
  return cut_ ? 0 : count;
}

const char* LineName(LineKind kind) { return kind == LineKind::Udp ? "udp" : "pty"; }

std::unique_ptr<sim::SimulatedUnit> StartUnit(LineKind kind, const std::string& udpAddress,
                                              const sim::FaultConfig& faults) {
  sim::UnitConfig config;
  if (kind == LineKind::Udp) {
    config.udpAddress = udpAddress;
  } else {
    config.serial = true;  // unpaced: the soak is about faults, not line speed
  }
  config.faults = faults;
  auto unit = std::make_unique<sim::SimulatedUnit>(std::move(config));
  std::string error;
  if (!unit->Start(&error)) {
    std::fprintf(stderr, "simulated unit did not start: %s\n", error.c_str());
    return nullptr;
  }
  return unit;
}

JobRun RunUpdate(LineKind kind, const std::string& udpAddress, const sim::SimulatedUnit& unit,
                 PackageSlice& package, const LineFaults& line, platform::Clock& linkClock) {
  // The link's resend schedule runs on `linkClock`; the job's pauses cost nothing.
  class NoPauseClock final : public platform::Clock {
   public:
    explicit NoPauseClock(platform::Clock& link) : link_(link) {}
    std::uint32_t Now() override { return link_.Now(); }
    void Sleep(std::uint32_t) override {}

   private:
    platform::Clock& link_;
  } pauses(linkClock);

  std::unique_ptr<Transport> transport;
  if (kind == LineKind::Udp) {
    transport = std::make_unique<EthernetTransport>(UnitIp(udpAddress));
  } else {
    transport = std::make_unique<COMTransport>(unit.SerialPath(), kBootloaderBaudRate);
  }
  auto faulty = std::make_unique<FaultyLine>(std::move(transport), line);
  FaultyLine* observed = faulty.get();

  JobOptions options;
  options.clock = &pauses;
  options.firmware = true;
  options.factoryDefaults = true;
  testing::RecordingJobObserver events;
  JobRun run;
  // The job's link reads `observed` until the job returns, so its counters are read after.
  const auto kept = std::shared_ptr<Transport>(std::move(faulty));
  run.outcome =
      RunUpdateJob(std::make_unique<SharedLine>(kept), package.Contents(), options, events).outcome;
  run.reportedOnce = events.FinishedOnceWith(run.outcome);
  run.requestCorruptions = observed->CorruptedRequests();
  run.lineCut = observed->Cut();
  return run;
}

std::uint32_t TotalFaults(const sim::FaultCounts& counts) {
  return counts.dropped + counts.corrupted + counts.duplicated + counts.delayed + counts.stale +
         counts.refused + counts.silenced;
}

std::uint64_t EnvNumber(const char* name, std::uint64_t fallback) {
  const char* text = std::getenv(name);
  if (text == nullptr || *text == '\0') return fallback;
  char* end = nullptr;
  const unsigned long long value = std::strtoull(text, &end, 10);
  return end != text && value > 0 ? value : fallback;
}

}  // namespace tessaline::soak
