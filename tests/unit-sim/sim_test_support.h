// Hand-built bootloader frames and real loopback sockets and pseudo-terminals for the simulator
// tests.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "unit-sim/posix_io.h"

namespace tessaline::sim::testing {

using Bytes = std::vector<std::uint8_t>;

// A framed request: command, sequence number (sequenced codes only), data, CRC.
Bytes Request(std::uint8_t command, std::uint32_t sequence = 0, const Bytes& data = {});
// The decoded packet (command through CRC) of the first good frame in `bytes`.
std::optional<Bytes> DecodeFrame(const Bytes& bytes);
// Reply data: the bytes after the command byte (and sequence number) and before the CRC.
Bytes ReplyData(const Bytes& packet);
std::uint32_t ReplySequence(const Bytes& packet);

// Raw records (no ':' and no text) of a HEX text, as the updater sends them.
std::vector<Bytes> RawRecords(const std::string& hexText);
// The 72-byte payload of a flash data chunk.
Bytes ChunkPayload(std::uint32_t address, const Bytes& data);

class UdpClient {
 public:
  UdpClient();
  void SendTo(const std::string& address, std::uint16_t port, const Bytes& bytes);
  // One datagram, or nothing within timeoutMs.
  std::optional<Bytes> Receive(int timeoutMs, sockaddr_in* from = nullptr);

 private:
  UniqueFd fd_;
};

// A bootloader conversation over UDP: sends a request and returns the decoded reply packet.
class UdpBootloaderClient {
 public:
  explicit UdpBootloaderClient(std::string address) : address_(std::move(address)) {}
  std::optional<Bytes> Exchange(std::uint8_t command, std::uint32_t sequence = 0,
                                const Bytes& data = {}, int timeoutMs = 1000);
  UdpClient& Socket() { return client_; }

 private:
  std::string address_;
  UdpClient client_;
};

// The updater's end of a pseudo-terminal: raw 8N1 at a chosen rate.
class PtyClient {
 public:
  PtyClient(const std::string& path, std::uint32_t baud);
  bool IsOpen() const { return fd_.Valid(); }
  void SetRate(std::uint32_t baud);
  void Write(const Bytes& bytes);
  void Write(const std::string& text);
  // Everything that arrives until `done` says so or timeoutMs passes.
  Bytes ReadFor(int timeoutMs);
  // Bytes until a complete frame decodes, or nothing within timeoutMs.
  std::optional<Bytes> ReadFrame(int timeoutMs);
  // Text up to and including '>', or what arrived within timeoutMs.
  std::string ReadReply(int timeoutMs);

 private:
  UniqueFd fd_;
};

class TcpClient {
 public:
  bool Connect(const std::string& address, std::uint16_t port);
  void Send(const std::string& text);
  std::string ReadReply(int timeoutMs);

 private:
  UniqueFd fd_;
};

}  // namespace tessaline::sim::testing
