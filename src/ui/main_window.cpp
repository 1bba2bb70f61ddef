// The main window procedure, its control-state routines and its reactions to worker messages.
#include "ui/main_window.h"

#include <commctrl.h>
#include <dbt.h>

#include <array>
#include <chrono>
#include <cwchar>
#include <string>
#include <thread>

#include "discovery/discovery_thread.h"
#include "discovery/network_discovery.h"
#include "discovery/unit_lines.h"
#include "discovery/version_worker.h"
#include "package/package.h"
#include "platform/sockets.h"
#include "resource.h"
#include "transport/com_port_table.h"
#include "ui/dialogs/dialogs.h"
#include "ui/discovery_messages.h"
#include "ui/formatted_text.h"
#include "ui/hwnd_message_target.h"
#include "ui/job_messages.h"
#include "ui/messages.h"
#include "ui/rack_window.h"
#include "ui/settings.h"
#include "ui/tray_icon.h"
#include "ui/ui_text.h"
#include "ui/wide_text.h"

namespace tessaline {
namespace {

constexpr auto kResultBoxDelay = std::chrono::milliseconds(200);  // lets the unit settle
constexpr std::uint32_t kMinParserPort = 1024;
constexpr std::uint32_t kMaxParserPort = 65535;
constexpr int kParserPortMaxChars = 5;

// The one main window of the process and what it shares with its job.
struct MainWindowState {
  std::shared_ptr<const Package> package;
  std::shared_ptr<HwndMessageTarget> target;
  std::unique_ptr<WindowJobThread> job;
  // Reports of the version query about the unit now shown. A change of unit detaches it, so a
  // late answer about an earlier unit never reaches the controls.
  std::shared_ptr<VersionMessages> query;
  HCURSOR waitCursor = nullptr;
  HCURSOR savedCursor = nullptr;
  bool discoverOpen = false;
  bool rescanPending = false;
};
MainWindowState state;

const PropertiesContainer& UnitTexts() { return state.package->UnitTexts(); }
const PropertiesContainer& UpdaterTexts() { return state.package->UpdaterTexts(); }

int ShowBox(HWND owner, const std::wstring& text, const std::wstring& caption, UINT flags) {
  return MessageBoxW(owner, text.c_str(), caption.c_str(), flags);
}

void SetVersionLabel(HWND window, const std::wstring& text) {
  SetDlgItemTextW(window, IDC_APPLICATION_VERSION, text.c_str());
}

void SetStatusLine(HWND window, const std::string& stage) {
  SetDlgItemTextW(window, IDC_STATUS_LINE, Widen(ProgressText(stage)).c_str());
}

// The unit shown changes: what was learnt about the previous one no longer counts, and nothing
// can be started on the new one until it has answered.
void ForgetShownUnit(HWND window) {
  if (state.query != nullptr) state.query->Detach();
  state.query.reset();
  // Reports the old query posted before it was detached are still queued.
  MSG stale{};
  while (PeekMessageW(&stale, window, WM_APP_BOOTLOADER_VERSION, WM_APP_ENABLE_EXIT_BOOTLOAD,
                      PM_REMOVE)) {
  }
  SetUpdateEnabled(window, false);
  SetExitBootloadEnabled(window, false);
}

void QueueQuery(HWND window, const std::optional<UnitAddress>& unit) {
  ForgetShownUnit(window);
  if (!unit || state.target == nullptr) return;
  state.query = std::make_shared<VersionMessages>(state.target);
  SubmitVersionQuery({*unit, CurrentParserPort.load(), state.query});
}

void RescanPortsNow(HWND window) {
  state.rescanPending = false;
  const bool serialShown = Checked(window, IDC_COM_RADIO);
  ComPortTable().ScanComPorts();
  FillComPortList(window);
  // The list has no selection after a refill (or fell back to IP Address): the serial unit that
  // was shown is no longer the one named.
  if (serialShown || !ConnectionNamed(window)) ForgetShownUnit(window);
}

void OnIpAddressChange(HWND window) {
  DWORD host = 0;
  const auto filled = SendDlgItemMessageW(window, IDC_IP_ADDRESS, IPM_GETADDRESS, 0,
                                          reinterpret_cast<LPARAM>(&host));
  Enable(window, IDC_ENTER_BOOTLOAD, false);
  const std::uint32_t address = platform::HostToNetwork32(static_cast<std::uint32_t>(host));
  const bool usable = filled == 4 && !UnitAddressRefusal(address);
  if (!usable) {
    ForgetShownUnit(window);
    return;
  }
  SetVersionLabel(window, UiText(IDS_SEARCHING));
  SetUnitActions(window, false);
  QueueQuery(window, UnitAddress::Network(address));
}

void ValidateParserPort(HWND window) {
  std::array<wchar_t, kParserPortMaxChars + 2> text{};
  const bool fits =
      GetWindowTextLengthW(GetDlgItem(window, IDC_PARSER_PORT)) <= kParserPortMaxChars;
  if (fits) {
    GetDlgItemTextW(window, IDC_PARSER_PORT, text.data(), static_cast<int>(text.size()));
    wchar_t* end = nullptr;
    const unsigned long value = std::wcstoul(text.data(), &end, 10);
    if (end != text.data() && value >= kMinParserPort && value <= kMaxParserPort) {
      CurrentParserPort = static_cast<std::uint32_t>(value);
      return;
    }
  }
  ShowBox(window, UiText(IDS_PARSER_PORT_RANGE), UiText(IDS_OUT_OF_RANGE), MB_OK | MB_ICONERROR);
  SetDlgItemInt(window, IDC_PARSER_PORT, CurrentParserPort.load(), FALSE);
}

void StartJob(HWND window, WindowJob kind) {
  if (state.job != nullptr) return;
  const auto unit = ConnectionUnit(window);
  if (!unit) return;  // COM Port chosen, no port selected
  SetControlSet(window, false);
  state.waitCursor = LoadCursorW(nullptr, IDC_WAIT);
  state.savedCursor = SetCursor(state.waitCursor);
  // The check boxes are disabled while the job runs, so the choices read now hold throughout.
  JobOptions options;
  options.firmware = OverwriteFirmware.load();
  options.factoryDefaults = OverwriteFactoryDefaults.load();
  state.job = std::make_unique<WindowJobThread>();
  if (!state.job->Start(kind, unit->MakeBootloaderTransport(), state.package, options,
                        state.target)) {
    state.job.reset();
    state.waitCursor = nullptr;
    SetCursor(state.savedCursor);
    SetControlSet(window, true);
    return;
  }
  StartTrayAnimation();
}

void RunUpdateProcedure(HWND window) {
  if (state.job != nullptr || !ConnectionNamed(window)) return;
  const int answer = ShowBox(window, Widen(UpdaterTexts().GetString("update-warning")),
                             UiText(IDS_WARNING), MB_OKCANCEL | MB_ICONEXCLAMATION);
  if (answer != IDOK) return;
  StartJob(window, WindowJob::Update);
}

void RunDiscoverProcedure(HWND window) {
  StartTrayAnimation();
  state.discoverOpen = true;
  const bool network = Checked(window, IDC_IP_RADIO);
  const DiscoverResult result =
      RunDiscoverDialog(window, network ? DiscoverMode::Network : DiscoverMode::Serial,
                        AnnounceIdentity(UnitTexts().GetString("announce-model")));
  state.discoverOpen = false;
  // The result names its units by address, not by a place in the port table: a rescan that waited
  // for the dialog can come first.
  if (state.rescanPending) RescanPortsNow(window);
  if (!result.bootloadUnits.empty()) {
    OpenRackWindow(window, state.package, result.bootloadUnits);
  } else if (result.chosen && result.chosen->IsNetwork()) {
    // Cleared first so the fields fill in order and no mixed old/new address is ever queried.
    SendDlgItemMessageW(window, IDC_IP_ADDRESS, IPM_CLEARADDRESS, 0, 0);
    const auto host = platform::HostToNetwork32(result.chosen->Ipv4());
    SendDlgItemMessageW(window, IDC_IP_ADDRESS, IPM_SETADDRESS, 0, static_cast<LPARAM>(host));
  } else if (result.chosen && SelectPort(window, *result.chosen)) {
    SetVersionLabel(window, L"");
    QueueQuery(window, result.chosen);
  }
  StopTrayAnimation();
}

void RunEnterBootloadProcedure(HWND window) {
  const auto unit = ConnectionUnit(window);
  if (!unit) return;
  RunEnterBootloadDialog(window, *unit);
  QueueQuery(window, unit);
}

void FinishJob(HWND window, const std::wstring& text, StringId caption, UINT icon) {
  StopTrayAnimation();
  state.job.reset();  // waits for the job thread
  std::this_thread::sleep_for(kResultBoxDelay);
  ShowBox(window, text, UiText(caption), MB_OK | icon);
  SetStatusLine(window, UiString(IDS_IDLE));
  SetProgressPos(window, 0);
  state.waitCursor = nullptr;
  SetCursor(state.savedCursor);
  state.savedCursor = nullptr;
  SetControlSet(window, true);
  if (state.rescanPending) RescanPortsNow(window);
}

// The Overwrite choice that the check box `id` shows and sets.
std::atomic<bool>& OverwriteChoice(int id) {
  return id == IDC_FIRMWARE ? OverwriteFirmware : OverwriteFactoryDefaults;
}

void OnInitDialog(HWND window) {
  state.target = std::make_shared<HwndMessageTarget>(window);
  SetFormattedItemText(window, kWindowCaption, UnitTexts().Lookup("model"));
  SetFormattedItemText(window, IDC_PRODUCT_NAME, UnitTexts().Lookup("model"));
  SetFormattedItemText(window, IDC_BUILD_VERSION, UnitTexts().Lookup("build-version"));
  SetStatusLine(window, UiString(IDS_IDLE));
  SetDlgItemInt(window, IDC_PARSER_PORT, CurrentParserPort.load(), FALSE);
  for (const int box : {IDC_FACTORY_DEFAULTS, IDC_FIRMWARE}) {
    CheckDlgButton(window, box, OverwriteChoice(box).load() ? BST_CHECKED : BST_UNCHECKED);
  }
  Enable(window, IDC_FACTORY_DEFAULTS, true);
  Enable(window, IDC_FIRMWARE, PackageHasApplication.load());
  FillComPortList(window);
  CheckDlgButton(window, IDC_IP_RADIO, BST_CHECKED);
  CheckDlgButton(window, IDC_COM_RADIO, BST_UNCHECKED);
  SetIpGroupEnabled(window, true);
  Enable(window, IDC_COM_PORT_LIST, false);
  SetFocus(GetDlgItem(window, IDC_IP_ADDRESS));
}

void OnPortSelected(HWND window);

void ChooseConnection(HWND window, bool network) {
  Enable(window, IDC_IP_ADDRESS, network);
  Enable(window, IDC_PARSER_PORT, network);
  Enable(window, IDC_PARSER_PORT_LABEL, network);
  Enable(window, IDC_COM_PORT_LIST, !network);
  SetVersionLabel(window, L"");
  // Another unit is named now: it is asked afresh, and nothing is offered until it answers.
  ForgetShownUnit(window);
  Enable(window, IDC_ENTER_BOOTLOAD, false);
  if (network) {
    OnIpAddressChange(window);
  } else if (ComboSelection(window) != CB_ERR) {
    OnPortSelected(window);
  }
}

void OnPortSelected(HWND window) {
  SetVersionLabel(window, L"");
  Enable(window, IDC_ENTER_BOOTLOAD, false);
  const LRESULT selected = ComboSelection(window);
  if (selected == CB_ERR) {
    ForgetShownUnit(window);
    return;
  }
  QueueQuery(window, SerialUnit(static_cast<std::size_t>(selected)));
}

void OnCheckBoxClicked(HWND window, int id) {
  const auto check = IsDlgButtonChecked(window, id);
  if (check != BST_INDETERMINATE) OverwriteChoice(id) = check == BST_CHECKED;
}

LRESULT OnCommand(HWND window, WPARAM wParam, LPARAM lParam) {
  const int id = LOWORD(wParam);
  const int code = HIWORD(wParam);
  switch (id) {
    case IDC_IP_ADDRESS:
      if (code == EN_CHANGE) OnIpAddressChange(window);
      return 0;
    case IDCANCEL:
    case IDM_EXIT:
      SendMessageW(window, WM_CLOSE, 0, 0);
      return 0;
    case IDM_ABOUT:
      ShowAboutDialog(window);
      return 0;
    case IDM_UNIT_PREPARATIONS:
      ShowHelpWizard(window, UnitTexts(), "help-message.Unit Preparation");
      return 0;
    case IDM_UPDATE_INSTRUCTIONS:
      ShowHelpWizard(window, UpdaterTexts(), "help-message.Updater Instructions");
      return 0;
    case IDM_UPDATE_RACK:
      OpenRackWindow(window, state.package, {});
      return 0;
    case IDC_DISCOVER:
      RunDiscoverProcedure(window);
      return 0;
    case IDC_UPDATE:
    case IDM_UPDATE:  // the menu item runs the same procedure as the button
      RunUpdateProcedure(window);
      return 0;
    case IDC_EXIT_BOOTLOAD:
      StartJob(window, WindowJob::ExitBootload);
      return 0;
    case IDC_ENTER_BOOTLOAD:
      RunEnterBootloadProcedure(window);
      return 0;
    case IDC_FACTORY_DEFAULTS:
    case IDC_FIRMWARE:
      OnCheckBoxClicked(window, id);
      return 0;
    case IDC_PARSER_PORT:
      if (code == EN_KILLFOCUS) ValidateParserPort(window);
      return 0;
    case IDC_MORE:
      ShowVersionInformation(window, UnitTexts());
      return 0;
    case IDC_IP_RADIO:
      ChooseConnection(window, true);
      return 0;
    case IDC_COM_RADIO:
      ChooseConnection(window, false);
      return 0;
    case IDC_COM_PORT_LIST:
      if (code == CBN_SELCHANGE) OnPortSelected(window);
      return 0;
    default:
      return DefWindowProcW(window, WM_COMMAND, wParam, lParam);
  }
}

// The dialog manager's Tab and Shift+Tab ask the window itself to move the focus; this window's
// procedure is its class's, so it does what a dialog's default procedure would.
void OnNextDialogControl(HWND window, WPARAM wParam, LPARAM lParam) {
  if (LOWORD(lParam) != 0) {
    SetFocus(reinterpret_cast<HWND>(wParam));
    return;
  }
  // The focus may sit in a part of a control (a field of the address): step from the control.
  HWND control = GetFocus();
  while (control != nullptr && GetParent(control) != window) control = GetParent(control);
  HWND next = GetNextDlgTabItem(window, control, wParam != 0);
  if (next != nullptr) SetFocus(next);
}

LRESULT OnClose(HWND window) {
  if (state.job != nullptr) {
    // Closing now would leave the unit half written.
    ShowBox(window, UiText(IDS_CLOSE_REFUSED_JOB_RUNNING), UiText(IDS_CLOSE),
            MB_OK | MB_ICONINFORMATION);
    return 0;
  }
  if (ShowBox(window, UiText(IDS_CLOSE_QUESTION), UiText(IDS_CLOSE), MB_YESNO | MB_ICONQUESTION) ==
      IDYES) {
    DestroyWindow(window);
  }
  return 0;
}

}  // namespace

bool MainWindowJobRunning() { return state.job != nullptr; }

bool RegisterMainWindowClass(HINSTANCE instance) {
  WNDCLASSEXW windowClass{};
  windowClass.cbSize = sizeof(windowClass);
  windowClass.style = CS_VREDRAW | CS_HREDRAW;
  windowClass.lpfnWndProc = MainWindowProc;
  windowClass.cbWndExtra = DLGWINDOWEXTRA;  // a class used by a dialog template needs it
  windowClass.hInstance = instance;
  windowClass.hIcon = LoadIconW(instance, MAKEINTRESOURCEW(IDI_UPDATER));
  windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  const std::wstring& className = UiText(IDS_MAIN_WINDOW_CLASS);
  windowClass.lpszClassName = className.c_str();
  WNDCLASSEXW existing{};
  if (GetClassInfoExW(instance, className.c_str(), &existing)) return true;
  return RegisterClassExW(&windowClass) != 0;
}

HWND CreateMainWindow(HINSTANCE instance, std::shared_ptr<const Package> package) {
  state.package = std::move(package);
  // The dialog manager sends WM_INITDIALOG only when a dialog procedure is given. The class's
  // window procedure receives it all the same and never calls this one (it uses DefWindowProcW).
  const DLGPROC neverCalled = [](HWND, UINT, WPARAM, LPARAM) -> INT_PTR { return FALSE; };
  return CreateDialogParamW(instance, MAKEINTRESOURCEW(IDD_MAIN), nullptr, neverCalled, 0);
}

LRESULT CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_INITDIALOG:
      OnInitDialog(window);
      return 0;
    case WM_COMMAND:
      return OnCommand(window, wParam, lParam);
    case WM_APP_UPDATE_SUCCEEDED:
      FinishJob(window, UiText(IDS_UPDATE_SUCCEEDED), IDS_SUCCESS, MB_ICONINFORMATION);
      return 0;
    case WM_APP_UPDATE_FAILED:
      FinishJob(window, UiText(IDS_UPDATE_FAILED), IDS_ERROR, MB_ICONERROR);
      return 0;
    case WM_APP_JOB_ENDED: {
      const std::string text = state.target ? state.target->ClaimText(lParam) : std::string();
      const bool success = wParam != 0;
      FinishJob(window, Widen(text), success ? IDS_SUCCESS : IDS_ERROR,
                success ? MB_ICONINFORMATION : MB_ICONERROR);
      QueueQuery(window, ConnectionUnit(window));
      return 0;
    }
    case WM_APP_CONFIRM_DOWNGRADE: {
      // No is the default: a stray Enter must not erase a newer firmware.
      const std::string text = state.target ? state.target->ClaimText(lParam) : std::string();
      return ShowBox(window, Widen(text), UiText(IDS_WARNING),
                     MB_YESNO | MB_ICONEXCLAMATION | MB_DEFBUTTON2);
    }
    case WM_APP_PROGRESS_TEXT: {
      const std::string text = state.target ? state.target->ClaimText(lParam) : std::string();
      SetDlgItemTextW(window, IDC_STATUS_LINE, Widen(text).c_str());
      return 0;
    }
    case WM_APP_WRONG_RESPONSE:
      FinishJob(window, Widen(UpdaterTexts().GetString("error-message.WrongResponse")), IDS_ERROR,
                MB_ICONERROR);
      return 0;
    case WM_APP_NO_RESPONSE:
      FinishJob(window, Widen(UpdaterTexts().GetString("error-message.NoResponse")), IDS_ERROR,
                MB_ICONERROR);
      return 0;
    case WM_APP_BOOTLOAD_EXITED:
      FinishJob(window, UiText(IDS_BOOTLOAD_EXITED), IDS_SUCCESS, MB_ICONINFORMATION);
      QueueQuery(window, ConnectionUnit(window));
      return 0;
    case WM_APP_BOOTLOADER_VERSION:
      if (state.job == nullptr) SetUnitActions(window, true);
      return 0;
    case WM_APP_NO_BOOTLOADER:
      if (state.job == nullptr) {
        SetUnitActions(window, true);
        SetUpdateEnabled(window, false);
        SetExitBootloadEnabled(window, false);
      }
      return 0;
    case WM_APP_APPLICATION_VERSION:
      SetVersionLabel(window, ApplicationVersionLabel(static_cast<std::uint32_t>(lParam)));
      return 1;
    case WM_APP_VERSION_QUERY_DONE:
      return 0;
    case WM_APP_ENABLE_ENTER_BOOTLOAD:
      // Opened mid-job, its dialog would query the unit being written.
      if (state.job == nullptr) Enable(window, IDC_ENTER_BOOTLOAD, wParam != 0);
      return 0;
    case WM_APP_ENABLE_EXIT_BOOTLOAD:
      if (state.job == nullptr) SetExitBootloadEnabled(window, wParam != 0);
      return 0;
    case WM_APP_PROGRESS_RANGE:
      SetProgressRange(window, static_cast<std::uint32_t>(wParam),
                       static_cast<std::uint32_t>(lParam));
      return 0;
    case WM_APP_PROGRESS_POS:
      SetProgressPos(window, static_cast<std::uint32_t>(wParam));
      return 0;
    case WM_MOUSEMOVE:
      if (state.waitCursor != nullptr) SetCursor(state.waitCursor);
      return 0;
    case WM_DEVICECHANGE:
      if (wParam == DBT_DEVICEARRIVAL || wParam == DBT_DEVICEREMOVECOMPLETE) {
        // A discovery worker or a job may be reading the port table: rescan when it is done.
        if (state.job != nullptr || state.discoverOpen) {
          state.rescanPending = true;
        } else {
          RescanPortsNow(window);
        }
      }
      return TRUE;
    case WM_NEXTDLGCTL:
      OnNextDialogControl(window, wParam, lParam);
      return 0;
    case DM_GETDEFID:
      // Asked by the dialog manager for Enter, as a dialog's default procedure would answer.
      return MAKELRESULT(IDC_UPDATE, DC_HASDEFID);
    case WM_CLOSE:
      return OnClose(window);
    case WM_DESTROY:
      if (state.target) state.target->Detach();
      state.target.reset();
      state.package.reset();
      PostQuitMessage(0);
      return 0;
    default:
      return DefWindowProcW(window, message, wParam, lParam);
  }
}

}  // namespace tessaline
