// UTF-8 <-> UTF-16 and the system's words for an error code, at the Win32 API boundary.
#pragma once

#include <string>
#include <string_view>

namespace tessaline::platform {

std::wstring WideFromUtf8(std::string_view text);
std::string Utf8FromWide(std::wstring_view text);

// The system's words for a Win32 (or Winsock, or HRESULT) error code, without the line end and
// full stop the system adds.
std::string SystemErrorText(unsigned long code);

}  // namespace tessaline::platform
