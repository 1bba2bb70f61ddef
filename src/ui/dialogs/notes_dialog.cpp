// The Notes dialog: one release-notes text of the package in a fixed-pitch face.
#include <string>
#include <vector>

#include "platform/module_resources.h"
#include "resource.h"
#include "ui/dialogs/dialog_support.h"
#include "ui/dialogs/dialogs.h"
#include "ui/wide_text.h"

namespace tessaline {
namespace {

constexpr int kNotesPoints = 8;
constexpr std::string_view kNotesType = "NOTES";
constexpr wchar_t kNotesFace[] = L"Courier New";

// What the open dialog shows; its caller owns it, so the font outlives the text control.
struct NotesDialog {
  const wchar_t* name = nullptr;
  dialogs::UniqueFont font{};
};

void OnInitDialog(HWND dialog, NotesDialog& notesDialog) {
  const wchar_t* name = notesDialog.name;
  const auto notes =
      name != nullptr ? platform::FindModuleResource(kNotesType, Narrow(name)) : std::nullopt;
  if (!notes) {
    EndDialog(dialog, IDCANCEL);
    return;
  }
  const int size = static_cast<int>(notes->size());
  std::vector<wchar_t> converted(notes->size() + 1, L'\0');
  MultiByteToWideChar(CP_ACP, 0, reinterpret_cast<const char*>(notes->data()), size,
                      converted.data(), size);
  // The edit control breaks lines only at CR LF; notes written with bare LF would run together.
  std::wstring text;
  for (const wchar_t* c = converted.data(); *c != L'\0'; ++c) {
    if (*c == L'\n' && (c == converted.data() || c[-1] != L'\r')) text += L'\r';
    text += *c;
  }
  notesDialog.font = dialogs::CreatePointFont(
      dialog, {kNotesPoints, FW_NORMAL, FIXED_PITCH | FF_MODERN, kNotesFace});
  HWND edit = GetDlgItem(dialog, IDC_NOTES_TEXT);
  SendMessageW(edit, WM_SETFONT, reinterpret_cast<WPARAM>(notesDialog.font.get()), FALSE);
  SetWindowTextW(edit, text.c_str());
  ShowWindow(edit, SW_SHOW);
  // Focus on OK: the dialog manager would otherwise focus the text and select all of it.
  SetFocus(GetDlgItem(dialog, IDOK));
}

INT_PTR CALLBACK NotesDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_INITDIALOG:
      OnInitDialog(dialog, *reinterpret_cast<NotesDialog*>(lParam));
      return FALSE;  // focus already set
    case WM_CTLCOLORSTATIC: {
      // The read-only text should look like ordinary edit text, not like the dialog's face.
      if (GetDlgCtrlID(reinterpret_cast<HWND>(lParam)) != IDC_NOTES_TEXT) return FALSE;
      auto dc = reinterpret_cast<HDC>(wParam);
      SetTextColor(dc, GetSysColor(COLOR_WINDOWTEXT));
      SetBkColor(dc, GetSysColor(COLOR_WINDOW));
      return reinterpret_cast<INT_PTR>(GetSysColorBrush(COLOR_WINDOW));
    }
    case WM_COMMAND:
      return dialogs::EndOnOkOrCancel(dialog, wParam);
    default:
      return FALSE;
  }
}

}  // namespace

INT_PTR ShowNotesDialog(HWND owner, const wchar_t* notesName) {
  NotesDialog notesDialog{.name = notesName};
  return DialogBoxParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD_NOTES), owner,
                         NotesDialogProc, reinterpret_cast<LPARAM>(&notesDialog));
}

}  // namespace tessaline
