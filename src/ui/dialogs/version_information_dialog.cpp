// The Version Information dialog: the package's version rows, with links to their release notes.
#include <array>
#include <map>

#include "package/package_contents.h"
#include "package/properties_container.h"
#include "platform/module_resources.h"
#include "resource.h"
#include "ui/dialogs/dialog_support.h"
#include "ui/dialogs/dialogs.h"
#include "ui/formatted_text.h"
#include "ui/ui_text.h"
#include "ui/wide_text.h"

namespace tessaline {
namespace {

struct ControlPair {
  int label;
  int value;
};
// Filled by display position, not by row: absent rows leave no gap.
constexpr std::array<ControlPair, 6> kPairs{{{IDC_VERSION_LABEL_1, IDC_VERSION_VALUE_1},
                                             {IDC_VERSION_LABEL_2, IDC_VERSION_VALUE_2},
                                             {IDC_VERSION_LABEL_3, IDC_VERSION_VALUE_3},
                                             {IDC_VERSION_LABEL_4, IDC_VERSION_VALUE_4},
                                             {IDC_VERSION_LABEL_5, IDC_VERSION_VALUE_5},
                                             {IDC_VERSION_LABEL_6, IDC_VERSION_VALUE_6}}};
constexpr std::string_view kNotesType = "NOTES";

// What the open dialog shows and uses; its caller owns it, so it outlives the dialog's controls.
struct VersionDialogRecord {
  const PropertiesContainer& unitTexts;
  dialogs::UniqueFont underlined{};
  dialogs::UniqueFont bold{};
  WNDPROC staticProc = nullptr;                  // the labels' procedure before subclassing
  std::map<int, std::wstring> notesByControl{};  // label id -> NOTES resource name
};

VersionDialogRecord* RecordOf(HWND dialog) {
  return reinterpret_cast<VersionDialogRecord*>(GetWindowLongPtrW(dialog, DWLP_USER));
}

LRESULT CALLBACK NotesLinkProc(HWND label, UINT message, WPARAM wParam, LPARAM lParam) {
  VersionDialogRecord* record = RecordOf(GetParent(label));
  if (message == WM_SETCURSOR) {
    HCURSOR hand = LoadCursorW(nullptr, IDC_HAND);
    SetCursor(hand != nullptr ? hand : LoadCursorW(nullptr, IDC_ARROW));
    return TRUE;
  }
  if (record == nullptr || record->staticProc == nullptr) {
    return DefWindowProcW(label, message, wParam, lParam);
  }
  return CallWindowProcW(record->staticProc, label, message, wParam, lParam);
}

void FillRows(HWND dialog, VersionDialogRecord& record) {
  std::size_t position = 0;
  for (const VersionRow& row : VersionTable) {
    if (position == kPairs.size()) break;
    const std::string* value = record.unitTexts.Lookup(row.key);
    // A value marked not present has no row, as a missing one has none.
    if (IsMissingValue(value)) continue;
    const ControlPair pair = kPairs[position];
    const std::string label = Narrow(UiText(row.label));
    SetFormattedItemText(dialog, pair.label, &label);
    SetFormattedItemText(dialog, pair.value, value);
    HWND labelControl = GetDlgItem(dialog, pair.label);
    HWND valueControl = GetDlgItem(dialog, pair.value);
    if (platform::FindModuleResource(kNotesType, row.notes)) {
      record.notesByControl[pair.label] = Widen(row.notes);
      SendMessageW(labelControl, WM_SETFONT, reinterpret_cast<WPARAM>(record.underlined.get()),
                   FALSE);
      SetWindowLongPtrW(labelControl, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(NotesLinkProc));
    }
    SendMessageW(valueControl, WM_SETFONT, reinterpret_cast<WPARAM>(record.bold.get()), FALSE);
    ShowWindow(labelControl, SW_SHOW);
    ShowWindow(valueControl, SW_SHOW);
    ++position;
  }
}

void OnInitDialog(HWND dialog, VersionDialogRecord& record) {
  HWND first = GetDlgItem(dialog, IDC_VERSION_LABEL_1);
  const auto font = reinterpret_cast<HFONT>(SendMessageW(first, WM_GETFONT, 0, 0));
  record.underlined = dialogs::DeriveFont(font, false, true);
  record.bold = dialogs::DeriveFont(font, true, false);
  record.staticProc = reinterpret_cast<WNDPROC>(GetWindowLongPtrW(first, GWLP_WNDPROC));
  SetWindowLongPtrW(dialog, DWLP_USER, reinterpret_cast<LONG_PTR>(&record));
  FillRows(dialog, record);
}

const std::wstring* NotesOf(HWND dialog, int controlId) {
  VersionDialogRecord* record = RecordOf(dialog);
  if (record == nullptr) return nullptr;
  const auto found = record->notesByControl.find(controlId);
  return found == record->notesByControl.end() ? nullptr : &found->second;
}

INT_PTR CALLBACK VersionInformationDialogProc(HWND dialog, UINT message, WPARAM wParam,
                                              LPARAM lParam) {
  switch (message) {
    case WM_INITDIALOG:
      OnInitDialog(dialog, *reinterpret_cast<VersionDialogRecord*>(lParam));
      return TRUE;
    case WM_CTLCOLORSTATIC: {
      const int id = GetDlgCtrlID(reinterpret_cast<HWND>(lParam));
      if (NotesOf(dialog, id) == nullptr) return FALSE;
      auto dc = reinterpret_cast<HDC>(wParam);
      SetTextColor(dc, GetSysColor(COLOR_HOTLIGHT));
      SetBkColor(dc, GetSysColor(COLOR_BTNFACE));
      return reinterpret_cast<INT_PTR>(GetSysColorBrush(COLOR_BTNFACE));
    }
    case WM_COMMAND: {
      if (dialogs::EndOnOkOrCancel(dialog, wParam)) return TRUE;
      // Only the labels with release notes are links.
      const std::wstring* notes =
          HIWORD(wParam) == STN_CLICKED ? NotesOf(dialog, LOWORD(wParam)) : nullptr;
      if (notes != nullptr) ShowNotesDialog(dialog, notes->c_str());
      return notes != nullptr;
    }
    default:
      return FALSE;
  }
}

}  // namespace

void ShowVersionInformation(HWND owner, const PropertiesContainer& unitTexts) {
  VersionDialogRecord record{.unitTexts = unitTexts};
  DialogBoxParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD_VERSION_INFORMATION), owner,
                  VersionInformationDialogProc, reinterpret_cast<LPARAM>(&record));
}

}  // namespace tessaline
