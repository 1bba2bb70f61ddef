// The bootloader identity check.
#include "update/unit_identity.h"

#include "update/bootloader_commands.h"

namespace tessaline {

namespace {
constexpr std::uint16_t kReplyCrcBytes = 2;
constexpr std::uint16_t kSequencedMarkerReply = 6;  // data byte 3 present
constexpr std::size_t kIdentityTextOffset = 4;

std::string Cut(std::string_view text, std::size_t limit) {
  return std::string(text.substr(0, limit));
}
}  // namespace

void SplitIdentityText(std::string_view text, UnitIdentity& identity) {
  identity.model.clear();
  identity.mcuFamily.clear();
  identity.dsp.clear();
  const auto first = text.find(',');
  if (first == std::string_view::npos) return;
  identity.model = Cut(text.substr(0, first), kModelLimit);
  const auto rest = text.substr(first + 1);
  const auto second = rest.find(',');
  if (second == std::string_view::npos) return;
  identity.mcuFamily = Cut(rest.substr(0, second), kMcuFamilyLimit);
  identity.dsp = Cut(rest.substr(second + 1), kDspLimit);
}

IdentityResult EvaluateIdentityReply(const std::uint8_t* reply, std::uint16_t length,
                                     UnitIdentity& identity) {
  identity = UnitIdentity{};
  const auto version = DecodeBootloaderVersion(reply, length);
  if (!version) return IdentityNoResponse;
  identity.bootloaderVersion = *version;
  // Data byte 3 announces the sequenced forms; its value means nothing to us.
  if (length >= kSequencedMarkerReply) identity.SequencedCommands = true;
  if (length <= kSequencedMarkerReply) return IdentityNoResponse;

  const std::size_t textLength = length - kIdentityTextOffset - kReplyCrcBytes;
  std::string_view text(reinterpret_cast<const char*>(reply + kIdentityTextOffset), textLength);
  // The unit's text area is NUL-terminated: whatever follows a NUL is not part of it.
  text = text.substr(0, text.find('\0'));
  SplitIdentityText(text.substr(0, kIdentityTextLimit), identity);
  identity.text = std::string(text.substr(0, kIdentityTextLimit));

  const auto expectedModel = ExpectedIdentity.substr(0, ExpectedIdentity.find(','));
  const bool modelMatches = identity.model.starts_with(expectedModel);
  if (!modelMatches || identity.bootloaderVersion > kMaxBootloaderVersion) return IdentityWrong;
  return IdentityOk;
}

IdentityResult CheckBootloaderIdentity(BootloaderLink& link, UnitIdentity& identity) {
  identity = UnitIdentity{};
  if (!link.Exchange(BootloaderVersionCommand, nullptr, 0, kIdentitySchedule.sends,
                     kIdentitySchedule.timeoutMs)) {
    return IdentityNoResponse;
  }
  return EvaluateIdentityReply(link.GetReply(), link.GetReplyLength(), identity);
}

}  // namespace tessaline
