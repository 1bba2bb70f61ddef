// Prints what the running rack window shows, for tests that drive it from outside: one line per
// row (its cells separated by tabs), then "summary", "receipts" and the enabled buttons.
// Exit 2 when no rack window is open.
// clang-format off
#include <windows.h>
#include <commctrl.h>
// clang-format on

#include <cstdio>
#include <string>
#include <vector>

#include "resource.h"

namespace {

constexpr int kCellChars = 1024;

std::string Utf8(const std::wstring& wide) {
  if (wide.empty()) return {};
  const int size = WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()),
                                       nullptr, 0, nullptr, nullptr);
  std::string text(static_cast<std::size_t>(size), '\0');
  WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), text.data(), size,
                      nullptr, nullptr);
  return text;
}

std::wstring ItemText(HWND window, int id) {
  wchar_t text[kCellChars]{};
  GetDlgItemTextW(window, id, text, kCellChars);
  return text;
}

// The list belongs to another process: its cells are read through memory lent in that process.
class RemoteCell {
 public:
  explicit RemoteCell(HWND list) {
    DWORD process = 0;
    GetWindowThreadProcessId(list, &process);
    process_ =
        OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, process);
    if (process_ != nullptr) {
      memory_ = VirtualAllocEx(process_, nullptr, sizeof(LVITEMW) + kCellChars * sizeof(wchar_t),
                               MEM_COMMIT, PAGE_READWRITE);
    }
  }
  ~RemoteCell() {
    if (memory_ != nullptr) VirtualFreeEx(process_, memory_, 0, MEM_RELEASE);
    if (process_ != nullptr) CloseHandle(process_);
  }
  RemoteCell(const RemoteCell&) = delete;
  RemoteCell& operator=(const RemoteCell&) = delete;

  bool Usable() const { return memory_ != nullptr; }

  std::wstring Read(HWND list, int row, int column) {
    auto* text = static_cast<char*>(memory_) + sizeof(LVITEMW);
    LVITEMW item{};
    item.iSubItem = column;
    item.cchTextMax = kCellChars;
    item.pszText = reinterpret_cast<wchar_t*>(text);
    WriteProcessMemory(process_, memory_, &item, sizeof item, nullptr);
    const auto length = SendMessageW(list, LVM_GETITEMTEXTW, static_cast<WPARAM>(row),
                                     reinterpret_cast<LPARAM>(memory_));
    std::wstring cell(static_cast<std::size_t>(length), L'\0');
    if (length > 0) {
      ReadProcessMemory(process_, text, cell.data(), cell.size() * sizeof(wchar_t), nullptr);
    }
    return cell;
  }

 private:
  HANDLE process_ = nullptr;
  void* memory_ = nullptr;
};

}  // namespace

int wmain() {
  const HWND rack = FindWindowW(nullptr, L"Update Rack");
  if (rack == nullptr) return 2;
  const HWND list = GetDlgItem(rack, IDC_RACK_ROWS);
  RemoteCell cell(list);
  if (!cell.Usable()) return 3;
  const auto rows = static_cast<int>(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0));
  const auto header = reinterpret_cast<HWND>(SendMessageW(list, LVM_GETHEADER, 0, 0));
  const auto columns = static_cast<int>(SendMessageW(header, HDM_GETITEMCOUNT, 0, 0));
  for (int row = 0; row < rows; ++row) {
    std::wstring line = L"row";
    for (int column = 0; column < columns; ++column) line += L"\t" + cell.Read(list, row, column);
    std::printf("%s\n", Utf8(line).c_str());
  }
  std::printf("summary\t%s\n", Utf8(ItemText(rack, IDC_RACK_SUMMARY)).c_str());
  std::printf("receipts\t%s\n", Utf8(ItemText(rack, IDC_RACK_RECEIPTS)).c_str());
  std::string enabled = "enabled";
  const std::pair<int, const char*> buttons[] = {{IDC_RACK_UPDATE_ALL, "update-all"},
                                                 {IDC_RACK_STOP, "stop"},
                                                 {IDC_RACK_RETRY, "retry"},
                                                 {IDC_RACK_REPORT, "report"}};
  for (const auto& [id, name] : buttons) {
    if (IsWindowEnabled(GetDlgItem(rack, id))) enabled += std::string("\t") + name;
  }
  std::printf("%s\n", enabled.c_str());
  return 0;
}
