// Small Win32 helpers shared by the dialogs: owned fonts, point sizes, texts and the wait cursor.
#pragma once

#include <windows.h>

#include <memory>
#include <string>
#include <type_traits>

namespace tessaline::dialogs {

struct FontDeleter {
  void operator()(HFONT font) const noexcept { DeleteObject(font); }
};
using UniqueFont = std::unique_ptr<std::remove_pointer_t<HFONT>, FontDeleter>;

// Character height for a size in points on the display of `window`: -MulDiv(points, dpi, 72).
LONG FontHeightForPoints(HWND window, int points);

struct FontRequest {
  int points = 8;
  LONG weight = FW_NORMAL;
  BYTE pitchAndFamily = VARIABLE_PITCH | FF_SWISS;
  std::wstring face;
  bool underline = false;
};
UniqueFont CreatePointFont(HWND window, const FontRequest& request);

// A copy of `font` (the system font when null) with another weight and underline.
UniqueFont DeriveFont(HFONT font, LONG weight, bool underline);

std::wstring ItemText(HWND dialog, int controlId, int capacity);
void SetItemText(HWND dialog, int controlId, const std::wstring& text);
void EnableItem(HWND dialog, int controlId, bool enable);

// Shows the wait cursor for its lifetime: the user-interface thread is about to block.
class WaitCursor {
 public:
  WaitCursor();
  ~WaitCursor();
  WaitCursor(const WaitCursor&) = delete;
  WaitCursor& operator=(const WaitCursor&) = delete;

 private:
  HCURSOR saved_;
};

}  // namespace tessaline::dialogs
