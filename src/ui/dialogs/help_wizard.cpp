// The Help wizard: the numbered help pages of one topic, shown one step at a time.
#include <string>
#include <vector>

#include "package/properties_container.h"
#include "resource.h"
#include "ui/dialogs/dialog_support.h"
#include "ui/dialogs/dialogs.h"
#include "ui/ui_text.h"
#include "ui/wide_text.h"

namespace tessaline {
namespace {

constexpr int kPagePoints = 10;
constexpr INT_PTR kWizardClosed = 1;

struct HelpWizard {
  std::string topic;                // "help-message.Updater Instructions"
  std::vector<std::wstring> pages;  // in order; empty when the topic has no page 1
  std::size_t current = 0;
  dialogs::UniqueFont pageFont;
};

HelpWizard* WizardOf(HWND dialog) {
  return reinterpret_cast<HelpWizard*>(GetWindowLongPtrW(dialog, DWLP_USER));
}

// "Updater Instructions" of "help-message.Updater Instructions".
std::wstring TopicTitle(const std::string& topic) {
  const auto dot = topic.rfind('.');
  return Widen(dot == std::string::npos ? topic : topic.substr(dot + 1));
}

bool HasNextPage(const HelpWizard& wizard) { return wizard.current + 1 < wizard.pages.size(); }

void ShowCurrentPage(HWND dialog, const HelpWizard& wizard) {
  SetDlgItemTextW(dialog, IDC_HELP_TEXT,
                  wizard.pages.empty() ? L"" : wizard.pages[wizard.current].c_str());
  const std::wstring caption =
      TopicTitle(wizard.topic) + UiText(IDS_HELP_STEP) + std::to_wstring(wizard.current + 1);
  SetWindowTextW(dialog, caption.c_str());
  ShowWindow(GetDlgItem(dialog, IDC_HELP_PREVIOUS), wizard.current == 0 ? SW_HIDE : SW_SHOW);
  SetDlgItemTextW(dialog, IDC_HELP_NEXT,
                  (HasNextPage(wizard) ? UiText(IDS_NEXT) : UiText(IDS_FINISH)).c_str());
}

void OnInitDialog(HWND dialog, HelpWizard& wizard) {
  SetWindowLongPtrW(dialog, DWLP_USER, reinterpret_cast<LONG_PTR>(&wizard));
  wizard.pageFont = dialogs::CreatePointFont(
      dialog, {kPagePoints, FW_DONTCARE, VARIABLE_PITCH | FF_SWISS, UiText(IDS_FONT_ARIAL)});
  if (wizard.pageFont) {
    SendMessageW(GetDlgItem(dialog, IDC_HELP_TEXT), WM_SETFONT,
                 reinterpret_cast<WPARAM>(wizard.pageFont.get()), FALSE);
  }
  ShowCurrentPage(dialog, wizard);
}

INT_PTR CALLBACK HelpWizardDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  HelpWizard* wizard = WizardOf(dialog);
  switch (message) {
    case WM_INITDIALOG:
      OnInitDialog(dialog, *reinterpret_cast<HelpWizard*>(lParam));
      return TRUE;
    case WM_COMMAND:
      if (wizard == nullptr) return FALSE;
      if (LOWORD(wParam) == IDC_HELP_PREVIOUS) {
        if (wizard->current > 0) {
          --wizard->current;
          ShowCurrentPage(dialog, *wizard);
        }
        return TRUE;
      }
      if (LOWORD(wParam) == IDC_HELP_NEXT) {
        if (HasNextPage(*wizard)) {
          ++wizard->current;
          ShowCurrentPage(dialog, *wizard);
        } else {
          EndDialog(dialog, kWizardClosed);
        }
        return TRUE;
      }
      return TRUE;  // Esc (IDCANCEL) and everything else do nothing
    case WM_CLOSE:
      EndDialog(dialog, kWizardClosed);
      return TRUE;
    default:
      return FALSE;
  }
}

}  // namespace

INT_PTR ShowHelpWizard(HWND owner, const PropertiesContainer& properties,
                       const std::string& topic) {
  HelpWizard wizard;
  wizard.topic = topic;
  for (const std::string& page : properties.HelpPages(topic)) wizard.pages.push_back(Widen(page));
  // The page font lives in the wizard and goes when this returns, whichever way the dialog ended.
  return DialogBoxParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD_HELP_WIZARD), owner,
                         HelpWizardDialogProc, reinterpret_cast<LPARAM>(&wizard));
}

}  // namespace tessaline
