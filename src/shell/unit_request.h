// The record handed to a worker: who to report to and the transport that names the unit.
#pragma once

#include <memory>

#include "shell/message_target.h"
#include "transport/transport.h"

namespace tessaline {

struct UnitRequest {
  std::shared_ptr<MessageTarget> window;
  std::unique_ptr<Transport> transport;  // the worker takes ownership
};

}  // namespace tessaline
