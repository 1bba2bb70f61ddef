// The Discover dialog's worker thread: start, stop, and never an orphaned thread.
#include "discovery/discovery_thread.h"

#include <system_error>

namespace tessaline {

DiscoveryThread::DiscoveryThread(std::string identity, NetworkDiscoveryOptions network,
                                 SerialDiscoveryOptions serial)
    : identity_(std::move(identity)), network_(std::move(network)), serial_(std::move(serial)) {}

DiscoveryThread::~DiscoveryThread() { StopDiscovery(); }

void DiscoveryThread::StartDiscovery(std::shared_ptr<DiscoveryListener> listener,
                                     DiscoverMode mode) {
  StopDiscovery();
  if (!listener) return;
  stop_ = false;
  // Called from a dialog procedure: a thread that cannot start leaves the list empty instead of
  // throwing through it.
  try {
    worker_ = platform::JoinedThread([this, mode, to = std::move(listener)] {
      if (mode == DiscoverMode::Network) {
        ip_discover_thread(*to, stop_, identity_, network_);
      } else {
        com_discover_thread(*to, stop_, identity_.size(), serial_);
      }
    });
  } catch (const std::system_error&) {
  }
}

void DiscoveryThread::StopDiscovery() {
  stop_ = true;
  worker_.Join();
}

}  // namespace tessaline
