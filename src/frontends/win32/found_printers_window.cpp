#include "frontends/win32/found_printers_window.h"

#include <array>
#include <string>

#include "core/discovery/discover.h"
#include "frontends/win32/win_text.h"

namespace tavi::win {
namespace {

constexpr int kIdFoundLabel = 0x7F21;

constexpr std::array<ControlTemplate, 3> kControls = {{
    {kIdFoundLabel, ControlKind::kLabel, "", 7, 7, 256, 10},
    {kIdOk, ControlKind::kDefPushButton, "OK", 152, 112, 52, 14, kStyleTabStop | kStyleGroup},
    {kIdCancel, ControlKind::kPushButton, "Cancel", 211, 112, 52, 14, kStyleTabStop},
}};

constexpr DialogTemplate kTemplate{
    0, discovery::kFindPrintersCaption, {}, 0, 270, 133, kDlgSysMenu, kControls};

// Where the list stands, in dialog units.
constexpr RECT kListUnits{7, 20, 263, 106};

}  // namespace

FoundPrintersWindow::FoundPrintersWindow(std::vector<discovery::FoundHost> hosts)
    : NativeDialog(kTemplate), hosts_(std::move(hosts)) {}

const discovery::FoundHost* FoundPrintersWindow::Pick(HWND owner) {
  picked_ = -1;
  if (RunModal(owner) != IDOK) return nullptr;
  if (picked_ < 0 || static_cast<std::size_t>(picked_) >= hosts_.size()) return nullptr;
  return &hosts_[static_cast<std::size_t>(picked_)];
}

BOOL FoundPrintersWindow::OnInit() {
  SetItemText(kIdFoundLabel, hosts_.empty() ? std::string_view(discovery::kTextNoNetworkPrinters)
                                            : std::string_view(discovery::kTextPrintersFound));
  RECT r = kListUnits;
  MapDialogRect(hwnd(), &r);
  HWND list = CreateWindowExW(WS_EX_CLIENTEDGE, L"LISTBOX", L"",
                              WS_CHILD | WS_VISIBLE | WS_TABSTOP | WS_VSCROLL | WS_HSCROLL |
                                  LBS_NOTIFY | LBS_NOINTEGRALHEIGHT,
                              r.left, r.top, r.right - r.left, r.bottom - r.top, hwnd(),
                              reinterpret_cast<HMENU>(static_cast<INT_PTR>(kIdFoundList)),
                              GetModuleHandleW(nullptr), nullptr);
  SendMessageW(list, WM_SETFONT, SendMessageW(hwnd(), WM_GETFONT, 0, 0), FALSE);
  // The list comes before the buttons in the tab order.
  SetWindowPos(list, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
  int widest = 0;
  HDC dc = GetDC(list);
  const HGDIOBJ old =
      SelectObject(dc, reinterpret_cast<HGDIOBJ>(SendMessageW(list, WM_GETFONT, 0, 0)));
  for (const discovery::FoundHost& host : hosts_) {
    std::string line = discovery::HostLine(host);
    std::string shown;
    for (char c : line) {
      if (c == '\t') {
        shown += "   ";
      } else {
        shown.push_back(c);
      }
    }
    const std::wstring wide = Widen(shown);
    SendMessageW(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(wide.c_str()));
    SIZE size{};
    GetTextExtentPoint32W(dc, wide.c_str(), static_cast<int>(wide.size()), &size);
    if (size.cx > widest) widest = size.cx;
  }
  SelectObject(dc, old);
  ReleaseDC(list, dc);
  SendMessageW(list, LB_SETHORIZONTALEXTENT, static_cast<WPARAM>(widest + 8), 0);
  EnableItem(kIdOk, !hosts_.empty());
  if (!hosts_.empty()) {
    SendMessageW(list, LB_SETCURSEL, 0, 0);
    SendMessageW(hwnd(), WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(list), TRUE);
  } else {
    SendMessageW(hwnd(), WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(Item(kIdCancel)), TRUE);
  }
  return FALSE;
}

bool FoundPrintersWindow::OnCommand(int id, int notification) {
  const bool double_click = id == kIdFoundList && notification == LBN_DBLCLK;
  if ((id == kIdOk && !hosts_.empty()) || double_click) {
    picked_ = static_cast<int>(SendMessageW(Item(kIdFoundList), LB_GETCURSEL, 0, 0));
    if (picked_ < 0) return true;
    End(IDOK);
    return true;
  }
  if (id == kIdOk) return true;
  return NativeDialog::OnCommand(id, notification);
}

}  // namespace tavi::win
