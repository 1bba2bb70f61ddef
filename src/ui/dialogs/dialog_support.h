// Win32 helpers the dialogs share: owned fonts, item texts, ending on OK/Cancel, the wait cursor.
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

struct FontRequest {
  int points = 8;
  LONG weight = FW_NORMAL;
  BYTE pitchAndFamily = VARIABLE_PITCH | FF_SWISS;
  std::wstring face;
};
// The requested font at its size in points on the display of `window`.
UniqueFont CreatePointFont(HWND window, const FontRequest& request);

// A copy of `font` (the system font when null), bold or of its own weight, and underlined or not.
UniqueFont DeriveFont(HFONT font, bool bold, bool underline);

std::wstring ItemText(HWND dialog, int controlId, int capacity);

// Ends the dialog with OK's or Cancel's id when the WM_COMMAND of `wParam` is one of them.
bool EndOnOkOrCancel(HWND dialog, WPARAM wParam);

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
