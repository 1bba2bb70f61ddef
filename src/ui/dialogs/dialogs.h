// The modal dialogs of the desktop program.
#pragma once

#include <windows.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "transport/unit_address.h"

namespace tessaline {

class PropertiesContainer;
enum class DiscoverMode : int;  // discovery/discovery_thread.h

// How the Discover dialog ended. Both empty when nothing was chosen (Cancel, close box, OK
// without a selection).
struct DiscoverResult {
  // OK or a double click: the one unit chosen.
  std::optional<UnitAddress> chosen;
  // Update All in Bootload Mode: every unit listed in bold, in list order.
  std::vector<UnitAddress> bootloadUnits;
};

// Results of the Enter Bootload dialog.
inline constexpr INT_PTR kEnterBootloadCancelled = 0;
inline constexpr INT_PTR kEnterBootloadEnabled = 1;
inline constexpr INT_PTR kEnterBootloadRefused = 2;

// Runs the Discover dialog (template 145) modally, listing the units that announce `identity`
// (AnnounceIdentity of the package's model).
DiscoverResult RunDiscoverDialog(HWND owner, DiscoverMode mode, std::string identity);

// Runs the Enter Bootload dialog (template 161) for `unit` (the caller keeps it). Returns one of
// the kEnterBootload* results.
INT_PTR RunEnterBootloadDialog(HWND owner, const UnitAddress& unit);

// About box (template 103).
void ShowAboutDialog(HWND owner);
// Versions of the package's firmware parts from its unit texts, with links to their release
// notes (template 158).
void ShowVersionInformation(HWND owner, const PropertiesContainer& unitTexts);
// One release-notes text of type "NOTES" by resource name (template 159). IDCANCEL when absent.
INT_PTR ShowNotesDialog(HWND owner, const wchar_t* notesName);
// The multi-page help of `topic` ("help-message.Updater Instructions") from `properties`
// (template 147). Returns 1 when the user finished or closed it.
INT_PTR ShowHelpWizard(HWND owner, const PropertiesContainer& properties, const std::string& topic);

}  // namespace tessaline
