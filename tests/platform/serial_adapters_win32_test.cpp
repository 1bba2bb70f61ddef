// USB serial adapters read from a fake device tree in the registry, and friendly names as --port.
#include <windows.h>

#include <gtest/gtest.h>

#include "platform/device_path.h"
#include "platform/serial_adapters.h"
#include "platform/win32/wide_text.h"

namespace tessaline::platform {
namespace {

// A device entry under HKLM\<root>SYSTEM\CurrentControlSet\Enum\<bus>\<model>\<instance>.
void AddDevice(const std::wstring& root, const std::wstring& busModelInstance,
               const wchar_t* friendlyName, const wchar_t* service, const wchar_t* port,
               const DWORD* latency) {
  const std::wstring entry = root + L"SYSTEM\\CurrentControlSet\\Enum\\" + busModelInstance;
  const auto text = [](const std::wstring& key, const wchar_t* name, const wchar_t* value) {
    ASSERT_EQ(RegSetKeyValueW(HKEY_LOCAL_MACHINE, key.c_str(), name, REG_SZ, value,
                              static_cast<DWORD>((wcslen(value) + 1) * sizeof(wchar_t))),
              ERROR_SUCCESS);
  };
  text(entry, L"FriendlyName", friendlyName);
  text(entry, L"Service", service);
  text(entry + L"\\Device Parameters", L"PortName", port);
  if (latency != nullptr) {
    ASSERT_EQ(RegSetKeyValueW(HKEY_LOCAL_MACHINE, (entry + L"\\Device Parameters").c_str(),
                              L"LatencyTimer", REG_DWORD, latency, sizeof *latency),
              ERROR_SUCCESS);
  }
}

TEST(SerialAdapters, ReadsFriendlyNameServiceAndLatencyFromTheRegistry) {
  const std::string rootText = "SOFTWARE\\TessalineTests\\" + std::to_string(GetCurrentProcessId());
  const std::wstring root = WideFromUtf8(rootText);
  const std::wstring prefix = root + L"\\";
  const DWORD sixteen = 16;
  AddDevice(prefix, L"FTDIBUS\\VID_0403+PID_6001+A10K1234A\\0000", L"USB Serial Port (COM12)",
            L"FTDIBUS", L"COM12", &sixteen);
  AddDevice(prefix, L"USB\\VID_10C4&PID_EA60\\0001",
            L"Silicon Labs CP210x USB to UART Bridge (COM4)", L"silabser", L"COM4", nullptr);
  AddDevice(prefix, L"USB\\VID_046D&PID_C52B\\5&1", L"USB Receiver", L"HidUsb", L"", nullptr);

  const auto adapters = ReadSerialAdapters(rootText + "\\");
  RegDeleteTreeW(HKEY_LOCAL_MACHINE, root.c_str());
  ASSERT_EQ(adapters.size(), 2u) << "a device without a COM port is no serial adapter";
  EXPECT_EQ(adapters[0].device, R"(\\.\COM4)");
  EXPECT_EQ(adapters[0].stableName, "Silicon Labs CP210x USB to UART Bridge (COM4)");
  EXPECT_EQ(adapters[0].driver, "silabser");
  EXPECT_EQ(adapters[0].latencyTimerMs, std::nullopt);
  EXPECT_EQ(adapters[1].device, R"(\\.\COM12)");
  EXPECT_EQ(adapters[1].driver, "FTDIBUS");
  EXPECT_EQ(adapters[1].latencyTimerMs, 16u);
  EXPECT_NE(LatencyRemedy(adapters[1]).find("USB Serial Port (COM12) > Properties"),
            std::string::npos);
}

TEST(DeviceForPortName, TakesFriendlyNamesAndComNames) {
  const std::pair<std::string, std::string> cases[] = {
      {"USB Serial Port (COM3)", R"(\\.\COM3)"},
      {"COM12", R"(\\.\COM12)"},
      {R"(\\.\COM7)", R"(\\.\COM7)"},
      {"Printer Port (LPT1)", "Printer Port (LPT1)"},
      {"Odd (COMx)", "Odd (COMx)"},
  };
  for (const auto& [name, device] : cases) EXPECT_EQ(DeviceForPortName(name), device) << name;
}

}  // namespace
}  // namespace tessaline::platform
