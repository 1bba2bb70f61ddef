// The serial-port transport over platform::SerialPort.
#include "transport/com_transport.h"

#include <algorithm>
#include <utility>

namespace tessaline {

namespace {
// Bits on the line per character at 8N1: start, eight data bits, stop.
constexpr std::uint32_t kBitsPerCharacter = 10;
// A gap this many characters long ends a burst from the unit.
constexpr std::uint32_t kQuietCharacters = 4;
// Below this, scheduling noise on the host would split one burst into many reads. It is paid
// once per bootloader exchange (12000 in a full update), and a split burst only costs the link
// another read, so it stays at the smallest wait the OS offers.
constexpr std::uint32_t kMinQuietMs = 1;

std::uint32_t QuietMsFor(std::uint32_t baudRate) {
  if (baudRate == 0) return kMinQuietMs;
  const std::uint32_t bits = kQuietCharacters * kBitsPerCharacter * 1000u;
  return std::max(kMinQuietMs, (bits + baudRate - 1) / baudRate);
}
}  // namespace

COMTransport::COMTransport(std::string portName, std::uint32_t baudRate)
    : baudRate_(baudRate), portName_(std::move(portName)) {}

COMTransport::~COMTransport() = default;

bool COMTransport::Open() {
  port_.Close();
  if (port_.Open(portName_) && !port_.Configure(baudRate_)) port_.Close();
  return port_.IsOpen();
}

bool COMTransport::IsOpen() const { return port_.IsOpen(); }

bool COMTransport::Close() {
  port_.Close();
  return true;
}

bool COMTransport::Write(const std::uint8_t* bytes, std::uint32_t count) {
  if (!port_.Write(bytes, count)) port_.Close();
  return true;
}

std::uint32_t COMTransport::Read(std::uint8_t* buffer, std::uint32_t capacity) {
  return port_.Read(buffer, capacity, kSerialReadWaitMs, QuietMsFor(baudRate_));
}

}  // namespace tessaline
