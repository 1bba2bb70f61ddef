// The application's Parser Port over TCP.
#include "tcp_text_port.h"

#include <poll.h>
#include <sys/socket.h>

#include <cerrno>

namespace tessaline::sim {
namespace {

constexpr int kModeCheckMs = 20;  // how soon a mode change opens or closes the port
constexpr std::size_t kReadChunk = 512;

}  // namespace

bool TcpTextPort::Open(std::string* error) {
  std::string host = core_.Config().tcpText;
  std::uint32_t port = kDefaultTextPort;
  if (const auto colon = host.find(':'); colon != std::string::npos) {
    const std::string portText = host.substr(colon + 1);
    host.resize(colon);
    if (portText.empty() || portText.find_first_not_of("0123456789") != std::string::npos ||
        portText.size() > 5 || (port = static_cast<std::uint32_t>(std::stoul(portText))) > 65535) {
      *error = "bad text port address " + core_.Config().tcpText;
      return false;
    }
  }
  const auto address = ParseIpv4(host);
  if (!address) {
    *error = "bad text port address " + core_.Config().tcpText;
    return false;
  }
  address_ = *address;
  // Bind once even in bootloader mode so the port is known and free; closed again in Run.
  listener_ = ListenTcp(address_, static_cast<std::uint16_t>(port), error);
  if (!listener_.Valid()) return false;
  port_ = LocalPort(listener_.Get());
  return true;
}

void TcpTextPort::ServeClient(Client& client, bool* closed) {
  std::uint8_t buffer[kReadChunk];
  const ssize_t got = ::recv(client.fd.Get(), buffer, sizeof buffer, MSG_DONTWAIT);
  if (got == 0 || (got < 0 && errno != EAGAIN && errno != EINTR)) {
    *closed = true;
    return;
  }
  if (got < 0) return;
  for (const std::string& command : client.splitter.Feed(buffer, static_cast<std::size_t>(got))) {
    const auto reply = core_.HandleTextCommand(command);
    if (reply) ::send(client.fd.Get(), reply->data(), reply->size(), MSG_NOSIGNAL);
  }
}

void TcpTextPort::Run() {
  while (!stop_.Raised()) {
    // The bootloader has no Parser Port: connections are refused until the application runs.
    if (core_.Mode() == UnitMode::Bootloader) {
      clients_.clear();
      listener_.Reset();
    } else if (!listener_.Valid()) {
      std::string ignored;
      listener_ = ListenTcp(address_, port_, &ignored);
    }
    std::vector<pollfd> entries{{stop_.WaitFd(), POLLIN, 0}};
    if (listener_.Valid()) entries.push_back({listener_.Get(), POLLIN, 0});
    const std::size_t firstClient = entries.size();
    for (const Client& client : clients_) entries.push_back({client.fd.Get(), POLLIN, 0});
    if (::poll(entries.data(), entries.size(), kModeCheckMs) <= 0) continue;
    if (entries[0].revents != 0) return;
    for (std::size_t i = clients_.size(); i > 0; --i) {
      if (entries[firstClient + i - 1].revents == 0) continue;
      bool closed = false;
      ServeClient(clients_[i - 1], &closed);
      if (closed) clients_.erase(clients_.begin() + static_cast<std::ptrdiff_t>(i - 1));
    }
    if (listener_.Valid() && entries[1].revents != 0) {
      UniqueFd accepted(::accept4(listener_.Get(), nullptr, nullptr, SOCK_CLOEXEC));
      if (accepted.Valid()) {
        Client client;
        client.fd = std::move(accepted);
        clients_.push_back(std::move(client));
      }
    }
  }
}

}  // namespace tessaline::sim
