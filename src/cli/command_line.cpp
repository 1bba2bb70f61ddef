// Command-line parsing for tessaline-update.
#include "cli/command_line.h"

#include <algorithm>
#include <charconv>

namespace tessaline::cli {

std::vector<OptionSpec> ParseOptionList(std::string_view list) {
  std::vector<OptionSpec> specs;
  while (!list.empty()) {
    const auto comma = list.find(',');
    std::string_view item = list.substr(0, comma);
    list = comma == std::string_view::npos ? std::string_view{} : list.substr(comma + 1);
    if (item.empty()) continue;
    OptionSpec spec;
    if (item.size() > 2 && item.front() == '<' && item.back() == '>') {
      spec.operand = true;
      spec.takesValue = true;
      item = item.substr(1, item.size() - 2);
    } else if (item.size() > 2 && item.substr(item.size() - 2) == "=*") {
      spec.takesValue = true;
      spec.repeats = true;
      item.remove_suffix(2);
    } else if (item.back() == '=') {
      spec.takesValue = true;
      item.remove_suffix(1);
    } else if (item.back() == '?') {
      spec.optionalValue = true;
      item.remove_suffix(1);
    }
    spec.name = std::string(item);
    specs.push_back(std::move(spec));
  }
  return specs;
}

bool CommandLine::Parse(const std::vector<std::string>& words,
                        const std::vector<OptionSpec>& accepted, std::string& error) {
  options_.clear();
  for (std::size_t i = 0; i < words.size(); ++i) {
    const std::string& word = words[i];
    if (word.size() < 3 || word.compare(0, 2, "--") != 0) {
      const auto operand = std::find_if(accepted.begin(), accepted.end(), [this](const auto& spec) {
        return spec.operand && options_.count(spec.name) == 0;
      });
      if (operand == accepted.end() || word.empty()) {
        error = "unexpected argument '" + word + "'";
        return false;
      }
      options_.emplace(operand->name, word);
      continue;
    }
    std::string name = word.substr(2);
    std::optional<std::string> inlineValue;
    if (const auto equals = name.find('='); equals != std::string::npos) {
      inlineValue = name.substr(equals + 1);
      name.resize(equals);
    }
    const OptionSpec* spec = nullptr;
    for (const auto& candidate : accepted) {
      if (candidate.name == name && !candidate.operand) spec = &candidate;
    }
    if (spec == nullptr) {
      error = "unknown option --" + name;
      return false;
    }
    if (!spec->repeats && options_.count(name) != 0) {
      error = "option --" + name + " given twice";
      return false;
    }
    std::string value;
    if (spec->takesValue) {
      if (inlineValue) {
        value = *inlineValue;
      } else if (i + 1 < words.size()) {
        value = words[++i];
      } else {
        error = "option --" + name + " needs a value";
        return false;
      }
      if (value.empty()) {
        error = "option --" + name + " needs a value";
        return false;
      }
    } else if (spec->optionalValue && inlineValue) {
      value = *inlineValue;
      if (value.empty()) {
        error = "option --" + name + "= needs a value";
        return false;
      }
    } else if (inlineValue) {
      error = "option --" + name + " takes no value";
      return false;
    }
    options_.emplace(std::move(name), std::move(value));
  }
  return true;
}

bool CommandLine::Has(std::string_view name) const { return options_.find(name) != options_.end(); }

std::optional<std::string> CommandLine::Value(std::string_view name) const {
  const auto found = options_.lower_bound(name);
  if (found == options_.end() || found->first != name) return std::nullopt;
  return found->second;
}

std::vector<std::string> CommandLine::Values(std::string_view name) const {
  std::vector<std::string> values;
  const auto [first, last] = options_.equal_range(name);
  for (auto at = first; at != last; ++at) values.push_back(at->second);
  return values;
}

std::optional<std::uint32_t> CommandLine::Number(std::string_view name, std::uint32_t low,
                                                 std::uint32_t high, std::string& error) const {
  const auto text = Value(name);
  if (!text) return std::nullopt;
  std::uint32_t number = 0;
  const auto* end = text->data() + text->size();
  const auto [at, code] = std::from_chars(text->data(), end, number);
  if (code != std::errc{} || at != end || number < low || number > high) {
    error = "--" + std::string(name) + " must be a number from " + std::to_string(low) + " to " +
            std::to_string(high);
    return std::nullopt;
  }
  return number;
}

}  // namespace tessaline::cli
