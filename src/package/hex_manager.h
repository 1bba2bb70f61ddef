// The application image: Intel HEX lines turned into raw records, validated, handed out in order.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "package/loadable_text.h"

namespace tessaline {

// Largest record kept (count, address, type, data, checksum): at most 251 data bytes.
inline constexpr std::size_t kMaxHexRecordBytes = 256;
// Count, two address bytes, type and checksum around the data.
inline constexpr std::size_t kHexRecordOverheadBytes = 5;

inline constexpr std::string_view kHexResourceType = "HEX";

class CHexManager : public LoadableText {
 public:
  CHexManager() = default;

  bool LoadFromFile(const std::string& path) override;
  bool LoadFromResource(std::string_view name, std::string_view type) override;
  // Loads the "HEX" resource `name`. Any damaged line, or an image without a data record or
  // without an end-of-file record, fails the whole load and leaves the image empty, so a damaged
  // package is refused before anything on a unit is erased.
  bool LoadHexResource(std::string_view name);
  // The same rules over a HEX text in memory.
  bool LoadFromMemory(std::span<const std::uint8_t> text);

  // Takes the outcome of `loaded`'s load without a copy: its records, shared read-only while this
  // image keeps its own position, and its LastError. A later load here gets records of its own.
  void ShareRecordsOf(const CHexManager& loaded);

  bool RewindRecords();
  // Copies the next record (at most `capacity` bytes; the rest of a longer record is never
  // handed out) to `destination`; 0 at the end, and RecordsTaken then stays.
  std::uint16_t NextRecord(std::uint8_t* destination, std::uint32_t capacity);
  std::uint32_t RecordCount() const { return static_cast<std::uint32_t>(Held().offsets.size()); }
  std::uint32_t RecordsTaken() const { return recordsTaken_; }
  void ClearRecords();

  // Why the last load failed ("line 12: wrong checksum ..."); empty after a good load.
  const std::string& LastError() const { return lastError_; }
  // Fuzzing uses this to reach what lies behind the checksum check.
  void SetChecksumCheck(bool enabled) { checkChecksums_ = enabled; }

 protected:
  // Stores the bytes of one record exactly as the line encodes them. A damaged line (no ':'
  // mark, an odd number of digits, a non-hex pair, a byte count that disagrees with the line, a
  // wrong checksum, a record over 256 bytes or under 5, a record type other than 00, 01, 04 and
  // 05) returns false and sets LastError. An empty line stores nothing. Only a load calls it,
  // after Reset: shared records are never written.
  bool ParseLine(std::string_view line) override;
  bool Reset() override {
    ClearRecords();
    return true;
  }

 private:
  bool Fail(std::string reason);
  bool FinishLoad(bool loaded);
  // Reserves the store for a text of `textBytes` bytes (each record byte takes two digits).
  void Reserve(std::size_t textBytes);

  // Records live back to back in one store; record i spans offsets[i] .. offsets[i + 1] (or the
  // end of the store).
  struct Records {
    std::vector<std::uint8_t> store;
    std::vector<std::uint32_t> offsets;
  };
  const Records& Held() const;
  // The records the load in progress writes, made on its first write.
  Records& Own();

  // Shared by every image that took them with ShareRecordsOf; only a load writes, into its own.
  std::shared_ptr<Records> records_;
  std::uint32_t cursor_ = 0;
  std::uint32_t recordsTaken_ = 0;
  bool checkChecksums_ = true;
  std::string lastError_;
};

}  // namespace tessaline
