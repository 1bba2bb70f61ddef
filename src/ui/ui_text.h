// The user-interface strings as loaded from the program's string table.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

#include "strings/ui_strings.h"

namespace tessaline {

// Loads every string of the table once (start-up); an entry missing from the table stays empty.
void LoadUiStrings(HINSTANCE instance);

// The loaded text of `id`; the built-in text when LoadUiStrings has not filled it.
const std::wstring& UiText(StringId id);

// A reported application version word as the version labels show it: "1.2", or the Not Found
// text when the unit has no application.
std::wstring ApplicationVersionLabel(std::uint32_t word);

}  // namespace tessaline
