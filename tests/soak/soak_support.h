// What the soak and concurrency checks share: a cut-down package, faulty lines, fast clocks and
// running one update job against a simulated unit.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/clock.h"
#include "transport/transport.h"
#include "unit-sim/simulated_unit.h"
#include "update/jobs.h"

namespace tessaline::soak {

// SplitMix64: the same run plan from the same seed on every machine.
class SeededRandom {
 public:
  explicit SeededRandom(std::uint64_t seed) : state_(seed) {}
  std::uint64_t Next();
  double Uniform(double low, double high);
  std::uint32_t Between(std::uint32_t low, std::uint32_t high);  // inclusive
  bool Chance(double probability) { return Uniform(0, 1) < probability; }

 private:
  std::uint64_t state_;
};

// The head of the package's application image (with its version word, so the read-back finds
// the package's version) and of its flash data, as a package of its own. Small enough that a
// resend schedule costs little, long enough for many batches and chunks.
class PackageSlice {
 public:
  PackageSlice(std::size_t records, std::size_t flashBytes);

  bool Valid() const { return valid_; }
  const Package& Contents() const { return *package_; }
  // True when the unit holds exactly this slice, application and flash data, defaults restored.
  bool HeldBy(const sim::SimulatedUnit& unit) const;

 private:
  bool valid_ = false;
  std::uint32_t applicationBase_ = 0;
  std::vector<std::uint8_t> application_;
  std::vector<std::uint8_t> flashData_;
  std::shared_ptr<const Package> package_;
};

// Real time sped up by a factor for the link's resend schedule; sleeps cost nothing.
class FastClock final : public platform::Clock {
 public:
  explicit FastClock(std::uint32_t factor);
  std::uint32_t Now() override;
  void Sleep(std::uint32_t) override {}

 private:
  std::uint32_t factor_;
  std::uint32_t start_;
};

// Faults of the host's side of the line: requests hit by noise, and a line that goes dead after
// a number of requests (writes swallowed, whatever arrives dropped, reads still take their wait).
struct LineFaults {
  std::uint64_t seed = 1;
  double corruptRequests = 0;
  std::optional<std::uint32_t> cutAfterWrites;
};

// Lends a transport to a job while the caller keeps reading its counters.
class SharedLine final : public Transport {
 public:
  explicit SharedLine(std::shared_ptr<Transport> line) : line_(std::move(line)) {}
  bool Open() override { return line_->Open(); }
  bool IsOpen() const override { return line_->IsOpen(); }
  bool Close() override { return line_->Close(); }
  bool Write(const std::uint8_t* bytes, std::uint32_t count) override {
    return line_->Write(bytes, count);
  }
  std::uint32_t Read(std::uint8_t* buffer, std::uint32_t capacity) override {
    return line_->Read(buffer, capacity);
  }
  std::string_view GetKind() const override { return line_->GetKind(); }

 private:
  std::shared_ptr<Transport> line_;
};

class FaultyLine final : public Transport {
 public:
  FaultyLine(std::unique_ptr<Transport> inner, LineFaults faults);
  bool Open() override { return inner_->Open(); }
  bool IsOpen() const override { return inner_->IsOpen(); }
  bool Close() override { return inner_->Close(); }
  bool Write(const std::uint8_t* bytes, std::uint32_t count) override;
  std::uint32_t Read(std::uint8_t* buffer, std::uint32_t capacity) override;
  std::string_view GetKind() const override { return inner_->GetKind(); }

  std::uint32_t CorruptedRequests() const { return corrupted_; }
  bool Cut() const { return cut_; }

 private:
  std::unique_ptr<Transport> inner_;
  LineFaults faults_;
  SeededRandom random_;
  std::uint32_t writes_ = 0;
  std::uint32_t corrupted_ = 0;
  bool cut_ = false;
};

struct JobRun {
  JobOutcome outcome = JobOutcome::UpdateFailed;
  // Exactly one Finished was told, as the last event, with the outcome the job returned.
  bool reportedOnce = false;
  std::uint32_t requestCorruptions = 0;
  bool lineCut = false;
};

enum class LineKind { Udp, PseudoTerminal };
const char* LineName(LineKind kind);

// A unit listening on the line of `kind` (UDP at `udpAddress`, or an unpaced pseudo-terminal).
std::unique_ptr<sim::SimulatedUnit> StartUnit(LineKind kind, const std::string& udpAddress,
                                              const sim::FaultConfig& faults);

// Runs one full update job (both Overwrite options) against `unit` on the calling thread.
// `linkClock` paces the resend schedule.
JobRun RunUpdate(LineKind kind, const std::string& udpAddress, const sim::SimulatedUnit& unit,
                 PackageSlice& package, const LineFaults& line, platform::Clock& linkClock);

std::uint32_t TotalFaults(const sim::FaultCounts& counts);

// A positive number from the environment, or `fallback`.
std::uint64_t EnvNumber(const char* name, std::uint64_t fallback);

}  // namespace tessaline::soak
