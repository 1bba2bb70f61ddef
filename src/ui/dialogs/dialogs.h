// The modal dialogs of the desktop program.
#pragma once

#include <windows.h>

#include <cstdint>
#include <optional>
#include <string>

namespace tessaline {

class UnitAddress;
class PropertiesContainer;
enum class DiscoverMode : int;  // discovery/discovery_thread.h

// Result of the Discover dialog when nothing was chosen (Cancel, close box, OK without selection).
inline constexpr INT_PTR kDiscoverCancelled = 2;
// A serial unit comes back as this mask OR its ComPortTable index (upper 24 of 32 bits set).
inline constexpr std::uint32_t kDiscoverSerialMask = 0xFFFFFF00u;

// Results of the Enter Bootload dialog.
inline constexpr INT_PTR kEnterBootloadCancelled = 0;
inline constexpr INT_PTR kEnterBootloadEnabled = 1;
inline constexpr INT_PTR kEnterBootloadRefused = 2;

// Runs the Discover dialog (template 145) modally, listing the units that announce `identity`
// (AnnounceIdentity of the package's model). Returns kDiscoverCancelled, a network unit's IPv4
// address in network byte order, or kDiscoverSerialMask | port index, always as an unsigned
// 32-bit value zero-extended (never sign-extended).
INT_PTR RunDiscoverDialog(HWND owner, DiscoverMode mode, std::string identity);
// The ComPortTable index carried by a Discover result, when it names a serial unit.
std::optional<std::uint32_t> DiscoveredSerialPortIndex(INT_PTR result);

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
