// bench_package: load times of the package's application image, properties and flash data walk.
#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <functional>
#include <vector>

#include "package/bin_manager.h"
#include "package/hex_manager.h"
#include "package/package.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kRuns = 50;

struct Figures {
  double firstMs;  // the cold run: the resource's pages are touched for the first time
  double minMs;
  double medianMs;
  double maxMs;
};

Figures Measure(const std::function<bool()>& action) {
  std::vector<double> times;
  times.reserve(kRuns);
  for (int run = 0; run < kRuns; ++run) {
    const auto start = Clock::now();
    if (!action()) {
      std::fprintf(stderr, "bench_package: the action failed\n");
      return {0, 0, 0, 0};
    }
    times.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
  }
  const double first = times.front();
  std::sort(times.begin(), times.end());
  return {first, times.front(), times[times.size() / 2], times.back()};
}

void Print(const char* what, const Figures& f) {
  std::printf("%-44s first %7.3f  min %7.3f  median %7.3f  max %7.3f ms\n", what, f.firstMs,
              f.minMs, f.medianMs, f.maxMs);
}

}  // namespace

int main() {
  using namespace tessaline;
  std::printf("bench_package: %d runs each\n", kRuns);

  CHexManager hex;
  Print("HEX image load (APPLICATION_STM32_ADAU1452)",
        Measure([&] { return hex.LoadHexResource("APPLICATION_STM32_ADAU1452"); }));
  std::printf("  %u records\n", hex.RecordCount());

  // What each job pays to take its unit's images from the shared package.
  const auto package = EmbeddedPackage();
  Print("Variant images for one job (STM32/ADAU1452)", Measure([&] {
          CHexManager application;
          CBinManager flashData;
          return package->LoadVariant(0, application, flashData) == VariantImages::Loaded;
        }));

  std::array<std::uint8_t, kMaxHexRecordBytes> record{};
  Print("HEX records handed out (all)", Measure([&] {
          hex.RewindRecords();
          while (hex.NextRecord(record.data(), record.size()) != 0) {
          }
          return hex.RecordsTaken() == hex.RecordCount();
        }));

  Print("Properties load (UNIT and UPDATER)", Measure([] {
          PropertiesContainer unit;
          PropertiesContainer updater;
          return unit.LoadFromResource("UNIT", kPropertiesResourceType) &&
                 updater.LoadFromResource("UPDATER", kPropertiesResourceType);
        }));

  CBinManager bin;
  std::array<std::uint8_t, 64> chunk{};
  Print("Flash data load and 64-byte chunk walk", Measure([&] {
          if (!bin.LoadFromResource("FLASH_STM32_ADAU1452")) return false;
          std::uint32_t address = 0;
          while (bin.NextChunk(chunk.data(), chunk.size(), address) != 0) {
          }
          return bin.BytesTaken() == bin.GetImageSize();
        }));
  return 0;
}
