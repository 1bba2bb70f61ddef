// The firewall rule step leaves the calling thread's COM state as it found it, whatever that was.
#include <gtest/gtest.h>

// windows.h first: the COM headers rely on its types.
// clang-format off
#include <windows.h>
#include <objbase.h>
// clang-format on

#include <thread>

#include "discovery/test_doubles.h"
#include "platform/firewall.h"

namespace tessaline {
namespace {

// Runs on a fresh thread so each case starts with COM uninitialised.
template <typename Body>
void OnFreshThread(Body&& body) {
  std::thread thread(std::forward<Body>(body));
  thread.join();
}

TEST(DiscoveryFirewallRule, BalancesItsOwnComInitialisation) {
  testing::MessageBoxRecorder boxes;  // a refused rule must not wait for a click
  OnFreshThread([] {
    platform::AddDiscoveryFirewallRule(nullptr);
    // Nothing left initialised: this is the first initialisation again.
    const HRESULT again = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    EXPECT_EQ(again, S_OK);
    if (SUCCEEDED(again)) CoUninitialize();
  });
  for (const auto& box : boxes.Boxes()) {
    EXPECT_EQ(box.caption, "Error adding Firewall Rule");
    EXPECT_EQ(box.text.size(), 227u);
  }
}

TEST(DiscoveryFirewallRule, LeavesAnApartmentOfTheCallerInPlace) {
  testing::MessageBoxRecorder boxes;
  for (DWORD model : {COINIT_APARTMENTTHREADED, COINIT_MULTITHREADED}) {
    OnFreshThread([model] {
      ASSERT_EQ(CoInitializeEx(nullptr, model), S_OK);
      platform::AddDiscoveryFirewallRule(nullptr);
      // Still initialised in the caller's model: a second call only counts up.
      const HRESULT again = CoInitializeEx(nullptr, model);
      EXPECT_EQ(again, S_FALSE) << "model " << model;
      if (SUCCEEDED(again)) CoUninitialize();
      CoUninitialize();
    });
  }
}

TEST(DiscoveryFirewallRule, OpensThePortToThisProgramOnly) {
  std::wstring own(MAX_PATH, L'\0');
  own.resize(GetModuleFileNameW(nullptr, own.data(), static_cast<DWORD>(own.size())));
  const platform::DiscoveryRuleFields rule = platform::DiscoveryRule();
  EXPECT_FALSE(own.empty());
  EXPECT_EQ(rule.application, own);
  EXPECT_EQ(rule.protocol, 17);
  EXPECT_EQ(rule.remotePorts, L"30303");
  EXPECT_EQ(rule.profiles, 0x7FFFFFFF);  // every profile
}

}  // namespace
}  // namespace tessaline
