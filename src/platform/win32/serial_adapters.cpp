// USB serial adapters on Windows: the device entries of the USB and FTDI buses in the registry.
#include "platform/serial_adapters.h"

#include <windows.h>

#include <algorithm>
#include <cstdlib>
#include <utility>

#include "platform/win32/wide_text.h"

namespace tessaline::platform {

namespace {

// FTDI's own driver enumerates its ports on FTDIBUS; usbser, CP210x, CH340 and Prolific on USB.
constexpr const wchar_t* kBuses[] = {L"FTDIBUS", L"USB"};
constexpr std::string_view kComPrefix = "COM";

class RegistryKey {
 public:
  RegistryKey(HKEY parent, const std::wstring& path) {
    if (parent == nullptr ||
        RegOpenKeyExW(parent, path.c_str(), 0, KEY_READ, &key_) != ERROR_SUCCESS) {
      key_ = nullptr;
    }
  }
  ~RegistryKey() {
    if (key_ != nullptr) RegCloseKey(key_);
  }
  RegistryKey(const RegistryKey&) = delete;
  RegistryKey& operator=(const RegistryKey&) = delete;

  HKEY Get() const { return key_; }

  std::vector<std::wstring> SubkeyNames() const {
    std::vector<std::wstring> names;
    if (key_ == nullptr) return names;
    wchar_t name[256];
    for (DWORD index = 0;; ++index) {
      DWORD length = static_cast<DWORD>(std::size(name));
      if (RegEnumKeyExW(key_, index, name, &length, nullptr, nullptr, nullptr, nullptr) !=
          ERROR_SUCCESS) {
        break;
      }
      names.emplace_back(name, length);
    }
    return names;
  }

  std::string Text(const wchar_t* value) const {
    wchar_t text[512];
    DWORD size = sizeof text - sizeof(wchar_t);
    DWORD type = 0;
    if (key_ == nullptr ||
        RegQueryValueExW(key_, value, nullptr, &type, reinterpret_cast<BYTE*>(text), &size) !=
            ERROR_SUCCESS ||
        (type != REG_SZ && type != REG_EXPAND_SZ)) {
      return {};
    }
    std::wstring wide(text, size / sizeof(wchar_t));
    while (!wide.empty() && wide.back() == L'\0') wide.pop_back();
    return Utf8FromWide(wide);
  }

  std::optional<std::uint32_t> Number(const wchar_t* value) const {
    DWORD number = 0;
    DWORD size = sizeof number;
    DWORD type = 0;
    if (key_ == nullptr ||
        RegQueryValueExW(key_, value, nullptr, &type, reinterpret_cast<BYTE*>(&number), &size) !=
            ERROR_SUCCESS ||
        type != REG_DWORD) {
      return std::nullopt;
    }
    return number;
  }

 private:
  HKEY key_ = nullptr;
};

unsigned long ComNumber(const SerialAdapter& adapter) {
  return std::strtoul(adapter.device.c_str() + 4 + kComPrefix.size(), nullptr, 10);
}

}  // namespace

std::vector<SerialAdapter> ReadSerialAdapters(const std::string& root) {
  std::vector<SerialAdapter> adapters;
  const RegistryKey enumerated(HKEY_LOCAL_MACHINE,
                               WideFromUtf8(root) + L"SYSTEM\\CurrentControlSet\\Enum");
  for (const wchar_t* bus : kBuses) {
    const RegistryKey busKey(enumerated.Get(), bus);
    for (const auto& model : busKey.SubkeyNames()) {
      const RegistryKey modelKey(busKey.Get(), model);
      for (const auto& instance : modelKey.SubkeyNames()) {
        const RegistryKey entry(modelKey.Get(), instance);
        const RegistryKey parameters(entry.Get(), L"Device Parameters");
        const std::string port = parameters.Text(L"PortName");
        if (!port.starts_with(kComPrefix)) continue;
        SerialAdapter adapter;
        adapter.device = "\\\\.\\" + port;
        adapter.stableName = entry.Text(L"FriendlyName");
        if (adapter.stableName.empty()) adapter.stableName = port;
        adapter.driver = entry.Text(L"Service");
        adapter.latencyTimerMs = parameters.Number(L"LatencyTimer");
        adapter.latencySetting = adapter.stableName;
        adapters.push_back(std::move(adapter));
      }
    }
  }
  std::sort(adapters.begin(), adapters.end(),
            [](const auto& a, const auto& b) { return ComNumber(a) < ComNumber(b); });
  return adapters;
}

std::string LatencyRemedy(const SerialAdapter& adapter) {
  return "In Device Manager open Ports (COM & LPT) > " + adapter.latencySetting +
         " > Properties > Port Settings > Advanced, set Latency Timer (msec) to 1, then replug the "
         "adapter";
}

}  // namespace tessaline::platform
