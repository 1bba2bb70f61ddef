// Owned fonts at point sizes, item texts, the OK/Cancel ending and the wait cursor for the dialogs.
#include "ui/dialogs/dialog_support.h"

#include <vector>

namespace tessaline::dialogs {

UniqueFont CreatePointFont(HWND window, const FontRequest& request) {
  HDC dc = GetDC(window);
  const int dpi = dc != nullptr ? GetDeviceCaps(dc, LOGPIXELSY) : 96;
  if (dc != nullptr) ReleaseDC(window, dc);
  LOGFONTW description{};
  description.lfHeight = -MulDiv(request.points, dpi, 72);
  description.lfWeight = request.weight;
  description.lfCharSet = ANSI_CHARSET;
  description.lfPitchAndFamily = request.pitchAndFamily;
  request.face.copy(description.lfFaceName, LF_FACESIZE - 1);
  return UniqueFont(CreateFontIndirectW(&description));
}

UniqueFont DeriveFont(HFONT font, bool bold, bool underline) {
  LOGFONTW description{};
  HGDIOBJ source = font != nullptr ? static_cast<HGDIOBJ>(font) : GetStockObject(DEFAULT_GUI_FONT);
  if (GetObjectW(source, sizeof description, &description) == 0) return nullptr;
  if (bold) description.lfWeight = FW_BOLD;
  description.lfUnderline = underline ? TRUE : FALSE;
  return UniqueFont(CreateFontIndirectW(&description));
}

std::wstring ItemText(HWND dialog, int controlId, int capacity) {
  std::vector<wchar_t> buffer(static_cast<std::size_t>(capacity), L'\0');
  const UINT length = GetDlgItemTextW(dialog, controlId, buffer.data(), capacity);
  return std::wstring(buffer.data(), length);
}

bool EndOnOkOrCancel(HWND dialog, WPARAM wParam) {
  const int id = LOWORD(wParam);
  if (id != IDOK && id != IDCANCEL) return false;
  EndDialog(dialog, id);
  return true;
}

WaitCursor::WaitCursor() : saved_(SetCursor(LoadCursorW(nullptr, IDC_WAIT))) {}
WaitCursor::~WaitCursor() { SetCursor(saved_); }

}  // namespace tessaline::dialogs
