// The application's Parser Port: text commands over TCP, one per CR LF line; closed in bootloader.
#pragma once

#include <vector>

#include "posix_io.h"
#include "text_protocol.h"
#include "unit_core.h"

namespace tessaline::sim {

class TcpTextPort {
 public:
  TcpTextPort(UnitCore& core, const StopSignal& stop) : core_(core), stop_(stop) {}
  bool Open(std::string* error);
  void Run();
  std::uint16_t Port() const { return port_; }

 private:
  struct Client {
    UniqueFd fd;
    TextCommandSplitter splitter{TextCommandSplitter::Framing::ParserPortLines};
  };
  void ServeClient(Client& client, bool* closed);

  UnitCore& core_;
  const StopSignal& stop_;
  in_addr address_{};
  std::uint16_t port_ = 0;
  UniqueFd listener_;
  std::vector<Client> clients_;
};

}  // namespace tessaline::sim
