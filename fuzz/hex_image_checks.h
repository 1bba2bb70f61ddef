// The properties every loaded application image must have, shared by the two HEX fuzz targets.
#pragma once

#include <array>
#include <cctype>
#include <cstdint>
#include <string>

#include "fuzz_input.h"
#include "package/hex_manager.h"

namespace tessaline::fuzz {

// Reaches the loader's byte-level entry, which resources and files share.
class FuzzedHexImage : public CHexManager {
 public:
  bool Load(std::span<const std::uint8_t> bytes) {
    Reset();
    return LoadFromBytes(bytes);
  }
};

inline std::string UpperHex(const std::uint8_t* bytes, std::size_t count) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string text;
  for (std::size_t i = 0; i < count; ++i) {
    text += kDigits[bytes[i] >> 4];
    text += kDigits[bytes[i] & 0xF];
  }
  return text;
}

// Loads `data` and checks every record handed out: its shape, its checksum when asked for, and
// that it stands, in order, as a line of the text.
inline void CheckHexImage(const std::uint8_t* data, std::size_t size, bool checksums) {
  FuzzedHexImage image;
  image.SetChecksumCheck(checksums);
  const bool loaded = image.Load({data, size});
  if (!loaded) {
    Require(!image.LastError().empty(), "a refused line says why");
    return;
  }
  std::string upper(reinterpret_cast<const char*>(data), size);
  for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));

  image.RewindRecords();
  std::array<std::uint8_t, kMaxHexRecordBytes> record{};
  std::size_t searchFrom = 0;
  std::uint32_t handedOut = 0;
  while (const std::uint16_t length = image.NextRecord(record.data(), record.size())) {
    ++handedOut;
    Require(length >= kHexRecordOverheadBytes && length <= kMaxHexRecordBytes,
            "a record is 5 to 256 bytes");
    Require(record[0] + kHexRecordOverheadBytes == length, "the byte count matches the record");
    if (checksums) {
      unsigned sum = 0;
      for (std::size_t i = 0; i < length; ++i) sum += record[i];
      Require((sum & 0xFF) == 0, "a checked record sums to zero");
    }
    const std::string line = ":" + UpperHex(record.data(), length);
    const std::size_t found = upper.find(line, searchFrom);
    Require(found != std::string::npos, "each record is a line of the text, in order");
    searchFrom = found + line.size();
  }
  Require(handedOut == image.RecordCount(), "every stored record is handed out once");
  Require(image.RecordsTaken() == handedOut, "RecordsTaken counts the records handed out");
  Require(image.NextRecord(record.data(), record.size()) == 0 && image.RecordsTaken() == handedOut,
          "past the end nothing more is handed out");

  // A small capacity cuts records but never writes past it.
  image.RewindRecords();
  std::array<std::uint8_t, 8> small{};
  while (image.NextRecord(small.data(), 4) != 0) {
    Require(small[4] == 0 && small[7] == 0, "a cut record stays within the capacity");
  }
}

}  // namespace tessaline::fuzz
