// Discovery and version query listeners that record their typed findings in order.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <optional>
#include <ostream>
#include <vector>

#include "discovery/discovery_listener.h"
#include "discovery/version_worker.h"

namespace tessaline::testing {

struct VersionEvent {
  enum class Kind {
    QueryBegan,
    BootloaderVersion,
    ApplicationVersion,
    NoBootloader,
    BootloadState,
    SocketFailed,
    QueryEnded
  };
  Kind kind = Kind::QueryBegan;
  std::optional<std::uint32_t> version;  // the bootloader's or the application's
  char letter = 0;                       // BootloadState

  static VersionEvent Began() { return {Kind::QueryBegan, std::nullopt, 0}; }
  static VersionEvent Bootloader(std::uint16_t version) {
    return {Kind::BootloaderVersion, version, 0};
  }
  static VersionEvent Application(std::optional<std::uint32_t> version) {
    return {Kind::ApplicationVersion, version, 0};
  }
  static VersionEvent Silent() { return {Kind::NoBootloader, std::nullopt, 0}; }
  static VersionEvent State(char letter) { return {Kind::BootloadState, std::nullopt, letter}; }
  static VersionEvent Ended() { return {Kind::QueryEnded, std::nullopt, 0}; }
  bool operator==(const VersionEvent&) const = default;

  friend void PrintTo(const VersionEvent& e, std::ostream* os) {
    constexpr const char* kNames[] = {"QueryBegan",   "BootloaderVersion", "ApplicationVersion",
                                      "NoBootloader", "BootloadState",     "SocketFailed",
                                      "QueryEnded"};
    *os << kNames[static_cast<std::size_t>(e.kind)] << "(";
    if (e.version) *os << "0x" << std::hex << *e.version << std::dec;
    if (e.letter != 0) *os << "'" << e.letter << "'";
    *os << ")";
  }
};

// Thread-safe: the version worker reports on its own thread.
class RecordingVersionListener final : public VersionListener {
 public:
  void QueryBegan() override { Add(VersionEvent::Began()); }
  void BootloaderVersion(std::uint16_t version) override { Add(VersionEvent::Bootloader(version)); }
  void ApplicationVersion(std::optional<std::uint32_t> version) override {
    Add(VersionEvent::Application(version));
  }
  void NoBootloader() override { Add(VersionEvent::Silent()); }
  void BootloadState(char letter) override { Add(VersionEvent::State(letter)); }
  void SocketFailed(const SocketFailure& failure) override {
    std::lock_guard lock(mutex_);
    failures_.push_back(failure);
    events_.push_back({VersionEvent::Kind::SocketFailed, std::nullopt, 0});
    changed_.notify_all();
  }
  void QueryEnded() override { Add(VersionEvent::Ended()); }

  std::vector<VersionEvent> Events() const {
    std::lock_guard lock(mutex_);
    return events_;
  }
  std::vector<SocketFailure> Failures() const {
    std::lock_guard lock(mutex_);
    return failures_;
  }
  // Waits until QueryEnded has arrived (true) or `timeoutMs` passed (false).
  bool WaitForEnd(std::uint32_t timeoutMs) const {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] {
      return !events_.empty() && events_.back().kind == VersionEvent::Kind::QueryEnded;
    });
  }

 private:
  void Add(VersionEvent event) {
    std::lock_guard lock(mutex_);
    events_.push_back(event);
    changed_.notify_all();
  }

  mutable std::mutex mutex_;
  mutable std::condition_variable changed_;
  std::vector<VersionEvent> events_;
  std::vector<SocketFailure> failures_;
};

// Thread-safe: discovery reports on its own thread.
class RecordingDiscoveryListener final : public DiscoveryListener {
 public:
  struct NetworkUnit {
    std::uint32_t address = 0;  // network byte order
    std::uint16_t flags = 0;
  };
  struct SerialUnit {
    UnitAddress unit;
    bool inBootload = false;
  };

  void NetworkUnitFound(std::uint32_t addressNetworkOrder, std::uint16_t flags) override {
    std::lock_guard lock(mutex_);
    network_.push_back({addressNetworkOrder, flags});
  }
  void SerialUnitFound(const UnitAddress& unit, bool inBootload) override {
    std::lock_guard lock(mutex_);
    serial_.push_back({unit, inBootload});
  }
  void NetworkSearchFailed(const SocketFailure& failure) override {
    std::lock_guard lock(mutex_);
    failures_.push_back(failure);
  }

  std::vector<NetworkUnit> NetworkUnits() const {
    std::lock_guard lock(mutex_);
    return network_;
  }
  std::vector<SerialUnit> SerialUnits() const {
    std::lock_guard lock(mutex_);
    return serial_;
  }
  std::vector<SocketFailure> Failures() const {
    std::lock_guard lock(mutex_);
    return failures_;
  }

 private:
  mutable std::mutex mutex_;
  std::vector<NetworkUnit> network_;
  std::vector<SerialUnit> serial_;
  std::vector<SocketFailure> failures_;
};

}  // namespace tessaline::testing
