// Loading of the string table into process-wide wide buffers.
#include "ui/ui_text.h"

#include <map>
#include <mutex>

#include "link/bootloader_commands.h"
#include "ui/wide_text.h"

namespace tessaline {
namespace {

constexpr StringId kAllStrings[] = {
#define UI_STRING(id, symbol, text) symbol,
#include "ui_strings.def"
#undef UI_STRING
};

// Written once by LoadUiStrings on the user-interface thread before any worker starts; the
// fallback entries are added under the lock.
std::map<StringId, std::wstring> table;
std::mutex tableMutex;

}  // namespace

void LoadUiStrings(HINSTANCE instance) {
  std::lock_guard lock(tableMutex);
  for (const StringId id : kAllStrings) {
    const wchar_t* text = nullptr;
    // Length 0 asks for a read-only pointer into the resource instead of a copy.
    const int length = LoadStringW(instance, id, reinterpret_cast<LPWSTR>(&text), 0);
    table[id] = length > 0 ? std::wstring(text, static_cast<std::size_t>(length)) : L"";
  }
}

const std::wstring& UiText(StringId id) {
  std::lock_guard lock(tableMutex);
  auto found = table.find(id);
  if (found == table.end()) found = table.emplace(id, Widen(UiString(id))).first;
  return found->second;
}

std::wstring ApplicationVersionLabel(std::uint32_t word) {
  const auto version = ApplicationVersionFromWord(word);
  return version ? Widen(FormatApplicationVersion(*version)) : UiText(IDS_NOT_FOUND);
}

}  // namespace tessaline
