// Fuzzes the judgement of the bootloader's identity reply and the split of its identity text.
#include <cstdint>
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
  return 0;
}
