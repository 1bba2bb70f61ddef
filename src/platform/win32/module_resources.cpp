// The program's own resources, found by type and name in its module's resource section.
#include "platform/module_resources.h"

#include <windows.h>

#include "platform/win32/wide_text.h"

namespace tessaline::platform {

std::optional<std::span<const std::uint8_t>> FindModuleResource(std::string_view type,
                                                                std::string_view name) {
  const HMODULE module = GetModuleHandleW(nullptr);
  const std::wstring wideType = WideFromUtf8(type);
  const std::wstring wideName = WideFromUtf8(name);
  HRSRC found = FindResourceW(module, wideName.c_str(), wideType.c_str());
  if (found == nullptr) return std::nullopt;
  HGLOBAL loaded = LoadResource(module, found);
  if (loaded == nullptr) return std::nullopt;
  const void* bytes = LockResource(loaded);
  const DWORD size = SizeofResource(module, found);
  if (bytes == nullptr) return std::nullopt;
  // Resource memory is mapped with the image and is never freed.
  return std::span<const std::uint8_t>(static_cast<const std::uint8_t*>(bytes), size);
}

// Windows trims the image pages of a process's working set itself when memory is wanted.
void ReleaseResourcePages(std::span<const std::uint8_t> /*bytes*/) {}

}  // namespace tessaline::platform
