// UTF-8 to UTF-16 conversion with MultiByteToWideChar.
#include "platform/win32/wide_text.h"

#include <windows.h>

namespace tessaline::platform {

std::wstring WideFromUtf8(std::string_view text) {
  if (text.empty()) return {};
  const int size = static_cast<int>(text.size());
  const int wide = MultiByteToWideChar(CP_UTF8, 0, text.data(), size, nullptr, 0);
  if (wide <= 0) return {};
  std::wstring result(static_cast<std::size_t>(wide), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, text.data(), size, result.data(), wide);
  return result;
}

}  // namespace tessaline::platform
