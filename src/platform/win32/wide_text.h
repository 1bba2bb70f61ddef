// UTF-8 <-> UTF-16 at the Win32 API boundary.
#pragma once

#include <string>
#include <string_view>

namespace tessaline::platform {

std::wstring WideFromUtf8(std::string_view text);
std::string Utf8FromWide(std::wstring_view text);

}  // namespace tessaline::platform
