// The record of one unit's update job, and its form as one line of JSON.
#pragma once

#include <chrono>
#include <cstdint>
#include <map>
#include <nlohmann/json_fwd.hpp>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tessaline::receipts {

// One stage of the job ("Erase", "Application", ...) as the link saw it.
struct StageRecord {
  std::string name;
  std::uint32_t exchanges = 0;  // requests answered or given up, resends not counted
  std::uint32_t resends = 0;    // sends beyond the first of each request
  std::uint64_t durationMs = 0;
};

struct Outcome {
  std::string result;  // a short word: "succeeded", "failed", "mismatch", ...
  std::string reason;  // the text the operator saw
  int exitCode = 0;
};

// Whether the application came back after the final command (only when it was asked for).
struct RunningConfirmation {
  std::uint32_t limitSeconds = 0;  // how long the job was allowed to wait
  bool running = false;
  std::uint64_t elapsedMs = 0;     // until it answered, or until the limit
  std::string applicationVersion;  // what the running application reported ("1.2"); may be empty
  std::string detail;
};

struct Receipt {
  std::string time;               // UTC, ISO 8601 ("2024-05-01T09:30:12.345Z")
  std::string programVersion;     // of tessaline-update
  std::string unit;               // IPv4 address or serial port
  std::string identity;           // the bootloader's identity text ("Tessaline,STM32,ADAU1452")
  std::string variant;            // the package variant chosen for it ("STM32_ADAU1452")
  std::string bootloaderVersion;  // "1.0"; empty when unknown
  std::string applicationVersionBefore;  // "1.1"; empty when unknown
  // What the unit answered when asked before the erase: "version", "none" (no application),
  // "no-answer"; empty when it was not asked.
  std::string applicationBefore;
  std::string applicationVersionAfter;  // read back after writing; empty when not read
  std::string packageBuildVersion;      // "V1.2"
  std::string applicationSha256;  // lower-case hex of the application records sent; empty: none
  std::string flashDataSha256;    // lower-case hex of the flash data sent; empty: none
  std::map<std::string, std::string> options;  // as given on the command line; flags hold ""
  std::vector<StageRecord> stages;
  std::uint64_t totalMs = 0;
  Outcome outcome;
  std::optional<RunningConfirmation> confirmation;
  // Lower-case hex SHA-256 of the previous line's bytes (without its newline); empty for the
  // first line. AppendReceipt fills it in.
  std::string prev;
  // Fingerprint of the key that signed the line and its signature (128 lower-case hex digits,
  // r then s, over the line's bytes with `sig` empty); both empty on an unsigned line.
  std::string key;
  std::string sig;
};

// "2024-05-01T09:30:12.345Z"
std::string UtcTimestamp(std::chrono::system_clock::time_point when);

// The receipt as a JSON object, its keys in the order a line has them.
nlohmann::ordered_json ReceiptJson(const Receipt& receipt);
// The receipt as one line of JSON, without the newline.
std::string ReceiptJsonLine(const Receipt& receipt);
// The receipts as one JSON array (for --json output).
std::string ReceiptsJsonArray(const std::vector<Receipt>& receipts);

// Reads one line back. Every field must be present with its type (strings, whole numbers,
// objects as written; digests 64 lower-case hex digits or empty); unknown fields are ignored.
// Nothing, with the reason in `why`, otherwise.
std::optional<Receipt> ParseReceiptLine(std::string_view line, std::string& why);

}  // namespace tessaline::receipts
