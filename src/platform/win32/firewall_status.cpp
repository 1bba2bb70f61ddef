// The discovery rule's presence, read through the Windows Firewall policy COM interfaces.
#include "platform/firewall_status.h"

// windows.h first: the COM headers rely on its types.
// clang-format off
#include <windows.h>
#include <netfw.h>
#include <oleauto.h>
// clang-format on

#include <cwchar>

namespace tessaline::platform {

namespace {

// The same class and interface ids and rule identity as the rule's addition at start-up.
constexpr CLSID kNetFwPolicy2Class = {
    0xE2B3C97F, 0x6AE1, 0x41AC, {0x81, 0x7A, 0xF6, 0xF9, 0x21, 0x66, 0xD7, 0xDD}};
constexpr IID kNetFwPolicy2Interface = {
    0x98325047, 0xC671, 0x4174, {0x8D, 0x81, 0xDE, 0xFC, 0xD3, 0xF0, 0x31, 0x86}};
constexpr LONG kProfileBits[] = {NET_FW_PROFILE2_DOMAIN, NET_FW_PROFILE2_PRIVATE,
                                 NET_FW_PROFILE2_PUBLIC};
constexpr const wchar_t* kRuleName = L"Announce";
constexpr const wchar_t* kRuleGrouping = L"Brume Electronics Ltd.";

template <typename Interface>
class ComReference {
 public:
  ComReference() = default;
  ~ComReference() {
    if (pointer_ != nullptr) pointer_->Release();
  }
  ComReference(const ComReference&) = delete;
  ComReference& operator=(const ComReference&) = delete;
  Interface* operator->() const { return pointer_; }
  Interface* Get() const { return pointer_; }
  Interface** Out() { return &pointer_; }
  void** OutVoid() { return reinterpret_cast<void**>(&pointer_); }

 private:
  Interface* pointer_ = nullptr;
};

class AutomationString {
 public:
  explicit AutomationString(const wchar_t* text = nullptr)
      : text_(text != nullptr ? SysAllocString(text) : nullptr) {}
  ~AutomationString() { SysFreeString(text_); }
  AutomationString(const AutomationString&) = delete;
  AutomationString& operator=(const AutomationString&) = delete;
  BSTR Get() const { return text_; }
  BSTR* Out() { return &text_; }

 private:
  BSTR text_;
};

class ComApartment {
 public:
  ComApartment() : result_(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)) {}
  ~ComApartment() {
    if (SUCCEEDED(result_)) CoUninitialize();
  }
  ComApartment(const ComApartment&) = delete;
  ComApartment& operator=(const ComApartment&) = delete;
  bool Usable() const { return SUCCEEDED(result_) || result_ == RPC_E_CHANGED_MODE; }

 private:
  HRESULT result_;
};

}  // namespace

DiscoveryFirewallState ReadDiscoveryFirewallState() {
  ComApartment apartment;
  if (!apartment.Usable()) return DiscoveryFirewallState::Unknown;
  ComReference<INetFwPolicy2> policy;
  if (FAILED(CoCreateInstance(kNetFwPolicy2Class, nullptr, CLSCTX_INPROC_SERVER,
                              kNetFwPolicy2Interface, policy.OutVoid()))) {
    return DiscoveryFirewallState::Unknown;
  }
  LONG currentProfiles = 0;
  if (FAILED(policy->get_CurrentProfileTypes(&currentProfiles))) {
    return DiscoveryFirewallState::Unknown;
  }
  bool enabled = false;
  for (LONG bit : kProfileBits) {
    if ((currentProfiles & bit) == 0) continue;
    VARIANT_BOOL profileEnabled = VARIANT_FALSE;
    if (SUCCEEDED(
            policy->get_FirewallEnabled(static_cast<NET_FW_PROFILE_TYPE2>(bit), &profileEnabled))) {
      enabled = enabled || profileEnabled != VARIANT_FALSE;
    }
  }
  if (!enabled) return DiscoveryFirewallState::FirewallOff;

  ComReference<INetFwRules> rules;
  if (FAILED(policy->get_Rules(rules.Out())) || rules.Get() == nullptr) {
    return DiscoveryFirewallState::Unknown;
  }
  AutomationString name(kRuleName);
  ComReference<INetFwRule> found;
  if (FAILED(rules->Item(name.Get(), found.Out())) || found.Get() == nullptr) {
    return DiscoveryFirewallState::RuleMissing;
  }
  AutomationString grouping;
  if (FAILED(found->get_Grouping(grouping.Out())) || grouping.Get() == nullptr) {
    return DiscoveryFirewallState::RuleMissing;
  }
  return std::wcscmp(grouping.Get(), kRuleGrouping) == 0 ? DiscoveryFirewallState::RulePresent
                                                         : DiscoveryFirewallState::RuleMissing;
}

}  // namespace tessaline::platform
