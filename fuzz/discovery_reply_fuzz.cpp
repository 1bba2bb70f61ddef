// Fuzzes the classifier of discovery datagrams: which replies name this product, and their flags.
#include <array>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "discovery/network_discovery.h"
#include "fuzz_input.h"
#include "ui/messages.h"

namespace {

using tessaline::fuzz::FuzzInput;
using tessaline::fuzz::Require;

constexpr std::string_view kIdentity = "Brume Tessaline";

std::array<std::uint8_t, 4> Octets(std::uint32_t networkOrder) {
  std::array<std::uint8_t, 4> octets{};
  std::memcpy(octets.data(), &networkOrder, octets.size());
  return octets;
}

bool IsLoopbackHost(std::uint32_t networkOrder) {
  return Octets(networkOrder) == std::array<std::uint8_t, 4>{127, 0, 0, 1};
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzInput input(data, size);
  const std::uint32_t source = input.U32();
  std::vector<tessaline::platform::LocalInterface> table(input.InRange(0, 4));
  for (auto& row : table) {
    row.address = input.U32();
    row.mask = input.U32();
  }
  // The thread reads at most 256 bytes of a datagram.
  const auto datagram = input.Take(tessaline::kDiscoveryReplyCapacity);
  const auto flags = tessaline::ClassifyDiscoveryReply(datagram, source, table, kIdentity);

  // What the reply rules ask for, found the plain way: two CR LF pairs, then the identity.
  const std::string_view text = tessaline::fuzz::AsText(datagram);
  const std::size_t first = text.find("\r\n");
  const std::size_t second = first == std::string_view::npos ? first : text.find("\r\n", first + 2);
  const bool named =
      second != std::string_view::npos && text.substr(second + 2).starts_with(kIdentity);
  Require(flags.has_value() == named, "a reply is reported exactly when its third line names us");
  if (!flags) return 0;

  const std::string_view rest = text.substr(second + 2 + kIdentity.size());
  Require(((*flags & tessaline::kUnitInBootload) != 0) == rest.starts_with(" - Bootload\r\n"),
          "only \" - Bootload\\r\\n\" marks a unit in bootload mode");

  const auto octets = Octets(source);
  const unsigned host = octets[2] * 256u + octets[3];
  const bool linkLocal = octets[0] == 169 && octets[1] == 254 && host > 1 && host < 0xFFFE;
  Require(((*flags & tessaline::kUnitLinkLocal) != 0) == linkLocal, "the link-local rule");

  bool sameSubnet = false;
  for (const auto& row : table) {
    if (IsLoopbackHost(row.address)) continue;
    sameSubnet = sameSubnet || (source & row.mask) == (row.address & row.mask);
  }
  Require(((*flags & tessaline::kUnitOnOtherSubnet) != 0) == !sameSubnet, "the subnet rule");
  Require((*flags & ~(tessaline::kUnitInBootload | tessaline::kUnitLinkLocal |
                      tessaline::kUnitOnOtherSubnet)) == 0,
          "no other flag is set");
  return 0;
}
