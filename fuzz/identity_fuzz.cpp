// Fuzzes the judgement of the bootloader's identity reply and the split of its identity text.
#include <algorithm>
#include <cstdint>
#include <string_view>
#include <vector>

#include "fuzz_input.h"
#include "update/unit_identity.h"

namespace {
using tessaline::fuzz::Require;
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size > tessaline::kMaxDecodedReply) return 0;  // no reply is longer
  // An exact-size copy, so reading one byte past the reply is caught by the sanitizer.
  const std::vector<std::uint8_t> reply(data, data + size);
  tessaline::UnitIdentity identity;
  identity.model = "left over";
  const auto length = static_cast<std::uint16_t>(size);
  const auto result = tessaline::EvaluateIdentityReply(reply.data(), length, identity);

  Require(identity.model.size() <= tessaline::kModelLimit, "the model fits its area");
  Require(identity.mcuFamily.size() <= tessaline::kMcuFamilyLimit, "the family fits its area");
  Require(identity.dsp.size() <= tessaline::kDspLimit, "the DSP fits its area");
  Require(identity.SequencedCommands == (size >= 6), "data byte 3 announces the sequenced forms");
  if (size < 5) {
    Require(result == tessaline::IdentityNoResponse && identity.model.empty(),
            "a reply without a version is no response");
    return 0;
  }
  Require(identity.bootloaderVersion == (reply[1] << 8 | reply[2]), "major then minor");
  if (size <= 6) {
    Require(result == tessaline::IdentityNoResponse,
            "a reply without identity text is no response");
    return 0;
  }
  if (result == tessaline::IdentityOk) {
    Require(identity.model.starts_with("Tessaline"), "only the Tessaline model is accepted");
    Require(identity.bootloaderVersion <= tessaline::kMaxBootloaderVersion,
            "bootloaders above 4.0 are refused");
  } else {
    Require(result == tessaline::IdentityWrong, "a full reply is accepted or wrong");
  }
  for (const auto* field : {&identity.model, &identity.mcuFamily}) {
    Require(field->find(',') == std::string::npos, "model and family hold no comma");
  }

  // The split on its own, over the whole reply read as text: each field is the start of its part.
  const std::string_view text(reinterpret_cast<const char*>(reply.data()), reply.size());
  tessaline::UnitIdentity split;
  tessaline::SplitIdentityText(text, split);
  const std::size_t first = text.find(',');
  if (first == std::string_view::npos) {
    Require(split.model.empty() && split.mcuFamily.empty() && split.dsp.empty(),
            "without a comma every field stays empty");
    return 0;
  }
  Require(text.substr(0, first).starts_with(split.model), "the model is the text before a comma");
  Require(split.model.size() == std::min(first, tessaline::kModelLimit), "the model is cut at 63");
  const std::string_view rest = text.substr(first + 1);
  const std::size_t second = rest.find(',');
  if (second == std::string_view::npos) {
    Require(split.mcuFamily.empty() && split.dsp.empty(), "one comma leaves family and DSP empty");
    return 0;
  }
  Require(rest.substr(0, second).starts_with(split.mcuFamily) &&
              split.mcuFamily.size() == std::min(second, tessaline::kMcuFamilyLimit),
          "the family lies between the commas, cut at 31");
  Require(rest.substr(second + 1).starts_with(split.dsp) &&
              split.dsp.size() == std::min(rest.size() - second - 1, tessaline::kDspLimit),
          "the DSP is the rest, cut at 31");
  return 0;
}
