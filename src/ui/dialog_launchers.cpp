// Opening the dialogs of the desktop program from the main window.
#include "ui/dialog_launchers.h"

#include "package/package_globals.h"
#include "ui/dialogs/dialogs.h"

namespace tessaline {
namespace {
HINSTANCE Instance(HWND owner) {
  return reinterpret_cast<HINSTANCE>(GetWindowLongPtrW(owner, GWLP_HINSTANCE));
}
}  // namespace

void OpenAboutDialog(HWND owner) { ShowAboutDialog(Instance(owner), owner); }

void OpenVersionInformation(HWND owner) { ShowVersionInformation(Instance(owner), owner); }

void OpenUnitPreparationHelp(HWND owner) {
  ShowHelpWizard(Instance(owner), owner, UnitProperties(), "help-message.Unit Preparation");
}

void OpenUpdateInstructionsHelp(HWND owner) {
  ShowHelpWizard(Instance(owner), owner, UpdaterProperties(), "help-message.Updater Instructions");
}

DiscoverChoice OpenDiscoverDialog(HWND owner, DiscoverMode mode) {
  const INT_PTR result = RunDiscoverDialog(owner, mode);
  DiscoverChoice choice;
  if (result == kDiscoverCancelled) return choice;
  if (mode == DiscoverMode::Network) {
    choice.addressNetworkOrder = static_cast<std::uint32_t>(result);
  } else if (const auto index = DiscoveredSerialPortIndex(result)) {
    choice.portIndex = *index;
  }
  return choice;
}

void OpenEnterBootloadDialog(HWND owner, const UnitAddress& unit) {
  RunEnterBootloadDialog(owner, unit);
}

}  // namespace tessaline
