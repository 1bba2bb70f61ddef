// The desktop program's side of discovery and the version query: typed findings as window messages.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>

#include "discovery/discovery_listener.h"
#include "discovery/version_worker.h"
#include "ui/message_target.h"

namespace tessaline {

// WM_APP_NET_UNIT_FOUND (wParam flags, lParam address) and WM_APP_COM_UNIT_FOUND (wParam 1 in
// bootload, the device as its text), posted; a failed search's socket in its box, on the worker.
class DiscoveryMessages final : public DiscoveryListener {
 public:
  explicit DiscoveryMessages(std::shared_ptr<MessageTarget> window) : window_(std::move(window)) {}
  void NetworkUnitFound(std::uint32_t addressNetworkOrder, std::uint16_t flags) override;
  void SerialUnitFound(const UnitAddress& unit, bool inBootload) override;
  void NetworkSearchFailed(const SocketFailure& failure) override;

 private:
  std::shared_ptr<MessageTarget> window_;
};

// The version query's findings as the posted messages the main window and the Discover dialog
// read. Detach stops every later report, so a late answer about an earlier unit never arrives.
class VersionMessages final : public VersionListener {
 public:
  // WM_APP_VERSION_QUERY_DONE carries `doneTag` as its wParam (the Discover dialog numbers its
  // queries; the main window uses 0).
  explicit VersionMessages(std::shared_ptr<MessageTarget> window, std::uint64_t doneTag = 0)
      : window_(std::move(window)), doneTag_(doneTag) {}
  void QueryBegan() override;
  void BootloaderVersion(std::uint16_t version) override;
  void ApplicationVersion(std::optional<std::uint32_t> version) override;
  void NoBootloader() override;
  void BootloadState(char letter) override;
  void SocketFailed(const SocketFailure& failure) override;
  void QueryEnded() override;
  void Detach();

 private:
  void Post(std::uint32_t code, std::uint64_t wParam, std::uint64_t lParam = 0);
  void PostBootloadOffers(bool enter, bool exit);

  std::mutex mutex_;
  std::shared_ptr<MessageTarget> window_;
  std::uint64_t doneTag_;
};

}  // namespace tessaline
