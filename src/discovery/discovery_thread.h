// The Discover dialog's worker: one discovery thread at a time, started and stopped by the dialog.
#pragma once

#include <atomic>
#include <memory>
#include <string>

#include "discovery/network_discovery.h"
#include "discovery/serial_discovery.h"
#include "platform/threading.h"

namespace tessaline {

// The Discover dialog's parameter: what it lists.
enum class DiscoverMode : int { Serial = 0, Network = 1 };

class DiscoveryThread {
 public:
  // `identity`: what the units sought announce (AnnounceIdentity of the package's model).
  explicit DiscoveryThread(std::string identity, NetworkDiscoveryOptions network = {},
                           SerialDiscoveryOptions serial = {});
  ~DiscoveryThread();  // StopDiscovery
  DiscoveryThread(const DiscoveryThread&) = delete;
  DiscoveryThread& operator=(const DiscoveryThread&) = delete;

  // Clears the stop flag and starts ip_discover_thread (Network) or com_discover_thread (Serial)
  // reporting to `listener`. A worker still held is stopped and joined first, never left behind.
  void StartDiscovery(std::shared_ptr<DiscoveryListener> listener, DiscoverMode mode);
  // Sets the stop flag and waits for the worker to end. The network worker ends within about
  // two seconds; the serial worker only after the current port's probes.
  void StopDiscovery();
  bool Running() const { return worker_.Running(); }

 private:
  std::string identity_;
  NetworkDiscoveryOptions network_;
  SerialDiscoveryOptions serial_;
  std::atomic<bool> stop_{false};
  platform::JoinedThread worker_;
};

}  // namespace tessaline
