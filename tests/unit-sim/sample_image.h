// A small application image and flash data for update tests, built the way a package holds them.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "sim_test_support.h"

namespace tessaline::sim::testing {

// ":LLAAAATT..CC" with the checksum computed.
std::string HexLine(std::uint16_t offset, std::uint8_t type, const Bytes& data);

// Two data runs with a gap at 0x0802xxxx, the version 1.2 at 0x0807FFFC, start address, end.
std::string SampleHexText();
// 150 bytes: two full 64-byte chunks and a short last one.
Bytes SampleFlashData();

// Sends a whole update with sequenced codes through `exchange` and returns false at the first
// reply that is missing or not status 1.
template <typename ExchangeFn>
bool RunUpdate(ExchangeFn&& exchange, const std::string& hexText, const Bytes& flashData) {
  std::uint32_t sequence = 0;
  const auto statusOk = [&](std::uint8_t command, const Bytes& data) {
    const auto reply = exchange(command, ++sequence, data);
    return reply && ReplyData(*reply).size() >= 1 && ReplyData(*reply)[0] == 1;
  };
  if (!exchange(0x01, 0, Bytes{})) return false;
  if (!statusOk(0x82, {}) || !statusOk(0x8E, {})) return false;
  const auto records = RawRecords(hexText);
  for (std::size_t i = 0; i < records.size(); i += 8) {
    Bytes batch;
    for (std::size_t j = i; j < records.size() && j < i + 8; ++j) {
      batch.insert(batch.end(), records[j].begin(), records[j].end());
    }
    if (!statusOk(0x83, batch)) return false;
  }
  if (!statusOk(0x8F, {}) || !statusOk(0x85, {})) return false;
  for (std::size_t offset = 0; offset < flashData.size(); offset += 64) {
    const std::size_t length = std::min<std::size_t>(64, flashData.size() - offset);
    const Bytes chunk(flashData.begin() + static_cast<std::ptrdiff_t>(offset),
                      flashData.begin() + static_cast<std::ptrdiff_t>(offset + length));
    if (!statusOk(0x86, ChunkPayload(0x40000 + static_cast<std::uint32_t>(offset), chunk))) {
      return false;
    }
  }
  if (!statusOk(0x87, {}) || !statusOk(0x8C, {})) return false;
  exchange(0x84, ++sequence, Bytes{});
  return true;
}

}  // namespace tessaline::sim::testing
