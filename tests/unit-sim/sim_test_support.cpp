// Hand-built bootloader frames and real loopback sockets and pseudo-terminals for the simulator
// tests.
#include "sim_test_support.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>

#include "link/packet_codec.h"
#include "unit-sim/intel_hex.h"

namespace tessaline::sim::testing {
namespace {

using Clock = std::chrono::steady_clock;

int RemainingMs(Clock::time_point deadline) {
  const auto left =
      std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
  return left > 0 ? static_cast<int>(left) : 0;
}

speed_t SpeedCode(std::uint32_t baud) {
  switch (baud) {
    case 4800:
      return B4800;
    case 9600:
      return B9600;
    case 19200:
      return B19200;
    case 38400:
      return B38400;
    case 57600:
      return B57600;
    default:
      return B115200;
  }
}

}  // namespace

Bytes Request(std::uint8_t command, std::uint32_t sequence, const Bytes& data) {
  Bytes packet{command};
  if (command & kSequencedBit) {
    for (int shift = 24; shift >= 0; shift -= 8) {
      packet.push_back(static_cast<std::uint8_t>(sequence >> shift));
    }
  }
  packet.insert(packet.end(), data.begin(), data.end());
  AppendCrc(packet);
  Bytes frame;
  FrameBytes(packet, frame);
  return frame;
}

std::optional<Bytes> DecodeFrame(const Bytes& bytes) {
  FrameDecoder decoder;
  decoder.Feed(bytes.data(), bytes.size());
  if (!decoder.Complete()) return std::nullopt;
  return decoder.Take();
}

Bytes ReplyData(const Bytes& packet) {
  const std::size_t start = (packet.at(0) & kSequencedBit) ? 5 : 1;
  return Bytes(packet.begin() + static_cast<std::ptrdiff_t>(start), packet.end() - 2);
}

std::uint32_t ReplySequence(const Bytes& packet) {
  return static_cast<std::uint32_t>(packet.at(1)) << 24 |
         static_cast<std::uint32_t>(packet.at(2)) << 16 |
         static_cast<std::uint32_t>(packet.at(3)) << 8 | packet.at(4);
}

std::vector<Bytes> RawRecords(const std::string& hexText) {
  std::vector<Bytes> records;
  std::size_t start = 0;
  while (start < hexText.size()) {
    std::size_t stop = hexText.find('\n', start);
    if (stop == std::string::npos) stop = hexText.size();
    std::string line = hexText.substr(start, stop - start);
    start = stop + 1;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty()) continue;
    records.push_back(HexLineBytes(line).value());
  }
  return records;
}

Bytes ChunkPayload(std::uint32_t address, const Bytes& data) {
  Bytes payload(72, 0);
  const auto length = static_cast<std::uint32_t>(data.size());
  for (int i = 0; i < 4; ++i) {
    payload[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(address >> (8 * i));
    payload[static_cast<std::size_t>(4 + i)] = static_cast<std::uint8_t>(length >> (8 * i));
  }
  std::copy(data.begin(), data.end(), payload.begin() + 8);
  return payload;
}

UdpClient::UdpClient() : fd_(::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0)) {
  sockaddr_in local{};
  local.sin_family = AF_INET;
  local.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ::bind(fd_.Get(), reinterpret_cast<sockaddr*>(&local), sizeof local);
  const int on = 1;
  ::setsockopt(fd_.Get(), SOL_SOCKET, SO_BROADCAST, &on, sizeof on);
}

void UdpClient::SendTo(const std::string& address, std::uint16_t port, const Bytes& bytes) {
  sockaddr_in to{};
  to.sin_family = AF_INET;
  to.sin_port = htons(port);
  ::inet_pton(AF_INET, address.c_str(), &to.sin_addr);
  ::sendto(fd_.Get(), bytes.data(), bytes.size(), 0, reinterpret_cast<sockaddr*>(&to), sizeof to);
}

std::optional<Bytes> UdpClient::Receive(int timeoutMs, sockaddr_in* from) {
  pollfd entry{fd_.Get(), POLLIN, 0};
  if (::poll(&entry, 1, timeoutMs) <= 0) return std::nullopt;
  Bytes buffer(65536);
  sockaddr_in sender{};
  socklen_t length = sizeof sender;
  const ssize_t got = ::recvfrom(fd_.Get(), buffer.data(), buffer.size(), 0,
                                 reinterpret_cast<sockaddr*>(&sender), &length);
  if (got < 0) return std::nullopt;
  if (from != nullptr) *from = sender;
  buffer.resize(static_cast<std::size_t>(got));
  return buffer;
}

std::optional<Bytes> UdpBootloaderClient::Exchange(std::uint8_t command, std::uint32_t sequence,
                                                   const Bytes& data, int timeoutMs) {
  client_.SendTo(address_, 6234, Request(command, sequence, data));
  const auto datagram = client_.Receive(timeoutMs);
  if (!datagram) return std::nullopt;
  return DecodeFrame(*datagram);
}

PtyClient::PtyClient(const std::string& path, std::uint32_t baud)
    : fd_(::open(path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC)) {
  SetRate(baud);
}

void PtyClient::SetRate(std::uint32_t baud) {
  termios settings{};
  ::tcgetattr(fd_.Get(), &settings);
  ::cfmakeraw(&settings);
  ::cfsetispeed(&settings, SpeedCode(baud));
  ::cfsetospeed(&settings, SpeedCode(baud));
  ::tcsetattr(fd_.Get(), TCSANOW, &settings);
}

void PtyClient::Write(const Bytes& bytes) {
  [[maybe_unused]] const ssize_t written = ::write(fd_.Get(), bytes.data(), bytes.size());
}

void PtyClient::Write(const std::string& text) { Write(Bytes(text.begin(), text.end())); }

Bytes PtyClient::ReadFor(int timeoutMs) {
  Bytes all;
  const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
  for (int left = timeoutMs; left > 0; left = RemainingMs(deadline)) {
    pollfd entry{fd_.Get(), POLLIN, 0};
    if (::poll(&entry, 1, left) <= 0) break;
    std::uint8_t buffer[512];
    const ssize_t got = ::read(fd_.Get(), buffer, sizeof buffer);
    if (got <= 0) break;
    all.insert(all.end(), buffer, buffer + got);
  }
  return all;
}

std::optional<Bytes> PtyClient::ReadFrame(int timeoutMs) {
  FrameDecoder decoder;
  const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
  for (int left = timeoutMs; left > 0; left = RemainingMs(deadline)) {
    pollfd entry{fd_.Get(), POLLIN, 0};
    if (::poll(&entry, 1, left) <= 0) break;
    std::uint8_t byte = 0;
    if (::read(fd_.Get(), &byte, 1) != 1) break;
    decoder.Feed(&byte, 1);
    if (decoder.Complete()) return decoder.Take();
  }
  return std::nullopt;
}

std::string PtyClient::ReadReply(int timeoutMs) {
  std::string reply;
  const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
  for (int left = timeoutMs; left > 0; left = RemainingMs(deadline)) {
    pollfd entry{fd_.Get(), POLLIN, 0};
    if (::poll(&entry, 1, left) <= 0) break;
    char c = 0;
    if (::read(fd_.Get(), &c, 1) != 1) break;
    reply.push_back(c);
    if (c == '>') break;
  }
  return reply;
}

bool TcpClient::Connect(const std::string& address, std::uint16_t port) {
  fd_.Reset(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
  sockaddr_in peer{};
  peer.sin_family = AF_INET;
  peer.sin_port = htons(port);
  ::inet_pton(AF_INET, address.c_str(), &peer.sin_addr);
  return ::connect(fd_.Get(), reinterpret_cast<sockaddr*>(&peer), sizeof peer) == 0;
}

void TcpClient::Send(const std::string& text) {
  ::send(fd_.Get(), text.data(), text.size(), MSG_NOSIGNAL);
}

std::string TcpClient::ReadReply(int timeoutMs) {
  std::string reply;
  const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
  for (int left = timeoutMs; left > 0; left = RemainingMs(deadline)) {
    pollfd entry{fd_.Get(), POLLIN, 0};
    if (::poll(&entry, 1, left) <= 0) break;
    char c = 0;
    if (::recv(fd_.Get(), &c, 1, 0) != 1) break;
    reply.push_back(c);
    if (c == '>') break;
  }
  return reply;
}

}  // namespace tessaline::sim::testing
