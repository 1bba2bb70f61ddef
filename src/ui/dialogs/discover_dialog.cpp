// The Discover dialog: lists the units that answer discovery and returns the chosen one, or every
// unit in bootload mode.
#include "ui/dialogs/discover_dialog.h"

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "discovery/discovery_thread.h"
#include "discovery/version_worker.h"
#include "link/bootloader_commands.h"
#include "resource.h"
#include "ui/dialogs/dialog_support.h"
#include "ui/dialogs/dialogs.h"
#include "ui/dialogs/discover_list.h"
#include "ui/discovery_messages.h"
#include "ui/hwnd_message_target.h"
#include "ui/messages.h"
#include "ui/settings.h"
#include "ui/ui_text.h"
#include "ui/wide_text.h"

namespace tessaline {
namespace {

using dialogs::DiscoveredUnit;

constexpr int kListFontPoints = 8;
constexpr int kItemHeightPaddingPx = 2;

// One Discover dialog exists at a time; its state lives here from WM_MEASUREITEM (which comes
// before WM_INITDIALOG) to WM_DESTROY.
struct DiscoverState {
  DiscoverMode mode = DiscoverMode::Serial;
  dialogs::UniqueFont listFontNormal;
  dialogs::UniqueFont listFontBold;
  std::vector<std::unique_ptr<DiscoveredUnit>> units;
  std::shared_ptr<HwndMessageTarget> discoveryTarget;
  std::unique_ptr<DiscoveryThread> discovery;
  // Reports of the newest version query; it carries its number in WM_APP_VERSION_QUERY_DONE's
  // wParam, so the dialog can tell its end from older ones.
  std::shared_ptr<VersionMessages> query;
  std::uint32_t newestQuery = 0;  // number of the last query submitted; 0 before any
  std::string identity;           // what the units sought announce
  NetworkDiscoveryOptions networkOptions;
  SerialDiscoveryOptions serialOptions;
  DiscoverResult result;
};

DiscoverState& State() {
  static DiscoverState state;
  return state;
}

HWND List(HWND dialog) { return GetDlgItem(dialog, IDC_UNIT_LIST); }

void StartDiscovery(HWND dialog, DiscoverMode mode) {
  auto& state = State();
  if (!state.discovery) {
    state.discovery = std::make_unique<DiscoveryThread>(state.identity, state.networkOptions,
                                                        state.serialOptions);
  }
  if (!state.discoveryTarget) state.discoveryTarget = std::make_shared<HwndMessageTarget>(dialog);
  state.discovery->StartDiscovery(std::make_shared<DiscoveryMessages>(state.discoveryTarget), mode);
}

void StopDiscovery() {
  auto& state = State();
  if (state.discovery) state.discovery->StopDiscovery();
}

void OnMeasureItem(HWND dialog, MEASUREITEMSTRUCT& measure) {
  auto& state = State();
  state.listFontNormal = dialogs::CreatePointFont(
      dialog, {kListFontPoints, FW_NORMAL, VARIABLE_PITCH | FF_SWISS, UiText(IDS_FONT_ARIAL)});
  state.listFontBold = dialogs::CreatePointFont(
      dialog, {kListFontPoints, FW_BOLD, VARIABLE_PITCH | FF_SWISS, UiText(IDS_FONT_ARIAL)});
  HWND list = GetDlgItem(dialog, static_cast<int>(measure.CtlID));
  HWND measured = list != nullptr ? list : dialog;
  HDC dc = GetDC(measured);
  HGDIOBJ previous = SelectObject(dc, state.listFontBold.get());
  TEXTMETRICW metrics{};
  GetTextMetricsW(dc, &metrics);
  SelectObject(dc, previous);
  ReleaseDC(measured, dc);
  measure.itemHeight = static_cast<UINT>(metrics.tmHeight + kItemHeightPaddingPx);
}

void OnInitDialog(HWND dialog, DiscoverMode mode) {
  auto& state = State();
  SendMessageW(List(dialog), WM_SETFONT, reinterpret_cast<WPARAM>(state.listFontNormal.get()),
               TRUE);
  state.mode = mode;
  if (mode == DiscoverMode::Serial) {
    HWND list = List(dialog);
    SetWindowLongPtrW(list, GWL_STYLE, GetWindowLongPtrW(list, GWL_STYLE) & ~LBS_SORT);
  }
  StartDiscovery(dialog, mode);
}

void OnDrawItem(const DRAWITEMSTRUCT& draw) {
  if (draw.itemID == static_cast<UINT>(-1)) return;
  if ((draw.itemAction & (ODA_DRAWENTIRE | ODA_SELECT | ODA_FOCUS)) == 0) return;
  const auto* unit = reinterpret_cast<const DiscoveredUnit*>(draw.itemData);
  if (unit == nullptr) return;
  auto& state = State();
  const dialogs::EntryLook look = dialogs::LookOf(*unit, (draw.itemState & ODS_SELECTED) != 0);
  HDC dc = draw.hDC;
  HGDIOBJ previousFont =
      SelectObject(dc, look.bold ? state.listFontBold.get() : state.listFontNormal.get());
  TEXTMETRICW metrics{};
  GetTextMetricsW(dc, &metrics);
  const int y = (draw.rcItem.top + draw.rcItem.bottom - metrics.tmHeight) / 2;
  const int length = static_cast<int>(unit->label.size());
  const int background = look.highlighted ? COLOR_HIGHLIGHT : COLOR_WINDOW;
  const COLORREF textColour = look.highlighted ? GetSysColor(COLOR_HIGHLIGHTTEXT)
                              : look.ownColour ? look.colour
                                               : GetTextColor(dc);
  FillRect(dc, &draw.rcItem, GetSysColorBrush(background));
  const COLORREF text = SetTextColor(dc, textColour);
  const COLORREF back = SetBkColor(dc, GetSysColor(background));
  TextOutW(dc, 0, y, unit->label.c_str(), length);
  SetTextColor(dc, text);
  SetBkColor(dc, back);
  SelectObject(dc, previousFont);
  if ((draw.itemState & ODS_FOCUS) != 0) DrawFocusRect(dc, &draw.rcItem);
}

// First report wins: a unit already listed keeps its entry, whatever later reports say.
void AddUnit(HWND dialog, DiscoveredUnit unit) {
  auto& state = State();
  for (const auto& listed : state.units) {
    if (listed->unit == unit.unit) return;
  }
  if (unit.inBootload) EnableWindow(GetDlgItem(dialog, IDC_UPDATE_ALL_BOOTLOAD), TRUE);
  state.units.push_back(std::make_unique<DiscoveredUnit>(std::move(unit)));
  const auto data = reinterpret_cast<LPARAM>(state.units.back().get());
  // Serial entries keep their arrival order; network entries are sorted by WM_COMPAREITEM.
  if (state.mode == DiscoverMode::Serial) {
    SendMessageW(List(dialog), LB_INSERTSTRING, static_cast<WPARAM>(-1), data);
  } else {
    SendMessageW(List(dialog), LB_ADDSTRING, 0, data);
  }
}

void SetVersionControls(HWND dialog, bool enable, const wchar_t* text) {
  for (int id : {IDC_BOOTLOADER_VERSION, IDC_BOOTLOADER_VERSION_LABEL, IDC_APPLICATION_VERSION,
                 IDC_APPLICATION_VERSION_LABEL}) {
    EnableWindow(GetDlgItem(dialog, id), enable);
  }
  SetDlgItemTextW(dialog, IDC_BOOTLOADER_VERSION, text);
  SetDlgItemTextW(dialog, IDC_APPLICATION_VERSION, text);
}

const DiscoveredUnit* EntryAt(HWND dialog, LRESULT index) {
  if (index == LB_ERR) return nullptr;
  const LRESULT data = SendMessageW(List(dialog), LB_GETITEMDATA, static_cast<WPARAM>(index), 0);
  if (data == LB_ERR) return nullptr;
  return reinterpret_cast<const DiscoveredUnit*>(data);
}

const DiscoveredUnit* SelectedUnit(HWND dialog) {
  return EntryAt(dialog, SendMessageW(List(dialog), LB_GETCURSEL, 0, 0));
}

void SubmitQueryFor(HWND dialog, const DiscoveredUnit& unit) {
  auto& state = State();
  // The labels show the newest query's unit only: older queries report no more, and what they
  // reported already is dropped from the queue.
  if (state.query) state.query->Detach();
  MSG stale{};
  while (PeekMessageW(&stale, dialog, WM_APP_BOOTLOADER_VERSION, WM_APP_APPLICATION_VERSION,
                      PM_REMOVE)) {
  }
  state.query = std::make_shared<VersionMessages>(state.discoveryTarget, ++state.newestQuery);
  SubmitVersionQuery({unit.unit, CurrentParserPort.load(), state.query});
}

void OnSelection(HWND dialog) {
  const DiscoveredUnit* unit = SelectedUnit(dialog);
  if (unit == nullptr) {
    SetVersionControls(dialog, false, L"");
    return;
  }
  // The worker may hold the unit's serial port: it must end before the query opens it.
  StopDiscovery();
  EnableWindow(GetDlgItem(dialog, IDOK), TRUE);
  if (unit->inBootload) {
    SetVersionControls(dialog, true, UiText(IDS_SEARCHING).c_str());
    SubmitQueryFor(dialog, *unit);
  } else {
    SetVersionControls(dialog, false, L"");
  }
}

void OnChoosing(HWND dialog) {
  const DiscoveredUnit* unit = SelectedUnit(dialog);
  if (unit == nullptr) {
    EndDialog(dialog, IDCANCEL);
    return;
  }
  if (!unit->inBootload) {
    MessageBoxW(dialog, UiText(IDS_BOOTLOAD_REMINDER).c_str(), UiText(IDS_BOOTLOAD_MODE).c_str(),
                MB_ICONINFORMATION | MB_OK);
  }
  State().result.chosen = unit->unit;
  EndDialog(dialog, IDOK);
}

// Every entry drawn in bold, in the order the list shows them.
void OnUpdateAllInBootload(HWND dialog) {
  auto& units = State().result.bootloadUnits;
  const LRESULT count = SendMessageW(List(dialog), LB_GETCOUNT, 0, 0);
  for (LRESULT index = 0; index < count; ++index) {
    const DiscoveredUnit* entry = EntryAt(dialog, index);
    if (entry != nullptr && dialogs::LookOf(*entry, false).bold) units.push_back(entry->unit);
  }
  if (!units.empty()) EndDialog(dialog, IDOK);
}

void OnVersionQueryDone(HWND dialog, std::uint32_t queryNumber) {
  auto& state = State();
  // Only the newest query's end frees the serial ports: an older query's end would restart the
  // scan while a newer query may still need the port.
  if (state.mode != DiscoverMode::Serial || queryNumber != state.newestQuery) return;
  StartDiscovery(dialog, DiscoverMode::Serial);
}

void OnDestroy(HWND dialog) {
  auto& state = State();
  StopDiscovery();
  state.discovery.reset();
  if (state.discoveryTarget) state.discoveryTarget->Detach();
  state.discoveryTarget.reset();
  if (state.query) state.query->Detach();
  state.query.reset();
  state.newestQuery = 0;
  SendMessageW(List(dialog), LB_RESETCONTENT, 0, 0);
  state.listFontNormal.reset();
  state.listFontBold.reset();
  state.units.clear();
}

INT_PTR CALLBACK DiscoverDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_MEASUREITEM:
      OnMeasureItem(dialog, *reinterpret_cast<MEASUREITEMSTRUCT*>(lParam));
      return TRUE;
    case WM_INITDIALOG:
      OnInitDialog(dialog, static_cast<DiscoverMode>(lParam));
      return TRUE;
    case WM_COMPAREITEM: {
      const auto& compare = *reinterpret_cast<const COMPAREITEMSTRUCT*>(lParam);
      const auto* first = reinterpret_cast<const DiscoveredUnit*>(compare.itemData1);
      const auto* second = reinterpret_cast<const DiscoveredUnit*>(compare.itemData2);
      if (first == nullptr || second == nullptr) return 0;
      // WM_COMPAREITEM's answer is the dialog procedure's own return value.
      return dialogs::CompareEntries(*first, *second);
    }
    case WM_DRAWITEM:
      OnDrawItem(*reinterpret_cast<const DRAWITEMSTRUCT*>(lParam));
      return TRUE;
    case WM_APP_NET_UNIT_FOUND: {
      const auto address = static_cast<std::uint32_t>(lParam);
      // A reply claiming 0.0.0.0 names no unit.
      if (address == 0) return TRUE;
      AddUnit(dialog, dialogs::NetworkUnit(static_cast<std::uint16_t>(wParam), address));
      return TRUE;
    }
    case WM_APP_COM_UNIT_FOUND: {
      auto& target = State().discoveryTarget;
      const std::string device = target ? target->ClaimText(lParam) : std::string();
      if (device.empty()) return TRUE;
      AddUnit(dialog, dialogs::SerialUnit((wParam & 1u) != 0, UnitAddress::Serial(device)));
      return TRUE;
    }
    case WM_APP_BOOTLOADER_VERSION:
      SetDlgItemTextW(dialog, IDC_BOOTLOADER_VERSION,
                      Widen(FormatBootloaderVersion(static_cast<std::uint16_t>(wParam))).c_str());
      return TRUE;
    case WM_APP_NO_BOOTLOADER:
      SetDlgItemTextW(dialog, IDC_BOOTLOADER_VERSION, UiText(IDS_NOT_FOUND).c_str());
      return TRUE;
    case WM_APP_APPLICATION_VERSION:
      SetDlgItemTextW(dialog, IDC_APPLICATION_VERSION,
                      ApplicationVersionLabel(static_cast<std::uint32_t>(lParam)).c_str());
      return TRUE;
    case WM_APP_VERSION_QUERY_DONE:
      OnVersionQueryDone(dialog, static_cast<std::uint32_t>(wParam));
      return TRUE;
    case WM_COMMAND:
      switch (LOWORD(wParam)) {
        case IDC_UNIT_LIST:
          if (HIWORD(wParam) == LBN_SELCHANGE) OnSelection(dialog);
          if (HIWORD(wParam) == LBN_DBLCLK) OnChoosing(dialog);
          return TRUE;
        case IDOK:
          OnChoosing(dialog);
          return TRUE;
        case IDC_UPDATE_ALL_BOOTLOAD:
          OnUpdateAllInBootload(dialog);
          return TRUE;
        case IDCANCEL:
          EndDialog(dialog, IDCANCEL);
          return TRUE;
        default:
          return FALSE;
      }
    case WM_DESTROY:
      OnDestroy(dialog);
      return FALSE;
    default:
      return FALSE;
  }
}

}  // namespace

namespace dialogs {
void SetDiscoveryOptions(NetworkDiscoveryOptions network, SerialDiscoveryOptions serial) {
  State().networkOptions = std::move(network);
  State().serialOptions = std::move(serial);
}
bool DiscoveryRunning() { return State().discovery && State().discovery->Running(); }
std::shared_ptr<DiscoveryListener> OpenDialogListener() {
  if (!State().discoveryTarget) return nullptr;
  return std::make_shared<DiscoveryMessages>(State().discoveryTarget);
}
}  // namespace dialogs

DiscoverResult RunDiscoverDialog(HWND owner, DiscoverMode mode, std::string identity) {
  State().identity = std::move(identity);
  State().result = {};
  // A dialog that could not be created (-1) chose nothing, and its result stays empty.
  DialogBoxParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD_DISCOVER), owner,
                  DiscoverDialogProc, static_cast<LPARAM>(mode));
  return std::exchange(State().result, {});
}

}  // namespace tessaline
