// The rack window's box of units read line by line: each line a unit, or the reason it is not one.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "transport/unit_address.h"

namespace tessaline {

struct RackUnitLine {
  std::string text;                 // the line as typed, trimmed
  std::optional<UnitAddress> unit;  // none when the line is refused
  std::string problem;              // why it is refused
};

// The lines as the command line's units file reads them (ReadUnitLines); a unit named twice is
// refused on its second line.
std::vector<RackUnitLine> ReadRackUnits(std::string_view text);

}  // namespace tessaline
