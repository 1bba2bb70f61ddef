// The firewall rule step and its reading leave the calling thread's COM state as they found it.
#include <gtest/gtest.h>

// windows.h first: the COM headers rely on its types.
// clang-format off
#include <windows.h>
#include <objbase.h>
// clang-format on

#include <functional>
#include <thread>

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
  // The desktop program's step and doctor's reading walk the same policy.
  const std::function<void()> steps[] = {
      [] {
        const platform::FirewallRuleResult result = platform::AddDiscoveryFirewallRule();
        if (result.outcome == platform::FirewallRuleOutcome::AccessDenied ||
            result.outcome == platform::FirewallRuleOutcome::AddFailed) {
          EXPECT_FALSE(result.reason.empty()) << "a refusal comes with the system's words";
        }
      },
      [] { platform::ReadDiscoveryFirewallState(); },
  };
  for (const auto& step : steps) {
    OnFreshThread([&step] {
      step();
      // Nothing left initialised: this is the first initialisation again.
      const HRESULT again = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
      EXPECT_EQ(again, S_OK);
      if (SUCCEEDED(again)) CoUninitialize();
    });
  }
}

TEST(DiscoveryFirewallRule, LeavesAnApartmentOfTheCallerInPlace) {
  for (DWORD model : {COINIT_APARTMENTTHREADED, COINIT_MULTITHREADED}) {
    OnFreshThread([model] {
      ASSERT_EQ(CoInitializeEx(nullptr, model), S_OK);
      const platform::FirewallRuleResult result = platform::AddDiscoveryFirewallRule();
      // COM set up before in the step's own model: the step is skipped.
      if (model == COINIT_APARTMENTTHREADED) {
        EXPECT_EQ(result.outcome, platform::FirewallRuleOutcome::NotAttempted);
      }
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
