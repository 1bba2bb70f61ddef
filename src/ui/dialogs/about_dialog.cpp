// The About box: product title line in a large bold face, version, support address, maker.
#include "resource.h"
#include "ui/dialogs/dialog_support.h"
#include "ui/dialogs/dialogs.h"
#include "ui/ui_text.h"

namespace tessaline {
namespace {

constexpr int kTitlePoints = 14;
constexpr int kTitleChars = 64;  // title buffer, terminator included

// One About box at a time.
dialogs::UniqueFont TitleFont;

void FitTitleLine(HWND dialog) {
  TitleFont = dialogs::CreatePointFont(
      dialog, {kTitlePoints, FW_BOLD, VARIABLE_PITCH | FF_SWISS, UiText(IDS_FONT_ARIAL)});
  if (!TitleFont) return;  // the template font stays, and so does the layout
  HWND title = GetDlgItem(dialog, IDC_ABOUT_TITLE);
  SendMessageW(title, WM_SETFONT, reinterpret_cast<WPARAM>(TitleFont.get()), TRUE);
  const std::wstring text = dialogs::ItemText(dialog, IDC_ABOUT_TITLE, kTitleChars);
  HDC dc = GetDC(title);
  HGDIOBJ previous = SelectObject(dc, TitleFont.get());
  SIZE extent{};
  GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &extent);
  SelectObject(dc, previous);
  ReleaseDC(title, dc);
  RECT dialogRect{};
  RECT titleRect{};
  GetWindowRect(dialog, &dialogRect);
  GetWindowRect(title, &titleRect);
  const int x = (dialogRect.right - dialogRect.left + 1 - extent.cx) / 2;
  const int y = (titleRect.top - dialogRect.top) - extent.cy;
  SetWindowPos(title, nullptr, x, y, extent.cx, extent.cy, SWP_NOZORDER | SWP_NOACTIVATE);
}

INT_PTR CALLBACK AboutDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
  switch (message) {
    case WM_INITDIALOG:
      FitTitleLine(dialog);
      return TRUE;
    case WM_COMMAND:
      if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) {
        EndDialog(dialog, LOWORD(wParam));
        return TRUE;
      }
      return FALSE;
    case WM_NCDESTROY:
      TitleFont.reset();  // after the title control, which used it, is gone
      return FALSE;
    default:
      return FALSE;
  }
}

}  // namespace

void ShowAboutDialog(HINSTANCE instance, HWND owner) {
  DialogBoxParamW(instance, MAKEINTRESOURCEW(IDD_ABOUT), owner, AboutDialogProc, 0);
}

}  // namespace tessaline
