// Receipts files for tests: a sample receipt, whole-file reads and writes, a scratch path.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "receipts/receipt.h"

namespace tessaline::receipts::testing {

inline Receipt SampleReceipt(const std::string& unit, std::uint64_t totalMs) {
  Receipt r;
  r.time = "2024-05-01T09:30:12.345Z";
  r.programVersion = "2.0";
  r.unit = unit;
  r.identity = "Tessaline,STM32,ADAU1452";
  r.variant = "STM32_ADAU1452";
  r.bootloaderVersion = "1.0";
  r.applicationVersionBefore = "1.1";
  r.applicationVersionAfter = "1.2";
  r.packageBuildVersion = "V1.2";
  r.applicationSha256 = std::string(64, 'a');
  r.flashDataSha256 = "";
  r.options = {{"ip", unit}, {"factory-defaults", ""}};
  r.stages = {{"Erase", 1, 0, 120}, {"Application", 1952, 3, 41000}};
  r.totalMs = totalMs;
  r.outcome = {"succeeded", "Update complete.", 0};
  return r;
}

// A fresh path under the temporary folder, removed with the object.
class ScratchFile {
 public:
  explicit ScratchFile(const std::string& name)
      : path_((std::filesystem::temp_directory_path() /
               ("tessaline-" + name + "-" + Unique() + ".jsonl"))
                  .string()) {
    std::filesystem::remove(path_);
  }
  ~ScratchFile() {
    std::error_code ignored;
    std::filesystem::remove(path_, ignored);
  }
  const std::string& Path() const { return path_; }

  std::string Read() const {
    std::ifstream in(path_, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
  }
  void Write(const std::string& text) const {
    std::ofstream(path_, std::ios::binary | std::ios::trunc) << text;
  }
  // Lines with their newlines dropped.
  std::vector<std::string> Lines() const {
    std::vector<std::string> lines;
    std::istringstream in(Read());
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
  }

 private:
  static std::string Unique() {
    static std::atomic<unsigned> counter{0};
    return std::to_string(std::chrono::steady_clock::now().time_since_epoch().count()) + "-" +
           std::to_string(++counter);
  }
  std::string path_;
};

}  // namespace tessaline::receipts::testing
