// The "Announce" inbound rule through the Windows Firewall policy COM interfaces: one walk of the
// policy serves both the reading and the adding.
#include "platform/firewall.h"

// windows.h first: the COM headers rely on its types.
// clang-format off
#include <windows.h>
#include <netfw.h>
#include <oleauto.h>
#include <wrl/client.h>
// clang-format on

#include <cwchar>
#include <optional>

#include "platform/win32/wide_text.h"

namespace tessaline::platform {

namespace {

using Microsoft::WRL::ComPtr;

constexpr LONG kProfileBits[] = {NET_FW_PROFILE2_DOMAIN, NET_FW_PROFILE2_PRIVATE,
                                 NET_FW_PROFILE2_PUBLIC};
constexpr LONG kUdpProtocol = 17;
constexpr const wchar_t* kRuleName = L"Announce";
constexpr const wchar_t* kRuleGrouping = L"Brume Electronics Ltd.";

// Owns one automation string.
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

// Balances a successful CoInitializeEx; a thread already in another mode is left as it is.
class ComApartment {
 public:
  ComApartment() : result_(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)) {}
  ~ComApartment() {
    if (SUCCEEDED(result_)) CoUninitialize();
  }
  ComApartment(const ComApartment&) = delete;
  ComApartment& operator=(const ComApartment&) = delete;
  // S_FALSE: COM was set up on this thread before.
  bool FirstOnThread() const { return result_ == S_OK || result_ == RPC_E_CHANGED_MODE; }
  bool Usable() const { return SUCCEEDED(result_) || result_ == RPC_E_CHANGED_MODE; }

 private:
  HRESULT result_;
};

// The policy of this thread's apartment: whether the firewall is on for a current profile, and
// its rules.
class FirewallPolicy {
 public:
  // `firstOnThread`: go on only when this is the thread's first COM set-up.
  explicit FirewallPolicy(bool firstOnThread) {
    if (!(firstOnThread ? apartment_.FirstOnThread() : apartment_.Usable())) return;
    if (FAILED(CoCreateInstance(__uuidof(NetFwPolicy2), nullptr, CLSCTX_INPROC_SERVER,
                                IID_PPV_ARGS(policy_.GetAddressOf())))) {
      return;
    }
    LONG currentProfiles = 0;
    if (FAILED(policy_->get_CurrentProfileTypes(&currentProfiles))) return;
    bool enabled = false;
    for (LONG bit : kProfileBits) {
      if ((currentProfiles & bit) == 0) continue;
      VARIANT_BOOL profileEnabled = VARIANT_FALSE;
      if (SUCCEEDED(policy_->get_FirewallEnabled(static_cast<NET_FW_PROFILE_TYPE2>(bit),
                                                 &profileEnabled))) {
        enabled = enabled || profileEnabled != VARIANT_FALSE;
      }
    }
    on_ = enabled;
  }

  // Nothing when the policy could not be read.
  std::optional<bool> On() const { return on_; }
  // Null when the collection is not available.
  INetFwRules* Rules() {
    if (rules_.Get() == nullptr && FAILED(policy_->get_Rules(rules_.GetAddressOf())))
      return nullptr;
    return rules_.Get();
  }
  // A rule of that name counts only with the updater's grouping.
  bool OwnRulePresent(BSTR name) {
    ComPtr<INetFwRule> found;
    if (FAILED(Rules()->Item(name, found.GetAddressOf())) || found.Get() == nullptr) return false;
    AutomationString grouping;
    if (FAILED(found->get_Grouping(grouping.Out())) || grouping.Get() == nullptr) return false;
    return std::wcscmp(grouping.Get(), kRuleGrouping) == 0;
  }

 private:
  ComApartment apartment_;
  ComPtr<INetFwPolicy2> policy_;
  ComPtr<INetFwRules> rules_;
  std::optional<bool> on_;
};

std::wstring OwnExecutablePath() {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (length == 0) return {};
    if (length < path.size()) {
      path.resize(length);
      return path;
    }
    path.resize(path.size() * 2);  // cut short: try a longer buffer
  }
}

}  // namespace

DiscoveryRuleFields DiscoveryRule() {
  return {OwnExecutablePath(), kUdpProtocol, L"30303", NET_FW_PROFILE2_ALL};
}

DiscoveryFirewallState ReadDiscoveryFirewallState() {
  FirewallPolicy policy(/*firstOnThread=*/false);
  if (!policy.On()) return DiscoveryFirewallState::Unknown;
  if (!*policy.On()) return DiscoveryFirewallState::FirewallOff;
  if (policy.Rules() == nullptr) return DiscoveryFirewallState::Unknown;
  AutomationString name(kRuleName);
  return policy.OwnRulePresent(name.Get()) ? DiscoveryFirewallState::RulePresent
                                           : DiscoveryFirewallState::RuleMissing;
}

FirewallRuleResult AddDiscoveryFirewallRule() {
  FirewallPolicy policy(/*firstOnThread=*/true);
  if (!policy.On()) return {};
  if (!*policy.On()) return {FirewallRuleOutcome::FirewallOff, {}};
  INetFwRules* rules = policy.Rules();
  if (rules == nullptr) return {};
  ComPtr<INetFwRule> rule;
  if (FAILED(CoCreateInstance(__uuidof(NetFwRule), nullptr, CLSCTX_INPROC_SERVER,
                              IID_PPV_ARGS(rule.GetAddressOf())))) {
    return {};
  }

  const DiscoveryRuleFields fields = DiscoveryRule();
  // Without its own path the rule would open the port to every program: better no rule.
  if (fields.application.empty()) return {};
  AutomationString name(kRuleName);
  AutomationString description(kRuleName);
  AutomationString application(fields.application.c_str());
  AutomationString remotePorts(fields.remotePorts.c_str());
  AutomationString interfaceTypes(L"ALL");
  AutomationString grouping(kRuleGrouping);
  // The setters' results are not examined: a rule that cannot be completed fails at Add.
  rule->put_Name(name.Get());
  rule->put_Description(description.Get());
  rule->put_Direction(NET_FW_RULE_DIR_IN);
  rule->put_ApplicationName(application.Get());
  rule->put_Protocol(fields.protocol);
  rule->put_RemotePorts(remotePorts.Get());
  rule->put_InterfaceTypes(interfaceTypes.Get());
  rule->put_Enabled(VARIANT_TRUE);
  rule->put_Grouping(grouping.Get());
  rule->put_Profiles(fields.profiles);
  rule->put_Action(NET_FW_ACTION_ALLOW);

  if (policy.OwnRulePresent(name.Get())) return {FirewallRuleOutcome::AlreadyPresent, {}};
  const HRESULT added = rules->Add(rule.Get());
  if (SUCCEEDED(added)) return {FirewallRuleOutcome::Added, {}};
  return {
      added == E_ACCESSDENIED ? FirewallRuleOutcome::AccessDenied : FirewallRuleOutcome::AddFailed,
      SystemErrorText(static_cast<unsigned long>(added))};
}

}  // namespace tessaline::platform
