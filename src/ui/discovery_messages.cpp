// Discovery and version query findings to the window messages of the message table.
#include "ui/discovery_messages.h"

#include "discovery/text_protocol.h"
#include "ui/failure_boxes.h"
#include "ui/messages.h"

namespace tessaline {

void DiscoveryMessages::NetworkUnitFound(std::uint32_t addressNetworkOrder, std::uint16_t flags) {
  if (window_) window_->Post({WM_APP_NET_UNIT_FOUND, flags, addressNetworkOrder, {}});
}

void DiscoveryMessages::SerialUnitFound(const UnitAddress& unit, bool inBootload) {
  if (window_) window_->Post({WM_APP_COM_UNIT_FOUND, inBootload ? 1u : 0u, 0, unit.Device()});
}

void DiscoveryMessages::NetworkSearchFailed(const SocketFailure& failure) {
  ShowSocketErrorBox(failure);
}

void VersionMessages::Post(std::uint32_t code, std::uint64_t wParam, std::uint64_t lParam) {
  std::lock_guard lock(mutex_);  // held while posting, so nothing arrives after Detach returns
  if (window_) window_->Post({code, wParam, lParam, {}});
}

void VersionMessages::PostBootloadOffers(bool enter, bool exit) {
  Post(WM_APP_ENABLE_ENTER_BOOTLOAD, enter ? 1 : 0);
  Post(WM_APP_ENABLE_EXIT_BOOTLOAD, exit ? 1 : 0);
}

void VersionMessages::Detach() {
  std::lock_guard lock(mutex_);
  window_.reset();
}

void VersionMessages::QueryBegan() { Post(WM_APP_ENABLE_EXIT_BOOTLOAD, 0); }

void VersionMessages::BootloaderVersion(std::uint16_t version) {
  Post(WM_APP_BOOTLOADER_VERSION, version);
  PostBootloadOffers(false, true);
}

void VersionMessages::ApplicationVersion(std::optional<std::uint32_t> version) {
  Post(WM_APP_APPLICATION_VERSION, 0, version.value_or(kNoApplicationVersion));
}

void VersionMessages::NoBootloader() {
  Post(WM_APP_NO_BOOTLOADER, 0);
  ApplicationVersion(std::nullopt);
  PostBootloadOffers(false, false);
}

void VersionMessages::BootloadState(char letter) {
  PostBootloadOffers(letter == kBootloadDisabledLetter, letter == kBootloadEnabledLetter);
}

void VersionMessages::SocketFailed(const SocketFailure& failure) { ShowSocketErrorBox(failure); }

void VersionMessages::QueryEnded() { Post(WM_APP_VERSION_QUERY_DONE, doneTag_); }

}  // namespace tessaline
