// The application image: Intel HEX lines turned into raw records, validated, handed out in order.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "package/loadable_text.h"

namespace tessaline {

inline constexpr std::size_t kMaxHexRecordBytes = 256;

class CHexManager : public LoadableText {
 public:
  CHexManager() = default;

  bool ParseLine(std::string_view line) override;
  bool Reset() override {
    ClearRecords();
    return true;
  }
  // Loads the "HEX" resource `name`. A damaged line (no ':' mark, a non-hex pair, a byte count
  // that disagrees with the line, a wrong checksum, a record over 256 bytes) fails the whole load
  // and leaves the image empty, so a damaged package is refused before anything is erased.
  bool LoadHexResource(std::string_view name);

  bool RewindRecords();
  // Copies the next record (at most `capacity` bytes) to `destination`; 0 at the end.
  std::uint16_t NextRecord(std::uint8_t* destination, std::uint32_t capacity);
  std::uint32_t RecordCount() const { return static_cast<std::uint32_t>(offsets_.size()); }
  std::uint32_t RecordsTaken() const { return recordsTaken_; }
  void ClearRecords();

  // Why the last load failed ("line 12: wrong checksum"); empty after a good load.
  const std::string& LastError() const { return lastError_; }
  // For fuzzing what lies behind the checksum check.
  void SetChecksumCheck(bool enabled) { checkChecksums_ = enabled; }

 private:
  // Records live back to back in one store; offsets_[i] is where record i begins.
  std::vector<std::uint8_t> store_;
  std::vector<std::uint32_t> offsets_;
  std::uint32_t cursor_ = 0;
  std::uint32_t recordsTaken_ = 0;
  std::uint32_t lineNumber_ = 0;
  bool checkChecksums_ = true;
  std::string lastError_;
};

}  // namespace tessaline
