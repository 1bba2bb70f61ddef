// Conversion between the core's UTF-8 text and the wide text of the Win32 API.
#pragma once

#include <string>
#include <string_view>

namespace tessaline {

std::wstring Widen(std::string_view utf8);
std::string Narrow(std::wstring_view wide);

}  // namespace tessaline
