// A simulated Tessaline unit: bootloader, application text port and discovery responder, with
// faults.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace tessaline::sim {

inline constexpr std::uint16_t kBootloaderUdpPort = 6234;
inline constexpr std::uint16_t kDefaultTextPort = 4999;
inline constexpr std::uint16_t kDiscoveryPort = 30303;
inline constexpr std::uint32_t kBootloaderBaud = 115200;  // the bootloader's only serial rate
inline constexpr std::uint32_t kFlashDataBase = 0x40000;

enum class UnitMode { Bootloader, Application };

// The Nth (1-based) arrival of a bootloader command, by its plain code (bit 0x80 ignored).
struct CommandArrival {
  std::uint8_t command = 0;
  std::uint32_t nth = 0;
};

// Each fault is off at its default. Probabilities are 0..1, drawn from one generator seeded by
// `seed`; every bootloader request draws the same amount, so one seed gives one pattern per flag.
// Faults touch the bootloader protocol only (UDP and serial).
struct FaultConfig {
  std::uint64_t seed = 1;
  double dropRequests = 0;      // a request is lost before the unit sees it
  double corruptReplies = 0;    // one byte of a reply packet is changed (its CRC then fails)
  double duplicateReplies = 0;  // a reply is sent twice
  double delayReplies = 0;      // a reply is held back by delayMs
  std::uint32_t delayMs = 0;
  double staleSequence = 0;  // a sequenced reply carries the previous sequence number
  // Arrivals lost before the unit sees them: every request packet of the command counts, plain
  // or sequenced, resends too.
  std::vector<CommandArrival> dropArrivals;
  // Refuse (status 0, nothing applied) the Nth request (1-based, repeats not counted) with this
  // command code (plain code, bit 0x80 ignored); refuseCommand < 0 disables it.
  int refuseCommand = -1;
  std::uint32_t refuseNth = 0;
  // After this many bootloader requests the unit applies and answers nothing more (0: never).
  std::uint32_t silentAfter = 0;
};

struct UnitConfig {
  std::string udpAddress;      // bootloader on ADDR:6234 (empty: none)
  std::string serialLink;      // new pseudo-terminal, this path a link to its slave (empty: none)
  bool serial = false;         // open a pseudo-terminal even without a link path
  std::uint32_t lineRate = 0;  // serial pacing: 10 bit times per byte at this rate (0: none)
  std::uint32_t appBaud = 115200;  // the text port's only rate on the serial line
  std::string tcpText;  // ADDR[:PORT] of the text port (default port 4999, 0: any; empty: none)
  std::string discoveryAddress;  // discovery responder on ADDR:30303 (empty: none)
  UnitMode mode = UnitMode::Bootloader;
  std::string model = "Tessaline";
  std::string mcuFamily = "STM32";
  std::string dsp = "ADAU1452";
  std::string unitName = "Tessaline unit";    // line 1 of the identity and discovery texts
  std::string unitMac = "00-1B-C5-00-00-01";  // line 2
  std::uint8_t bootloaderMajor = 1;
  std::uint8_t bootloaderMinor = 0;
  bool sequencedCapable = true;                   // identity reply carries data byte 3 and the text
  std::uint32_t applicationVersion = 0x00010001;  // before any erase (major << 16 | minor)
  // A fault: 0x09 keeps reporting the version the unit had before its last application erase,
  // whatever was written since.
  bool staleVersion = false;
  std::uint32_t applicationStart = 0x08020000;  // application area (records outside: refused)
  std::uint32_t applicationEnd = 0x08080000;
  std::uint32_t flashDataSize = 0x100000;  // flash data space from kFlashDataBase
  std::string pin = "1234";
  bool bootloadEnabled = false;                 // what "<SY,BQ/>" reports in application mode
  // A fault: the state letter "<SY,BQ/>" reports in place of 'e' or 'd'.
  std::optional<char> bootloadStateLetter;
  std::uint32_t bootloaderSwitchDelayMs = 200;  // after "<SY,BR/>"
  std::uint32_t eraseDelayMs = 0;               // processing time of the erase commands
  FaultConfig faults;
};

struct RequestLogEntry {
  std::uint8_t command = 0;    // as sent, bit 0x80 included
  std::uint32_t sequence = 0;  // 0 for plain commands
  std::uint32_t dataLength = 0;
  std::uint32_t timeMs = 0;  // since the unit started
  bool resent = false;       // a repeat of the request already applied (answered, not applied)
  bool applied = false;      // false for repeats, refusals and requests after falling silent
};

struct FaultCounts {
  std::uint32_t dropped = 0;
  std::uint32_t corrupted = 0;
  std::uint32_t duplicated = 0;
  std::uint32_t delayed = 0;
  std::uint32_t stale = 0;
  std::uint32_t refused = 0;
  std::uint32_t silenced = 0;
};

// What the serial line carried and how long the host kept it idle before each request.
struct SerialLineFigures {
  std::uint64_t bytesToUnit = 0;
  std::uint64_t bytesFromUnit = 0;
  // The host's turnaround: from the last byte of a reply leaving the unit to the first byte of the
  // next request reaching it. It includes the simulator's own wake-up, a few tens of microseconds.
  std::uint32_t turnarounds = 0;
  double turnaroundTotalMs = 0;
  double turnaroundMedianMs = 0;
  double turnaroundP99Ms = 0;
};

struct MemoryDigest {
  std::uint32_t length = 0;
  std::string sha256;  // lower-case hex
};

class SimulatedUnit {
 public:
  explicit SimulatedUnit(UnitConfig config);
  ~SimulatedUnit();  // stops every port and thread
  SimulatedUnit(const SimulatedUnit&) = delete;
  SimulatedUnit& operator=(const SimulatedUnit&) = delete;

  // Opens every configured port and starts serving; false with a reason when a port cannot open.
  bool Start(std::string* error = nullptr);
  void Stop();

  // The pseudo-terminal's slave path (empty without serial).
  std::string SerialPath() const;
  // The text port's TCP port once started (0 without one); useful with ADDR:0.
  std::uint16_t TextPort() const;
  UnitMode Mode() const;
  void SetMode(UnitMode mode);

  std::vector<RequestLogEntry> RequestLog() const;
  // Command bytes as sent (bit 0x80 kept) of the applied requests in order, for wire-order checks.
  std::vector<std::uint8_t> CommandOrder() const;
  // Text commands received by the application, in order ("<SY,BQ/>", ...).
  std::vector<std::string> TextLog() const;
  FaultCounts Faults() const;
  std::uint32_t ApplicationVersion() const;

  // Application memory from its lowest to its highest written address, gaps as 0xFF.
  std::uint32_t ApplicationBase() const;
  std::vector<std::uint8_t> ApplicationMemory() const;
  // Flash data from kFlashDataBase (0x40000) to the highest written byte.
  std::vector<std::uint8_t> FlashData() const;
  MemoryDigest ApplicationDigest() const;
  MemoryDigest FlashDataDigest() const;
  bool FactoryDefaultsRestored() const;
  bool UpdateFinished() const;  // the finish command arrived with no transfer left open

  // Figures of the serial line so far (kept after Stop); all zero without serial.
  SerialLineFigures SerialLine() const;

  // The --log JSON: requests, final mode, memory lengths and SHA-256 digests, and the serial
  // line's figures when there is one.
  std::string LogJson() const;

 private:
  class Impl;
  std::unique_ptr<Impl> impl_;
};

// What a unit ends up holding after the records of an Intel HEX text are applied (for tests):
// base address and bytes from the lowest to the highest address, gaps 0xFF. Empty on a bad text.
struct DecodedImage {
  std::uint32_t base = 0;
  std::vector<std::uint8_t> bytes;
};
std::optional<DecodedImage> DecodeIntelHex(const std::string& text);

std::string Sha256Hex(const std::vector<std::uint8_t>& bytes);

}  // namespace tessaline::sim
