// Prints the time of a full update of the simulated unit: over UDP on loopback, and over a
// pseudo-terminal paced like a 115200 baud line, against that line's wire limit.
#include <chrono>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "package/package.h"
#include "platform/clock.h"
#include "platform/sockets.h"
#include "transport/unit_address.h"
#include "unit-sim/simulated_unit.h"
#include "update/jobs.h"

namespace {

using namespace tessaline;
using Clock = std::chrono::steady_clock;

constexpr std::uint32_t kLineRate = 115200;
constexpr double kBitTimesPerByte = 10.0;  // start, 8 data bits, stop
constexpr const char* kUdpAddress = "127.0.12.1";

// Notes when the outcome is known: the job pauses after it, which is not update time.
class TimingObserver final : public JobObserver {
 public:
  void Finished(const JobResult& result) override {
    resultAt = Clock::now();
    ok = result.outcome == JobOutcome::Succeeded;
  }
  Clock::time_point resultAt{};
  bool ok = false;
};

struct Figures {
  bool ok = false;
  double seconds = 0;
  std::uint64_t bytesSent = 0;
  std::uint64_t bytesReceived = 0;
  std::uint32_t framesSent = 0;
};

Figures RunUpdate(const UnitAddress& unit) {
  Figures figures;
  JobOptions options;
  options.trace = [&figures](TraceDirection direction, std::span<const std::uint8_t> bytes,
                             std::uint32_t) {
    if (direction == TraceDirection::Sent) {
      figures.bytesSent += bytes.size();
      ++figures.framesSent;
    } else {
      figures.bytesReceived += bytes.size();
    }
  };
  options.firmware = true;
  options.factoryDefaults = true;
  TimingObserver observer;
  const auto start = Clock::now();
  RunUpdateJob(unit, *EmbeddedPackage(), options, observer);
  figures.ok = observer.ok;
  figures.seconds = std::chrono::duration<double>(observer.resultAt - start).count();
  return figures;
}

bool Start(sim::SimulatedUnit& unit) {
  std::string error;
  if (unit.Start(&error)) return true;
  std::fprintf(stderr, "bench_update: simulated unit did not start: %s\n", error.c_str());
  return false;
}

void Udp() {
  sim::UnitConfig config;
  config.udpAddress = kUdpAddress;
  sim::SimulatedUnit unit(config);
  if (!Start(unit)) return;
  const auto address = platform::Ipv4FromOctets(127, 0, 12, 1);
  const Figures f = RunUpdate(UnitAddress::Network(address));
  std::printf("udp    full update: %s in %.3f s (%u requests, %.0f KiB sent, %.0f KiB received)\n",
              f.ok ? "succeeded" : "FAILED", f.seconds, f.framesSent,
              static_cast<double>(f.bytesSent) / 1024.0,
              static_cast<double>(f.bytesReceived) / 1024.0);
  std::printf("udp    goal: under 2 s\n");
}

void Serial(std::uint32_t lineRate) {
  sim::UnitConfig config;
  config.serial = true;
  config.lineRate = lineRate;
  sim::SimulatedUnit unit(config);
  if (!Start(unit)) return;
  const Figures f = RunUpdate(UnitAddress::Serial(unit.SerialPath()));
  const sim::SerialLineFigures line = unit.SerialLine();
  const double wireSeconds =
      static_cast<double>(line.bytesToUnit + line.bytesFromUnit) * kBitTimesPerByte / kLineRate;
  const double hostSeconds = line.turnaroundTotalMs / 1000.0;
  std::printf(
      "serial full update (%s): %s in %.1f s (%u requests, %llu bytes sent, %llu received)\n",
      lineRate == 0 ? "unpaced pty" : "paced 115200", f.ok ? "succeeded" : "FAILED", f.seconds,
      f.framesSent, static_cast<unsigned long long>(f.bytesSent),
      static_cast<unsigned long long>(f.bytesReceived));
  std::printf("serial host turnaround: %u times, total %.3f s, median %.3f ms, 99th percentile %.3f ms\n",
              line.turnarounds, hostSeconds, line.turnaroundMedianMs, line.turnaroundP99Ms);
  std::printf(
      "serial wire limit at 115200: %.1f s; (wire + turnaround) / wire %.3f (goal: at most 1.03); "
      "wall / wire %.3f\n",
      wireSeconds, (wireSeconds + hostSeconds) / wireSeconds, f.seconds / wireSeconds);
}

}  // namespace

int main(int argc, char** argv) {
  // --udp or --serial runs one measurement; --unpaced runs the serial one without pacing.
  bool udp = true;
  bool serial = true;
  std::uint32_t lineRate = kLineRate;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--udp") == 0)
      serial = false;
    else if (std::strcmp(argv[i], "--serial") == 0)
      udp = false;
    else if (std::strcmp(argv[i], "--unpaced") == 0)
      lineRate = 0;
    else {
      std::fprintf(stderr, "usage: bench_update [--udp | --serial [--unpaced]]\n");
      return 64;
    }
  }
  platform::SocketLibrary sockets;
  if (udp) Udp();
  if (serial) Serial(lineRate);
  return 0;
}
