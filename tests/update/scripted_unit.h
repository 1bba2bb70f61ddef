// A bootloader stand-in behind a scripted transport: decodes each request and answers by a script.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "link/packet_codec.h"
#include "platform/clock.h"
#include "support/scripted_transport.h"
#include "transport/transport.h"

namespace tessaline::testing {

struct ReceivedRequest {
  std::uint8_t command = 0;        // as sent, bit 0x80 included
  std::vector<std::uint8_t> data;  // after the sequence number, before the CRC
};

// What the script answers: reply data (after the command byte and sequence number), or none
// for silence.
using Responder = std::function<std::optional<std::vector<std::uint8_t>>(const ReceivedRequest&)>;

// Everything the unit saw, shared so it outlives the transport (the link deletes that).
struct UnitLog {
  std::vector<ReceivedRequest> requests;
  std::vector<std::uint8_t> Commands() const {
    std::vector<std::uint8_t> codes;
    for (const auto& r : requests) codes.push_back(r.command);
    return codes;
  }
};

inline std::vector<std::uint8_t> IdentityReply(std::uint8_t major, std::uint8_t minor,
                                               const std::string& text) {
  std::vector<std::uint8_t> reply;
  reply.reserve(3 + text.size());
  reply.push_back(major);
  reply.push_back(minor);
  reply.push_back(0x01);  // announces the sequenced forms
  for (const char c : text) reply.push_back(static_cast<std::uint8_t>(c));
  return reply;
}

// A well-behaved unit: Tessaline/STM32/ADAU1452 on bootloader 1.0, application 1.1, and status
// "done" for everything else.
inline std::optional<std::vector<std::uint8_t>> GoodUnit(const ReceivedRequest& request) {
  switch (request.command & 0x7F) {
    case 0x01:
      return IdentityReply(1, 0, "Tessaline,STM32,ADAU1452");
    case 0x09:
      return std::vector<std::uint8_t>{0x01, 0x00, 0x01, 0x00};
    default:
      return std::vector<std::uint8_t>{0x01};
  }
}

// Every read with nothing to give advances `clock` by this much, as a real read would wait.
inline constexpr std::uint32_t kIdleReadMs = 10;

// A scripted transport that decodes each request written to it and queues the script's answer.
inline std::unique_ptr<ScriptedTransport> MakeScriptedUnit(platform::Clock& clock,
                                                           Responder responder,
                                                           std::shared_ptr<UnitLog> log) {
  auto unit = std::make_unique<ScriptedTransport>(clock, kKindIp, kIdleReadMs, 0);
  unit->open = false;
  unit->onWrite = [responder = std::move(responder), log = std::move(log)](
                      ScriptedTransport& transport, const WrittenFrame& written) {
    FrameDecoder decoder;
    decoder.Feed(written.bytes.data(), written.bytes.size());
    if (!decoder.Complete()) return;
    const std::vector<std::uint8_t> packet = decoder.Take();
    ReceivedRequest request;
    request.command = packet[0];
    const std::size_t header = IsSequenced(packet[0]) ? 1 + kSequenceBytes : 1;
    request.data.assign(packet.begin() + static_cast<std::ptrdiff_t>(header),
                        packet.end() - static_cast<std::ptrdiff_t>(kCrcBytes));
    log->requests.push_back(request);
    const auto answer = responder(request);
    if (!answer) return;
    std::vector<std::uint8_t> reply(packet.begin(),
                                    packet.begin() + static_cast<std::ptrdiff_t>(header));
    reply.insert(reply.end(), answer->begin(), answer->end());
    AppendCrc(reply);
    std::vector<std::uint8_t> frame;
    FrameBytes(reply, frame);
    transport.incoming.push_back(std::move(frame));
  };
  return unit;
}

}  // namespace tessaline::testing
