// The Enter Bootload dialog: takes the installer PIN and puts a running unit in bootload mode.
#include <memory>

#include "discovery/text_protocol.h"
#include "platform/message_box.h"
#include "resource.h"
#include "strings/ui_strings.h"
#include "transport/unit_address.h"
#include "ui/dialogs/dialog_support.h"
#include "ui/dialogs/dialogs.h"
#include "ui/failure_boxes.h"
#include "ui/settings.h"
#include "ui/wide_text.h"

namespace tessaline {
namespace {

constexpr int kPinFormChars = 4;        // the PIN read back to test its form
constexpr int kPinSubmittedChars = 15;  // at most this much of the field is sent

// The unit of the open dialog; the main window owns it.
const UnitAddress* EnterBootloadUnit = nullptr;

bool PinFieldHasRightForm(HWND dialog) {
  HWND field = GetDlgItem(dialog, IDC_PIN);
  if (GetWindowTextLengthW(field) != kPinFormChars) return false;
  return IsWellFormedPin(Narrow(dialogs::ItemText(dialog, IDC_PIN, kPinFormChars + 1)));
}

// The sequence's outcome, told while the unit's text port is still open; the wait that follows
// success shows the wait cursor again.
void AnnounceOutcome(HWND dialog, EnterBootloadOutcome outcome) {
  const bool entered = outcome == EnterBootloadOutcome::Entered;
  platform::ShowMessageBox(
      {.owner = dialog,
       .text = UiString(entered ? IDS_BOOTLOAD_ENABLED : IDS_BOOTLOAD_FAILED),
       .caption = UiString(IDS_BOOTLOAD_MODE),
       .icon = entered ? platform::MessageBoxIcon::Information : platform::MessageBoxIcon::Error,
       .buttons = platform::MessageBoxButtons::Ok});
  SetCursor(LoadCursorW(nullptr, IDC_WAIT));
}

void OnOk(HWND dialog) {
  // Enter can reach here with OK disabled: only a PIN of the right form is ever sent.
  if (EnterBootloadUnit == nullptr || !IsWindowEnabled(GetDlgItem(dialog, IDOK))) return;
  const std::string pin = Narrow(dialogs::ItemText(dialog, IDC_PIN, kPinSubmittedChars + 1));
  EnterBootloadResult result;
  {
    // The search and the sequence block this thread for seconds, the 5-second wait after
    // "Bootload Mode Enabled." included.
    dialogs::WaitCursor wait;
    result =
        EnterBootloadMode(*EnterBootloadUnit, CurrentParserPort.load(), pin,
                          [dialog](EnterBootloadOutcome told) { AnnounceOutcome(dialog, told); });
    if (result.socketFailure) ShowSocketErrorBox(*result.socketFailure);
  }
  switch (result.outcome) {
    case EnterBootloadOutcome::Entered:
      EndDialog(dialog, kEnterBootloadEnabled);
      break;
    case EnterBootloadOutcome::Refused:
      EndDialog(dialog, kEnterBootloadRefused);
      break;
    case EnterBootloadOutcome::NoUnitAnswered:
      break;  // nothing to say: the user may try again or cancel
  }
}

INT_PTR CALLBACK EnterBootloadDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_INITDIALOG:
      EnterBootloadUnit = reinterpret_cast<const UnitAddress*>(lParam);
      EnableWindow(GetDlgItem(dialog, IDOK), FALSE);
      return TRUE;
    case WM_COMMAND:
      switch (LOWORD(wParam)) {
        case IDC_PIN:
          if (HIWORD(wParam) == EN_CHANGE) {
            EnableWindow(GetDlgItem(dialog, IDOK), PinFieldHasRightForm(dialog));
          }
          return TRUE;
        case IDOK:
          OnOk(dialog);
          return TRUE;
        case IDCANCEL:
          EndDialog(dialog, kEnterBootloadCancelled);
          return TRUE;
        default:
          return FALSE;
      }
    case WM_DESTROY:
      EnterBootloadUnit = nullptr;
      return FALSE;
    default:
      return FALSE;
  }
}

}  // namespace

INT_PTR RunEnterBootloadDialog(HWND owner, const UnitAddress& unit) {
  return DialogBoxParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD_ENTER_BOOTLOAD), owner,
                         EnterBootloadDialogProc, reinterpret_cast<LPARAM>(&unit));
}

}  // namespace tessaline
