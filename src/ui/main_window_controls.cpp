// The main window's control-state routines: which controls are enabled, the port list, the
// progress bar, and the unit the chosen connection names.
#include "ui/main_window_controls.h"

#include <commctrl.h>

#include <string>
#include <vector>

#include "platform/sockets.h"
#include "resource.h"
#include "transport/com_port_table.h"
#include "ui/main_window.h"
#include "ui/settings.h"
#include "ui/wide_text.h"

namespace tessaline {
namespace {

void EnableMenuCommand(HWND window, UINT command, bool enable) {
  EnableMenuItem(GetMenu(window), command,
                 MF_BYCOMMAND | (enable ? MF_ENABLED : (MF_GRAYED | MF_DISABLED)));
}

// The device of each row of the COM port list as it was last filled: a row keeps meaning its
// device whatever a later scan puts in the port table.
std::vector<std::string>& ListedPorts() {
  static std::vector<std::string> ports;
  return ports;
}

}  // namespace

void Enable(HWND window, int id, bool enable) { EnableWindow(GetDlgItem(window, id), enable); }
bool Checked(HWND window, int id) { return IsDlgButtonChecked(window, id) == BST_CHECKED; }

LRESULT ComboSelection(HWND window) {
  return SendDlgItemMessageW(window, IDC_COM_PORT_LIST, CB_GETCURSEL, 0, 0);
}

std::optional<UnitAddress> SerialUnit(std::size_t index) {
  if (index >= ListedPorts().size()) return std::nullopt;
  return UnitAddress::Serial(ListedPorts()[index]);
}

bool SelectPort(HWND window, const UnitAddress& unit) {
  const auto& ports = ListedPorts();
  for (std::size_t row = 0; row < ports.size(); ++row) {
    if (UnitAddress::Serial(ports[row]) == unit) {
      SendDlgItemMessageW(window, IDC_COM_PORT_LIST, CB_SETCURSEL, row, 0);
      return true;
    }
  }
  return false;
}

bool ConnectionNamed(HWND window) {
  return Checked(window, IDC_IP_RADIO) || ComboSelection(window) != CB_ERR;
}

void SetUpdateEnabled(HWND window, bool enable) {
  enable = enable && ConnectionNamed(window);
  Enable(window, IDC_UPDATE, enable);
  EnableMenuCommand(window, IDM_UPDATE, enable);
}

void SetExitBootloadEnabled(HWND window, bool enable) {
  Enable(window, IDC_EXIT_BOOTLOAD, enable && ConnectionNamed(window));
}

void SetUnitActions(HWND window, bool enable) {
  SetUpdateEnabled(window, enable);
  Enable(window, IDC_DISCOVER, enable);
  SetExitBootloadEnabled(window, enable);
}

void SetIpGroupEnabled(HWND window, bool enable) {
  Enable(window, IDC_IP_RADIO, enable);
  const bool fields = enable && Checked(window, IDC_IP_RADIO);
  Enable(window, IDC_IP_ADDRESS, fields);
  Enable(window, IDC_PARSER_PORT, fields);
  Enable(window, IDC_PARSER_PORT_LABEL, fields);
}

void SetComGroupEnabled(HWND window, bool enable) {
  const bool hasPorts = SendDlgItemMessageW(window, IDC_COM_PORT_LIST, CB_GETCOUNT, 0, 0) > 0;
  Enable(window, IDC_COM_RADIO, enable && hasPorts);
  Enable(window, IDC_COM_PORT_LIST, enable && hasPorts && Checked(window, IDC_COM_RADIO));
}

void SetControlSet(HWND window, bool enable) {
  SetUnitActions(window, enable);
  SetIpGroupEnabled(window, enable);
  EnableMenuCommand(window, IDM_UNIT_PREPARATIONS, enable);
  EnableMenuCommand(window, IDM_UPDATE_INSTRUCTIONS, enable);
  EnableMenuCommand(window, IDM_ABOUT, enable);
  SetComGroupEnabled(window, enable);
  Enable(window, IDC_FACTORY_DEFAULTS, enable);
  // The package only decides whether the box is offered; the check mark stays the user's.
  Enable(window, IDC_FIRMWARE, enable && PackageHasApplication.load());
  Enable(window, IDC_MORE, enable);
}

void FillComPortList(HWND window) {
  HWND list = GetDlgItem(window, IDC_COM_PORT_LIST);
  SendMessageW(list, CB_RESETCONTENT, 0, 0);
  ListedPorts() = ComPortTable().Entries();
  for (const std::string& entry : ListedPorts()) {
    const std::wstring label = Widen(PortLabel(entry));
    SendMessageW(list, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(label.c_str()));
  }
  if (!ListedPorts().empty()) {
    Enable(window, IDC_COM_RADIO, !MainWindowJobRunning());
    return;
  }
  CheckDlgButton(window, IDC_IP_RADIO, BST_CHECKED);
  CheckDlgButton(window, IDC_COM_RADIO, BST_UNCHECKED);
  SetComGroupEnabled(window, false);
  SetIpGroupEnabled(window, true);
}

void SetProgressRange(HWND window, std::uint32_t low, std::uint32_t high) {
  SendDlgItemMessageW(window, IDC_PROGRESS_BAR, PBM_SETRANGE32, static_cast<WPARAM>(low),
                      static_cast<LPARAM>(high));
  SetProgressPos(window, low);
}

void SetProgressPos(HWND window, std::uint32_t position) {
  const auto current =
      static_cast<std::uint32_t>(SendDlgItemMessageW(window, IDC_PROGRESS_BAR, PBM_GETPOS, 0, 0));
  if (current != position) {
    SendDlgItemMessageW(window, IDC_PROGRESS_BAR, PBM_SETPOS, static_cast<WPARAM>(position), 0);
  }
}

std::optional<UnitAddress> ConnectionUnit(HWND window) {
  if (Checked(window, IDC_IP_RADIO)) {
    DWORD host = 0;
    SendDlgItemMessageW(window, IDC_IP_ADDRESS, IPM_GETADDRESS, 0, reinterpret_cast<LPARAM>(&host));
    return UnitAddress::Network(platform::HostToNetwork32(static_cast<std::uint32_t>(host)));
  }
  const LRESULT selected = ComboSelection(window);
  if (selected == CB_ERR) return std::nullopt;
  return SerialUnit(static_cast<std::size_t>(selected));
}

}  // namespace tessaline
