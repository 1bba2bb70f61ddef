// tessaline-update package: what the package holds, its versions, images with digests, notes, and
// where each file came from.
#include <cstdio>
#include <nlohmann/json.hpp>
#include <string>

#include "cli/commands.h"
#include "cli/exit_codes.h"
#include "cli/package_choice.h"
#include "strings/ui_strings.h"

namespace tessaline::cli {

namespace {

// "HEX/APPLICATION_STM32_ADAU1452": the file's place in a package folder, without extension.
std::string FileName(const PackageVariant& row) {
  return std::string(row.type) + "/" + std::string(row.resource);
}

nlohmann::json ImageJson(const Package& package, std::size_t row) {
  const auto file = package.FileFacts(row);
  if (!file) return nullptr;
  return {
      {"file", FileName(PackageVariants[row])}, {"bytes", file->bytes}, {"sha256", file->sha256}};
}

std::string PackageJson(const Package& package) {
  nlohmann::json versions = nlohmann::json::object();
  for (const VersionRow& row : VersionTable) {
    versions[std::string(row.key)] = package.UnitTexts().GetString(row.key);
  }
  nlohmann::json variants = nlohmann::json::array();
  for (std::size_t variant = 0; variant < kPackageVariantCount; ++variant) {
    const PackageVariant& row = PackageVariants[ApplicationRow(variant)];
    variants.push_back({{"mcu_family", row.mcuFamily},
                        {"dsp", row.dsp},
                        {"application", ImageJson(package, ApplicationRow(variant))},
                        {"flash_data", ImageJson(package, FlashDataRow(variant))}});
  }
  nlohmann::json notes = nlohmann::json::object();
  for (const auto& [name, text] : package.Notes()) notes[name] = text;
  nlohmann::json files = nlohmann::json::array();
  for (const PackageFileOrigin& file : package.Origins()) {
    files.push_back({{"file", file.file}, {"from", file.origin}});
  }
  const nlohmann::json document = {
      {"event", "package"},   {"build_version", package.UnitTexts().GetString("build-version")},
      {"versions", versions}, {"variants", variants},
      {"notes", notes},       {"files", files}};
  // Notes are the package author's text: bytes that are not UTF-8 are replaced, not refused.
  return document.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

void PrintImage(const Package& package, std::size_t row, const char* what, Output& output) {
  const auto file = package.FileFacts(row);
  if (!file) {
    output.Line(std::string("    ") + what + ": none");
    return;
  }
  output.Line(std::string("    ") + what + ": " + FileName(PackageVariants[row]) + ", " +
              std::to_string(file->bytes) + " bytes, SHA-256 " + file->sha256);
}

void PrintText(const Package& package, Output& output) {
  for (const VersionRow& row : VersionTable) {
    const std::string label = std::string(UiString(row.label)) + ":";
    const std::string& value = package.UnitTexts().GetString(row.key);
    output.Line(label + std::string(label.size() < 26 ? 26 - label.size() : 1, ' ') +
                (value.empty() ? "-" : value));
  }
  for (std::size_t variant = 0; variant < kPackageVariantCount; ++variant) {
    const PackageVariant& row = PackageVariants[ApplicationRow(variant)];
    output.Line(std::string(row.mcuFamily) + "/" + std::string(row.dsp) + ":");
    PrintImage(package, ApplicationRow(variant), "application", output);
    PrintImage(package, FlashDataRow(variant), "flash data ", output);
  }
  output.Line("Files:");
  for (const PackageFileOrigin& file : package.Origins()) {
    output.Line("    " + file.file + ": " + file.origin);
  }
  for (const auto& [name, text] : package.Notes()) {
    output.Line(name + ":");
    std::string lines;
    for (const char c : text.substr(0, text.find_last_not_of("\r\n") + 1)) {
      if (c != '\r') lines += c;
    }
    output.Line(lines);
  }
}

}  // namespace

int RunPackageCommand(const CommandLine& line, Output& output) {
  const PackageChoice choice = ChoosePackage(line);
  if (!choice.package) {
    output.Result(choice.result, choice.text, choice.exitCode);
    return choice.exitCode;
  }
  if (output.Mode() == OutputMode::Json) {
    std::printf("%s\n", PackageJson(*choice.package).c_str());
    std::fflush(stdout);
    output.Result("shown", "The package was shown.", 0);
  } else {
    PrintText(*choice.package, output);
  }
  return kExitSuccess;
}

}  // namespace tessaline::cli
