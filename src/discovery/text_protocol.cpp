// The text command protocol: TextPortSearch, EnterBootloadSequence and the reply tests.
#include "discovery/text_protocol.h"

#include <algorithm>
#include <memory>

#include "transport/com_port_table.h"
#include "transport/com_transport.h"
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
               std::initializer_list<std::string_view> accepted, std::string& reply) {
  reply.clear();
  return transport.TextQuery(command, reply, kSequenceReplyLimit, kSequenceStepTimeoutMs) &&
         std::ranges::find(accepted, reply) != accepted.end();
}

}  // namespace

std::string PinCommand(std::string_view pin) { return "<SY,BU" + std::string(pin) + "/>"; }

bool IsBootloadQueryReply(std::string_view reply) {
  return reply.starts_with(kBootloadQueryReplyPrefix);
}

char BootloadStateLetter(std::string_view reply) {
  return reply.size() > kStateLetterIndex ? reply[kStateLetterIndex] : '\0';
}

bool IsWellFormedPin(std::string_view pin) {
  return pin.size() == 4 && std::ranges::all_of(pin, [](char c) { return c >= '0' && c <= '9'; });
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

TextSearchResult TextPortSearch(const UnitAddress& unit, std::uint32_t parserPort,
                                std::uint32_t timeoutMs, const TextPortAction& action) {
  if (unit.IsSerial()) return SerialTextPortSearch(unit.Device(), timeoutMs, action);
  TextSearchResult result;
  EthernetTransportTCP transport(unit.Ipv4(), parserPort);
  if (transport.Open()) {
    result.answered = QueryAndClose(transport, timeoutMs, action);
  } else {
    result.socketFailure = transport.SocketSetupFailure();
  }
  return result;
}

PinSequenceResult SendPinSequence(Transport& textTransport, std::string_view pin) {
  PinSequenceResult result;
  std::string reply;
  if (!QueryStep(textTransport, PinCommand(pin), {kPinAcceptedReply, kPinAcceptedEnabledReply},
                 reply)) {
    result.refusedStep = "PIN";
  } else if (!QueryStep(textTransport, kEnableBootloadCommand, {kEnableAcceptedReply}, reply)) {
    result.refusedStep = "enable";
  } else if (!QueryStep(textTransport, kFinalBootloadCommand, {kFinalAcceptedReply}, reply)) {
    result.refusedStep = "final";
  } else {
    result.accepted = true;
    return result;
  }
  result.reply = std::move(reply);
  return result;
}

EnterBootloadOutcome EnterBootloadSequence(Transport& textTransport, std::string_view pin,
                                           const BootloadAnnouncer& announce,
                                           platform::Clock& clock) {
  const bool accepted = SendPinSequence(textTransport, pin).accepted;
  const auto outcome = accepted ? EnterBootloadOutcome::Entered : EnterBootloadOutcome::Refused;
  if (announce) announce(outcome);
  if (accepted) clock.Sleep(kBootloaderStartWaitMs);
  return outcome;
}

EnterBootloadResult EnterBootloadMode(const UnitAddress& unit, std::uint32_t parserPort,
                                      std::string_view pin, const BootloadAnnouncer& announce,
                                      platform::Clock& clock) {
  EnterBootloadResult result;
  result.socketFailure =
      TextPortSearch(unit, parserPort, kEnterBootloadSearchTimeoutMs,
                     [&](Transport& textTransport, const std::string& /*reply*/) {
                       result.outcome = EnterBootloadSequence(textTransport, pin, announce, clock);
                     })
          .socketFailure;
  return result;
}

}  // namespace tessaline
