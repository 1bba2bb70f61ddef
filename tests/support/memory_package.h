// A package whose files are strings in memory, for jobs and package tests.
#pragma once

#include <map>
#include <string>
#include <utility>

#include "package/package.h"

namespace tessaline::testing {

class MemoryPackageSource final : public PackageSource {
 public:
  MemoryPackageSource() = default;
  // Adds the file of that type and name.
  MemoryPackageSource& Add(std::string type, std::string name, std::string contents) {
    files_[{std::move(type), std::move(name)}] = std::move(contents);
    return *this;
  }
  std::optional<std::vector<std::uint8_t>> Read(std::string_view type,
                                                std::string_view name) const override {
    const auto found = files_.find({std::string(type), std::string(name)});
    if (found == files_.end()) return std::nullopt;
    return std::vector<std::uint8_t>(found->second.begin(), found->second.end());
  }
  std::string Origin(std::string_view /*type*/, std::string_view /*name*/) const override {
    return "in memory";
  }

 private:
  std::map<std::pair<std::string, std::string>, std::string> files_;
};

}  // namespace tessaline::testing
