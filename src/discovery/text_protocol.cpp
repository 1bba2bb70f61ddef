// The text command protocol: TextPortSearch, EnterBootloadSequence and the reply tests.
#include "discovery/text_protocol.h"

#include <memory>

#include "platform/message_box.h"
#include "shell/settings.h"
#include "shell/ui_strings.h"
#include "transport/com_port_table.h"
#include "transport/com_transport.h"
#include "transport/ethernet_transport.h"
#include "transport/ethernet_transport_tcp.h"

namespace tessaline {

namespace {

// Index of the state letter: the second character after "<sy,bq = ".
constexpr std::size_t kStateLetterIndex = 10;

// Queries an open text transport, runs `action` on a recognised reply, then closes it.
bool QueryAndClose(Transport& transport, std::uint32_t timeoutMs, const TextPortAction& action) {
  std::string reply;
  const bool answered =
      transport.TextQuery(kBootloadQueryCommand, reply, kBootloadQueryReplyLimit, timeoutMs) &&
      IsBootloadQueryReply(reply);
  if (answered && action) action(transport, reply);
  transport.Close();
  return answered;
}

bool QueryStep(Transport& transport, std::string_view command,
               std::initializer_list<std::string_view> accepted) {
  std::string reply;
  if (!transport.TextQuery(command, reply, kSequenceReplyLimit, kSequenceStepTimeoutMs)) {
    return false;
  }
  for (std::string_view expected : accepted) {
    if (reply == expected) return true;
  }
  return false;
}

void ShowBootloadBox(void* owner, StringId text, platform::MessageBoxIcon icon) {
  platform::MessageBoxRequest box;
  box.owner = owner;
  box.text = UiString(text);
  box.caption = UiString(IDS_BOOTLOAD_MODE);
  box.icon = icon;
  box.buttons = platform::MessageBoxButtons::Ok;
  platform::ShowMessageBox(box);
}

}  // namespace

std::string PinCommand(std::string_view pin) {
  std::string command = "<SY,BU";
  command += pin;
  command += "/>";
  return command;
}

bool IsBootloadQueryReply(std::string_view reply) {
  return reply.starts_with(kBootloadQueryReplyPrefix);
}

char BootloadStateLetter(std::string_view reply) {
  return reply.size() > kStateLetterIndex ? reply[kStateLetterIndex] : '\0';
}

bool IsWellFormedPin(std::string_view pin) {
  if (pin.size() != 4) return false;
  for (char c : pin) {
    if (c < '0' || c > '9') return false;
  }
  return true;
}

TextSearchResult SerialTextPortSearch(const std::string& deviceName, std::uint32_t timeoutMs,
                                      const TextPortAction& action) {
  TextSearchResult result;
  for (std::uint32_t rate : BaudRateTable) {
    if (result.answered) break;
    auto transport = std::make_unique<COMTransport>(deviceName, rate);
    if (!transport->Open()) continue;
    result.ratesTried.push_back(rate);
    result.answered = QueryAndClose(*transport, timeoutMs, action);
  }
  return result;
}

TextSearchResult NetworkTextPortSearch(std::uint32_t address, std::uint32_t port,
                                       std::uint32_t timeoutMs, const TextPortAction& action) {
  TextSearchResult result;
  auto transport = std::make_unique<EthernetTransportTCP>(address, port);
  if (transport->Open()) result.answered = QueryAndClose(*transport, timeoutMs, action);
  return result;
}

TextSearchResult TextPortSearch(const Transport& unitTransport, std::uint32_t timeoutMs,
                                const TextPortAction& action) {
  if (unitTransport.GetKind() == kKindCom) {
    const auto* serial = dynamic_cast<const COMTransport*>(&unitTransport);
    if (serial == nullptr) return {};
    return SerialTextPortSearch(serial->GetEndpoint(), timeoutMs, action);
  }
  if (unitTransport.GetKind() == kKindIp) {
    const auto* udp = dynamic_cast<const EthernetTransport*>(&unitTransport);
    if (udp == nullptr) return {};
    return NetworkTextPortSearch(udp->GetEndpoint(), CurrentParserPort.load(), timeoutMs, action);
  }
  return {};
}

bool EnterBootloadSequence(void* ownerWindow, Transport& textTransport, std::string_view pin,
                           platform::Clock& clock) {
  const bool accepted =
      QueryStep(textTransport, PinCommand(pin), {kPinAcceptedReply, kPinAcceptedEnabledReply}) &&
      QueryStep(textTransport, kEnableBootloadCommand, {kEnableAcceptedReply}) &&
      QueryStep(textTransport, kFinalBootloadCommand, {kFinalAcceptedReply});
  if (!accepted) {
    ShowBootloadBox(ownerWindow, IDS_BOOTLOAD_FAILED, platform::MessageBoxIcon::Error);
    return false;
  }
  ShowBootloadBox(ownerWindow, IDS_BOOTLOAD_ENABLED, platform::MessageBoxIcon::Information);
  clock.Sleep(kBootloaderStartWaitMs);
  return true;
}

EnterBootloadOutcome EnterBootloadMode(void* ownerWindow, const Transport& unitTransport,
                                       std::string_view pin, platform::Clock& clock) {
  EnterBootloadOutcome outcome = EnterBootloadOutcome::NoUnitAnswered;
  TextPortSearch(unitTransport, kEnterBootloadSearchTimeoutMs,
                 [&](Transport& textTransport, const std::string& /*reply*/) {
                   outcome = EnterBootloadSequence(ownerWindow, textTransport, pin, clock)
                                 ? EnterBootloadOutcome::Entered
                                 : EnterBootloadOutcome::Refused;
                 });
  return outcome;
}

}  // namespace tessaline
