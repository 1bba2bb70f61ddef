// tessaline-update keys: the user's receipt signing key (made on first use), its fingerprint and
// public half; --export FILE writes that public half for whoever checks the receipts.
#include <cstdio>
#include <fstream>
#include <nlohmann/json.hpp>
#include <string>

#include "cli/commands.h"
#include "cli/exit_codes.h"
#include "receipts/signing_key.h"

namespace tessaline::cli {

int RunKeysCommand(const CommandLine& line, Output& output) {
  std::string why;
  const auto user = receipts::LoadOrMakeUserKey(why);
  if (!user) {
    output.Error("keys: " + why);
    return kExitNotFound;
  }
  const platform::EcPublicPoint& point = user->key->PublicPoint();
  const std::string pem = receipts::PublicKeyPem(point);
  const std::string fingerprint = receipts::Fingerprint(point);
  if (const auto target = line.Value("export")) {
    std::ofstream file(*target, std::ios::binary | std::ios::trunc);
    file << pem;
    file.flush();
    if (!file) {
      output.Error("keys: " + *target + ": the public key cannot be written there");
      return kExitUsage;
    }
  }
  if (output.Mode() == OutputMode::Json) {
    output.Event({{"event", "key"},
                  {"key_file", user->path.string()},
                  {"made", user->made},
                  {"fingerprint", fingerprint},
                  {"public_key", pem}});
    return kExitSuccess;
  }
  output.Line(std::string(user->made ? "Made the receipt signing key " : "Receipt signing key ") +
              user->path.string() + " (readable by you only; never shown).");
  output.Line("Fingerprint: " + fingerprint);
  if (const auto target = line.Value("export")) output.Line("Public key written to " + *target);
  std::fputs(pem.c_str(), stdout);
  std::fflush(stdout);
  return kExitSuccess;
}

}  // namespace tessaline::cli
