// Private network namespaces joined by a veth pair, so discovery broadcasts never leave the test.
#pragma once

#include <fcntl.h>
#include <sched.h>
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace tessaline::testing {

// Two namespaces, "updater" and "units", each holding one end of a veth pair. Deleted (with the
// pair) on destruction.
class NamespacePair {
 public:
  NamespacePair() {
    const std::string id = std::to_string(::getpid());
    updater_ = "tsl-upd-" + id;
    units_ = "tsl-unit-" + id;
    const std::string updaterLink = "tslu" + id;
    const std::string unitLink = "tslv" + id;
    Run("ip netns del " + updater_);  // leftovers of a killed run
    Run("ip netns del " + units_);
    ready_ = Run("ip netns add " + updater_) && Run("ip netns add " + units_) &&
             Run("ip link add " + updaterLink + " netns " + updater_ + " type veth peer name " +
                 unitLink + " netns " + units_) &&
             Run("ip -n " + updater_ + " link set lo up") &&
             Run("ip -n " + units_ + " link set lo up") &&
             Run("ip -n " + updater_ + " link set " + updaterLink + " up") &&
             Run("ip -n " + units_ + " link set " + unitLink + " up");
    updaterLink_ = updaterLink;
    unitLink_ = unitLink;
  }
  ~NamespacePair() {
    Run("ip netns del " + updater_);
    Run("ip netns del " + units_);
  }
  NamespacePair(const NamespacePair&) = delete;
  NamespacePair& operator=(const NamespacePair&) = delete;

  bool Ready() const { return ready_; }
  // "192.0.2.1/24" on the updater's end or the units' end.
  bool AddUpdaterAddress(const std::string& cidr) {
    return Run("ip -n " + updater_ + " addr add " + cidr + " dev " + updaterLink_);
  }
  bool AddUnitAddress(const std::string& cidr) {
    return Run("ip -n " + units_ + " addr add " + cidr + " dev " + unitLink_);
  }
  const std::string& Updater() const { return updater_; }
  const std::string& Units() const { return units_; }

  // Runs `body` on a new thread inside namespace `name`; threads and sockets it creates stay
  // there. False when the namespace could not be joined.
  template <typename Body>
  static bool RunInside(const std::string& name, Body&& body) {
    bool joined = false;
    std::thread inside([&] {
      const int fd = ::open(("/var/run/netns/" + name).c_str(), O_RDONLY | O_CLOEXEC);
      if (fd < 0) return;
      joined = ::setns(fd, CLONE_NEWNET) == 0;
      ::close(fd);
      if (joined) body();
    });
    inside.join();
    return joined;
  }

 private:
  static bool Run(const std::string& command) {
    return std::system((command + " >/dev/null 2>&1").c_str()) == 0;
  }

  bool ready_ = false;
  std::string updater_;
  std::string units_;
  std::string updaterLink_;
  std::string unitLink_;
};

}  // namespace tessaline::testing
