// The update plan: each unit's state, its action and what blocks it.
#include "cli/update_plan.h"

#include <list>
#include <map>
#include <nlohmann/json.hpp>
#include <string>

#include "cli/exit_codes.h"
#include "link/bootloader_commands.h"
#include "package/bin_manager.h"
#include "package/hex_manager.h"
#include "platform/threading.h"
#include "update/running_to_running.h"
#include "update/version_guard.h"

namespace tessaline::cli {

namespace {

struct UnitPlan {
  UnitState state;
  std::string action;
  std::vector<std::string> blockers;
};

UnitPlan PlanFor(const UnitState& state, const Package& package,
                 std::optional<std::uint32_t> packageVersion, const UnitUpdatePolicy& policy,
                 bool havePin) {
  UnitPlan plan{state, {}, {}};
  switch (state.mode) {
    case UnitMode::Bootload:
      plan.action = "update";
      break;
    case UnitMode::Application:
      plan.action = "enter bootload with the PIN, then update";
      if (!havePin) {
        plan.blockers.push_back(
            "it runs its application and no PIN was given (--pin, --pin-file or TESSALINE_PIN)");
      }
      break;
    case UnitMode::Silent:
      plan.action = "none";
      plan.blockers.push_back("neither its bootloader nor its text port answered");
      break;
  }
  if (state.identity && policy.job.firmware) {
    CHexManager application;
    CBinManager flashData;
    if (package.LoadVariant(state.identity->mcuFamily, state.identity->dsp, application,
                            flashData) != VariantImages::Loaded) {
      plan.action = "refuse: another variant";
      plan.blockers.push_back("the package holds no firmware for " + state.identity->mcuFamily +
                              "," + state.identity->dsp);
    }
  }
  const bool newer =
      state.applicationVersion && packageVersion && *state.applicationVersion > *packageVersion;
  if (newer && policy.job.firmware && !policy.force) {
    plan.action = "refuse: a newer version";
    plan.blockers.push_back("it runs V" + FormatApplicationVersion(*state.applicationVersion) +
                            ", newer than the package's V" +
                            FormatApplicationVersion(*packageVersion) + " (--force writes anyway)");
  }
  return plan;
}

}  // namespace

int ShowUpdatePlan(const std::vector<UnitAddress>& units, const Package& package,
                   const UnitUpdatePolicy& policy, bool havePin, Output& output) {
  // Each unit is read once; a later naming of it points at the first.
  std::vector<std::size_t> firstNaming(units.size());
  {
    std::map<std::string, std::size_t> seen;
    for (std::size_t k = 0; k < units.size(); ++k) {
      firstNaming[k] = seen.emplace(units[k].Canonical(), k).first->second;
    }
  }
  std::vector<UnitState> states(units.size());
  {
    std::list<platform::JoinedThread> readers;
    for (std::size_t k = 0; k < units.size(); ++k) {
      if (firstNaming[k] != k) continue;
      readers.emplace_back([&, k] { states[k] = ReadUnitState(units[k], policy.parserPort); });
    }
  }
  const auto packageVersion = ParseBuildVersion(package.UnitTexts().GetString("build-version"));
  std::size_t blocked = 0;
  for (std::size_t k = 0; k < units.size(); ++k) {
    UnitPlan plan = PlanFor(states[firstNaming[k]], package, packageVersion, policy, havePin);
    if (firstNaming[k] != k) {
      plan.action = "refuse: a unit named twice";
      plan.blockers = {"it is named already as " + units[firstNaming[k]].Label() +
                       "; each unit gets one job"};
    }
    if (!plan.blockers.empty()) ++blocked;
    const UnitState& state = plan.state;
    if (output.Mode() == OutputMode::Json) {
      JsonEvent event{{"event", "plan"},
                      {"unit", units[k].Label()},
                      {"mode", UnitModeWord(state.mode)},
                      {"action", plan.action},
                      {"blockers", plan.blockers}};
      if (state.bootloaderVersion) {
        event["bootloader_version"] = FormatBootloaderVersion(*state.bootloaderVersion);
      }
      if (state.applicationVersion) {
        event["application_version"] = FormatApplicationVersion(*state.applicationVersion);
      }
      if (state.bootloadState != '\0')
        event["bootload_state"] = std::string(1, state.bootloadState);
      output.Event(event);
      continue;
    }
    std::string line = units[k].Label() + ": " + std::string(UnitModeWord(state.mode)) + " mode";
    if (state.bootloaderVersion) {
      line += ", bootloader " + FormatBootloaderVersion(*state.bootloaderVersion);
    }
    if (state.applicationVersion) {
      line += ", application V" + FormatApplicationVersion(*state.applicationVersion);
    }
    line += "; " + plan.action;
    for (const auto& blocker : plan.blockers) line += "; blocked: " + blocker;
    output.Line(line);
  }
  const int exitCode = blocked == 0 ? kExitSuccess : kExitSomeUnitsFailed;
  output.Result(blocked == 0 ? "plan-clear" : "plan-blocked",
                std::to_string(units.size() - blocked) + " of " + std::to_string(units.size()) +
                    " units would proceed; nothing was sent that changes a unit.",
                exitCode);
  return exitCode;
}

}  // namespace tessaline::cli
