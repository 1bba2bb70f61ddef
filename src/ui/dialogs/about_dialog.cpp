// The About box: product title line in a large bold face, version, support address, maker.
#include "resource.h"
#include "ui/dialogs/dialog_support.h"
#include "ui/dialogs/dialogs.h"
#include "ui/ui_text.h"

namespace tessaline {
namespace {

constexpr int kTitlePoints = 14;
constexpr int kTitleChars = 64;  // title buffer, terminator included

void FitTitleLine(HWND dialog, dialogs::UniqueFont& titleFont) {
  titleFont = dialogs::CreatePointFont(
      dialog, {kTitlePoints, FW_BOLD, VARIABLE_PITCH | FF_SWISS, UiText(IDS_FONT_ARIAL)});
  if (!titleFont) return;  // the template font stays, and so does the layout
  HWND title = GetDlgItem(dialog, IDC_ABOUT_TITLE);
  SendMessageW(title, WM_SETFONT, reinterpret_cast<WPARAM>(titleFont.get()), TRUE);
  const std::wstring text = dialogs::ItemText(dialog, IDC_ABOUT_TITLE, kTitleChars);
  HDC dc = GetDC(title);
  HGDIOBJ previous = SelectObject(dc, titleFont.get());
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

INT_PTR CALLBACK AboutDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_INITDIALOG:
      FitTitleLine(dialog, *reinterpret_cast<dialogs::UniqueFont*>(lParam));
      return TRUE;
    case WM_COMMAND:
      return dialogs::EndOnOkOrCancel(dialog, wParam);
    default:
      return FALSE;
  }
}

}  // namespace

void ShowAboutDialog(HWND owner) {
  // Outlives the title control, which uses it: the dialog is gone when DialogBoxParamW returns.
  dialogs::UniqueFont titleFont;
  DialogBoxParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD_ABOUT), owner, AboutDialogProc,
                  reinterpret_cast<LPARAM>(&titleFont));
}

}  // namespace tessaline
