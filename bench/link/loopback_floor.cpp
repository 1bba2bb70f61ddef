// The least an update's exchanges can cost on this machine: pairs of threads, one per unit on
// each side, trading a chunk-sized request for a status-sized reply over loopback UDP, one in
// flight per pair, with the same calls the updater and the simulated unit make and nothing else.
// The unit side runs in a child process, as the simulated units do. Prints the wall and CPU time
// for one pair and for several at once.
//   loopback_floor [round trips per pair (default 12227)] [pairs (default 16)]
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>
#include <vector>

namespace {

// One flash data chunk's frame on the wire, and the unit's accepting reply (both measured).
constexpr std::size_t kRequestBytes = 82;
constexpr std::size_t kReplyBytes = 11;
constexpr std::size_t kStopBytes = 1;
constexpr int kReplyWaitMs = 1000;

double Seconds(const timeval& t) {
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6;
}

double CpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return Seconds(usage.ru_utime) + Seconds(usage.ru_stime);
}

// Answers every request on `socket` until the stop datagram; the simulated unit's loop.
void Answer(int socket) {
  std::array<char, 2048> buffer{};
  const std::array<char, kReplyBytes> reply{};
  for (;;) {
    sockaddr_in from{};
    socklen_t fromLength = sizeof from;
    const ssize_t got = recvfrom(socket, buffer.data(), buffer.size(), 0,
                                 reinterpret_cast<sockaddr*>(&from), &fromLength);
    if (got <= 0 || static_cast<std::size_t>(got) == kStopBytes) return;
    sendto(socket, reply.data(), reply.size(), 0, reinterpret_cast<sockaddr*>(&from), fromLength);
  }
}

// Sends `rounds` requests to `unit`, each after the previous reply; the updater's exchange.
bool Ask(const sockaddr_in& unit, int rounds) {
  const int socket = ::socket(AF_INET, SOCK_DGRAM, 0);
  if (socket < 0) return false;
  const std::array<char, kRequestBytes> request{};
  std::array<char, 2048> reply{};
  const auto* to = reinterpret_cast<const sockaddr*>(&unit);
  bool answered = true;
  for (int k = 0; k < rounds && answered; ++k) {
    sendto(socket, request.data(), request.size(), 0, to, sizeof unit);
    pollfd entry{socket, POLLIN, 0};
    answered = poll(&entry, 1, kReplyWaitMs) == 1 && recv(socket, reply.data(), reply.size(), 0) > 0;
  }
  const char stop = 0;
  sendto(socket, &stop, kStopBytes, 0, to, sizeof unit);
  close(socket);
  return answered;
}

// One run of `pairs` pairs; false when a unit stopped answering.
bool Run(int pairs, int rounds) {
  std::vector<int> units;
  std::vector<sockaddr_in> addresses;
  for (int k = 0; k < pairs; ++k) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    const int socket = ::socket(AF_INET, SOCK_DGRAM, 0);
    if (socket < 0 || bind(socket, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        getsockname(socket, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
      std::perror("loopback_floor: socket");
      return false;
    }
    units.push_back(socket);
    addresses.push_back(address);
  }
  std::fflush(stdout);  // the child must not print the parent's lines again
  const pid_t child = fork();
  if (child < 0) return false;
  if (child == 0) {
    std::vector<std::thread> answering;
    for (const int socket : units) answering.emplace_back(Answer, socket);
    for (auto& thread : answering) thread.join();
    _exit(0);
  }
  for (const int socket : units) close(socket);
  const double cpuBefore = CpuSeconds();
  const auto start = std::chrono::steady_clock::now();
  std::vector<std::thread> asking;
  std::vector<char> answered(static_cast<std::size_t>(pairs), 0);
  for (int k = 0; k < pairs; ++k) {
    asking.emplace_back([&, k] { answered[k] = Ask(addresses[k], rounds) ? 1 : 0; });
  }
  for (auto& thread : asking) thread.join();
  const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  const double cpu = CpuSeconds() - cpuBefore;
  int status = 0;
  rusage unitSide{};
  wait4(child, &status, 0, &unitSide);
  std::printf(
      "loopback floor, %d pair(s) x %d round trips: wall %.2f s; CPU updater side %.2f s, unit side "
      "%.2f s\n",
      pairs, rounds, wall, cpu, Seconds(unitSide.ru_utime) + Seconds(unitSide.ru_stime));
  for (const char ok : answered) {
    if (ok == 0) {
      std::fprintf(stderr, "loopback_floor: a unit stopped answering\n");
      return false;
    }
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  const int rounds = argc > 1 ? std::atoi(argv[1]) : 12227;
  const int pairs = argc > 2 ? std::atoi(argv[2]) : 16;
  if (rounds < 1 || pairs < 1 || pairs > 1024) {
    std::fprintf(stderr, "usage: loopback_floor [round trips per pair] [pairs]\n");
    return 64;
  }
  return Run(1, rounds) && Run(pairs, rounds) ? 0 : 1;
}
