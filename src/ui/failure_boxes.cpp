// The failure boxes, through the one message-box call (tests and other hosts set its handler).
#include "ui/failure_boxes.h"

#include "platform/message_box.h"
#include "strings/ui_strings.h"

namespace tessaline {

void ShowSocketErrorBox(const SocketFailure& failure) {
  platform::ShowMessageBox({.text = UiString(failure.text),
                            .caption = UiString(IDS_SOCKET_ERROR),
                            .icon = platform::MessageBoxIcon::Error});
}

void ShowFirewallRuleBox(void* ownerWindow, const platform::FirewallRuleResult& result) {
  if (result.outcome != platform::FirewallRuleOutcome::AccessDenied) return;
  platform::ShowMessageBox({.owner = ownerWindow,
                            .text = UiString(IDS_FIREWALL_RULE_REFUSED),
                            .caption = UiString(IDS_FIREWALL_RULE_FAILED),
                            .icon = platform::MessageBoxIcon::Warning});
}

}  // namespace tessaline
