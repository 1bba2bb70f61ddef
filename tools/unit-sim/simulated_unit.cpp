// SimulatedUnit: opens the configured ports, runs one thread per port, and reports the unit's
// state.
#include "simulated_unit.h"

#include <cstdio>
#include <optional>
#include <thread>

#include "discovery_responder.h"
#include "platform/digest.h"
#include "serial_line_port.h"
#include "tcp_text_port.h"
#include "udp_bootloader_port.h"
#include "unit_core.h"

namespace tessaline::sim {

class SimulatedUnit::Impl {
 public:
  explicit Impl(UnitConfig config) : core(std::move(config)) {}

  UnitCore core;
  StopSignal stop;
  std::unique_ptr<UdpBootloaderPort> udp;
  std::unique_ptr<SerialLinePort> serial;
  std::unique_ptr<TcpTextPort> tcp;
  std::unique_ptr<DiscoveryResponder> discovery;
  std::vector<std::thread> threads;
  std::optional<SerialLineFigures> lastSerialLine;  // kept when the serial port closes
  bool started = false;
};

SimulatedUnit::SimulatedUnit(UnitConfig config)
    : impl_(std::make_unique<Impl>(std::move(config))) {}

SimulatedUnit::~SimulatedUnit() { Stop(); }

bool SimulatedUnit::Start(std::string* error) {
  std::string reason;
  if (impl_->started) {
    reason = "already started";
  } else {
    Impl& impl = *impl_;
    const UnitConfig& config = impl.core.Config();
    bool ok = true;
    if (ok && !config.udpAddress.empty()) {
      const auto address = ParseIpv4(config.udpAddress);
      if (!address) {
        reason = "bad UDP address " + config.udpAddress;
        ok = false;
      } else {
        impl.udp = std::make_unique<UdpBootloaderPort>(impl.core, impl.stop, *address);
        ok = impl.udp->Open(&reason);
      }
    }
    if (ok && (config.serial || !config.serialLink.empty())) {
      impl.serial = std::make_unique<SerialLinePort>(impl.core, impl.stop);
      ok = impl.serial->Open(&reason);
    }
    if (ok && !config.tcpText.empty()) {
      impl.tcp = std::make_unique<TcpTextPort>(impl.core, impl.stop);
      ok = impl.tcp->Open(&reason);
    }
    if (ok && !config.discoveryAddress.empty()) {
      impl.discovery = std::make_unique<DiscoveryResponder>(impl.core, impl.stop);
      ok = impl.discovery->Open(&reason);
    }
    if (ok) {
      if (impl.udp) impl.threads.emplace_back([&impl] { impl.udp->Run(); });
      if (impl.serial) impl.threads.emplace_back([&impl] { impl.serial->Run(); });
      if (impl.tcp) impl.threads.emplace_back([&impl] { impl.tcp->Run(); });
      if (impl.discovery) impl.threads.emplace_back([&impl] { impl.discovery->Run(); });
      impl.started = true;
      return true;
    }
    impl.udp.reset();
    impl.serial.reset();
    impl.tcp.reset();
    impl.discovery.reset();
  }
  if (error != nullptr) *error = reason;
  return false;
}

void SimulatedUnit::Stop() {
  impl_->stop.Raise();
  if (impl_->udp) impl_->udp->WakeForStop();
  for (std::thread& thread : impl_->threads) thread.join();
  impl_->threads.clear();
  impl_->udp.reset();
  if (impl_->serial) impl_->lastSerialLine = impl_->serial->Figures();
  impl_->serial.reset();
  impl_->tcp.reset();
  impl_->discovery.reset();
}

std::string SimulatedUnit::SerialPath() const {
  return impl_->serial ? impl_->serial->SlavePath() : std::string();
}

std::uint16_t SimulatedUnit::TextPort() const { return impl_->tcp ? impl_->tcp->Port() : 0; }

UnitMode SimulatedUnit::Mode() const { return impl_->core.Mode(); }
void SimulatedUnit::SetMode(UnitMode mode) { impl_->core.SetMode(mode); }

std::vector<RequestLogEntry> SimulatedUnit::RequestLog() const { return impl_->core.RequestLog(); }

std::vector<std::uint8_t> SimulatedUnit::CommandOrder() const {
  std::vector<std::uint8_t> order;
  for (const RequestLogEntry& entry : impl_->core.RequestLog()) {
    if (entry.applied) order.push_back(entry.command);
  }
  return order;
}

std::vector<std::string> SimulatedUnit::TextLog() const { return impl_->core.TextLog(); }
FaultCounts SimulatedUnit::Faults() const { return impl_->core.Faults(); }
std::uint32_t SimulatedUnit::ApplicationVersion() const { return impl_->core.ApplicationVersion(); }
std::uint32_t SimulatedUnit::ApplicationBase() const { return impl_->core.ApplicationBase(); }
std::vector<std::uint8_t> SimulatedUnit::ApplicationMemory() const {
  return impl_->core.ApplicationMemory();
}
std::vector<std::uint8_t> SimulatedUnit::FlashData() const { return impl_->core.FlashData(); }

MemoryDigest SimulatedUnit::ApplicationDigest() const {
  const auto bytes = ApplicationMemory();
  return {static_cast<std::uint32_t>(bytes.size()), Sha256Hex(bytes)};
}

MemoryDigest SimulatedUnit::FlashDataDigest() const {
  const auto bytes = FlashData();
  return {static_cast<std::uint32_t>(bytes.size()), Sha256Hex(bytes)};
}

std::string Sha256Hex(const std::vector<std::uint8_t>& bytes) {
  return platform::Sha256Hex(std::span(bytes));
}

bool SimulatedUnit::FactoryDefaultsRestored() const {
  return impl_->core.FactoryDefaultsRestored();
}
bool SimulatedUnit::UpdateFinished() const { return impl_->core.UpdateFinished(); }
SerialLineFigures SimulatedUnit::SerialLine() const {
  if (impl_->serial) return impl_->serial->Figures();
  return impl_->lastSerialLine.value_or(SerialLineFigures{});
}

std::string SimulatedUnit::LogJson() const {
  std::string json = impl_->core.LogJson();
  if (!impl_->serial && !impl_->lastSerialLine) return json;
  const SerialLineFigures line = SerialLine();
  char figures[512];
  std::snprintf(figures, sizeof figures,
                ",\n  \"serialLine\": {\"bytesToUnit\": %llu, \"bytesFromUnit\": %llu, "
                "\"turnarounds\": %u, \"turnaroundTotalMs\": %.3f, \"turnaroundMedianMs\": %.4f, "
                "\"turnaroundP99Ms\": %.4f}\n}\n",
                static_cast<unsigned long long>(line.bytesToUnit),
                static_cast<unsigned long long>(line.bytesFromUnit), line.turnarounds,
                line.turnaroundTotalMs, line.turnaroundMedianMs, line.turnaroundP99Ms);
  // The core's JSON ends with "\n}\n": the figures go in as its last member.
  json.resize(json.rfind("\n}"));
  return json + figures;
}

}  // namespace tessaline::sim
