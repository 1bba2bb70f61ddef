// The failure boxes, through the one message-box call (tests and other hosts set its handler).
#include "ui/failure_boxes.h"

#include "platform/message_box.h"

namespace tessaline {

namespace {
constexpr const char* kFirewallRefusedText =
    "Unable to add the required Windows Firewall rule for incoming UDP traffic on port 30303.  "
    "Some network devices may not be visible as a result.  The application should be re-run as "
    "an Administrator so that the rule can be added.";
constexpr const char* kFirewallRefusedCaption = "Error adding Firewall Rule";
}  // namespace

void ShowSocketErrorBox(const SocketFailure& failure) {
  platform::ShowMessageBox({.text = UiString(failure.text),
                            .caption = UiString(IDS_SOCKET_ERROR),
                            .icon = platform::MessageBoxIcon::Error});
}

void ShowFirewallRuleBox(void* ownerWindow, const platform::FirewallRuleResult& result) {
  if (result.outcome != platform::FirewallRuleOutcome::AccessDenied) return;
  platform::ShowMessageBox({.owner = ownerWindow,
                            .text = kFirewallRefusedText,
                            .caption = kFirewallRefusedCaption,
                            .icon = platform::MessageBoxIcon::Warning});
}

}  // namespace tessaline
