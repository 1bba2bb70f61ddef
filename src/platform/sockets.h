// UDP and TCP sockets over IPv4 with receive time-outs, and the socket library's start-up.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace tessaline::platform {

// IPv4 addresses are 32-bit values in network byte order: the bytes in memory are a.b.c.d.
std::uint32_t Ipv4FromOctets(std::uint8_t a, std::uint8_t b, std::uint8_t c, std::uint8_t d);
std::uint32_t NetworkToHost32(std::uint32_t value);
std::uint32_t HostToNetwork32(std::uint32_t value);

// The socket library's start-up and clean-up (WSAStartup/WSACleanup on Windows, nothing on POSIX).
class SocketLibrary {
 public:
  SocketLibrary();
  ~SocketLibrary();
  SocketLibrary(const SocketLibrary&) = delete;
  SocketLibrary& operator=(const SocketLibrary&) = delete;
};

// The system's words for why the calling thread's last socket call failed; read it before any
// other socket call.
std::string LastSocketError();

// Where a datagram came from.
struct Ipv4Endpoint {
  std::uint32_t address = 0;  // network byte order
  std::uint16_t port = 0;     // host byte order
};

// One socket handle, closed on destruction. Move-only.
class Socket {
 public:
  enum class Type { Udp, Tcp };

  Socket() = default;
  ~Socket();
  Socket(Socket&& other) noexcept;
  Socket& operator=(Socket&& other) noexcept;
  Socket(const Socket&) = delete;
  Socket& operator=(const Socket&) = delete;

  bool Create(Type type);
  bool IsValid() const;
  void Close() noexcept;

  bool SetReceiveTimeout(std::uint32_t milliseconds);
  bool SetBroadcast(bool enabled);
  bool SetLingerOff();
  bool SetReuseAddress(bool enabled);
  bool Bind(std::uint32_t address, std::uint16_t port);
  std::optional<Ipv4Endpoint> LocalEndpoint() const;

  // UDP
  bool SendTo(std::uint32_t address, std::uint16_t port, const std::uint8_t* bytes,
              std::uint32_t count, bool dontRoute = false);
  // Bytes of one datagram, or -1 on error, time-out, or a datagram larger than `capacity`.
  std::int32_t ReceiveFrom(std::uint8_t* buffer, std::uint32_t capacity, Ipv4Endpoint* from);

  // TCP
  // False when refused, unreachable or not accepted within `timeoutMs`; the socket then serves
  // no other connect.
  bool Connect(std::uint32_t address, std::uint16_t port, std::uint32_t timeoutMs);
  bool Listen(int backlog);
  Socket Accept(Ipv4Endpoint* from);
  // Bytes sent in one call, or -1 on error.
  std::int32_t Send(const std::uint8_t* bytes, std::uint32_t count);
  // Bytes received, 0 when the peer closed, -1 on error or time-out.
  std::int32_t Receive(std::uint8_t* buffer, std::uint32_t capacity);

 private:
  std::intptr_t handle_ = -1;
  // The receive time-out last set (0: none). POSIX waits with poll, whose timer keeps to the
  // millisecond where SO_RCVTIMEO runs in scheduler ticks (a 10 ms wait took about 18).
  std::uint32_t receiveTimeoutMs_ = 0;
};

}  // namespace tessaline::platform
