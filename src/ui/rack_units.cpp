// Reading the rack window's box of units.
#include "ui/rack_units.h"

#include "discovery/unit_lines.h"
#include "strings/ui_strings.h"

namespace tessaline {
namespace {

std::string Filled(StringId id, const std::string& value) {
  std::string text = UiString(id);
  const auto at = text.find("%s");
  if (at != std::string::npos) text.replace(at, 2, value);
  return text;
}

}  // namespace

std::vector<RackUnitLine> ReadRackUnits(std::string_view text) {
  std::vector<RackUnitLine> lines;
  for (UnitLine& read : ReadUnitLines(text)) {
    RackUnitLine line;
    line.text = std::move(read.text);
    switch (read.fault) {
      case UnitLineFault::None:
        if (read.firstNamedAt != 0) {
          line.problem = Filled(IDS_RACK_LINE_TWICE, std::to_string(read.firstNamedAt));
        } else {
          line.unit = std::move(read.unit);
        }
        break;
      case UnitLineFault::RefusedAddress:
        line.problem = UiString(IDS_RACK_LINE_REFUSED);
        break;
      case UnitLineFault::NotAnAddress:
      case UnitLineFault::NotAUnit:
        line.problem = UiString(IDS_RACK_LINE_NEITHER);
        break;
    }
    lines.push_back(std::move(line));
  }
  return lines;
}

}  // namespace tessaline
