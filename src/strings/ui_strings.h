// The user-interface strings by id, from the same source as the Windows string table.
#pragma once

#include <cstdint>
#include <string>

namespace tessaline {

enum StringId : std::uint16_t {
#define UI_STRING(id, symbol, text) symbol = id,
#include "ui_strings.def"
#undef UI_STRING
};

// The text of `id` (UTF-8); empty for an unknown id.
const char* UiString(StringId id);

// "Progress: %s" filled with `stage`.
std::string ProgressText(const std::string& stage);

}  // namespace tessaline
