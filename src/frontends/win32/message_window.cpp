#include "frontends/win32/message_window.h"

#include <array>

#include "core/resources/strings.h"
#include "frontends/win32/win_text.h"

namespace tavi::win {
namespace {

constexpr int kIdMessageIcon = 0x7F11;

constexpr std::array<ControlTemplate, 4> kControls = {{
    {kIdMessageIcon, ControlKind::kIcon, "", 10, 10, 21, 20},
    {kIdMessageText, ControlKind::kLabel, "", 40, 10, 220, 16},
    {kIdOk, ControlKind::kDefPushButton, "OK", 138, 34, 56, 14, kStyleTabStop | kStyleGroup},
    {kIdSaveTrace, ControlKind::kPushButton, kSaveTraceText, 200, 34, 60, 14, kStyleTabStop},
}};

constexpr DialogTemplate kTemplate{0, kAppName, {}, 0, 270, 56, kDlgSysMenu, kControls};

}  // namespace

TraceMessageWindow::TraceMessageWindow(std::string text)
    : NativeDialog(kTemplate), text_(std::move(text)) {}

bool TraceMessageWindow::Run(HWND owner) {
  return RunModal(owner) == kIdSaveTrace;
}

BOOL TraceMessageWindow::OnInit() {
  // The system's warning icon (IDI_WARNING).
  SendDlgItemMessageW(hwnd(), kIdMessageIcon, STM_SETICON,
                      reinterpret_cast<WPARAM>(LoadIconW(nullptr, MAKEINTRESOURCEW(32515))), 0);
  SetItemText(kIdMessageText, text_);
  FitText();
  // Centred over the window it stands over, as the system's message box is.
  RECT owner{};
  RECT self{};
  HWND parent = GetWindow(hwnd(), GW_OWNER);
  if (parent == nullptr || !GetWindowRect(parent, &owner)) {
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &owner, 0);
  }
  GetWindowRect(hwnd(), &self);
  const int w = self.right - self.left;
  const int h = self.bottom - self.top;
  SetWindowPos(hwnd(), nullptr, (owner.left + owner.right - w) / 2,
               (owner.top + owner.bottom - h) / 2, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
  SendMessageW(hwnd(), WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(Item(kIdOk)), TRUE);
  return FALSE;
}

void TraceMessageWindow::FitText() {
  HWND label = Item(kIdMessageText);
  RECT box{};
  GetWindowRect(label, &box);
  const int width = box.right - box.left;
  const int height = box.bottom - box.top;
  RECT need{0, 0, width, 0};
  HDC dc = GetDC(label);
  const HGDIOBJ old =
      SelectObject(dc, reinterpret_cast<HGDIOBJ>(SendMessageW(label, WM_GETFONT, 0, 0)));
  const std::wstring wide = Widen(text_);
  DrawTextW(dc, wide.c_str(), static_cast<int>(wide.size()), &need,
            DT_CALCRECT | DT_WORDBREAK | DT_NOPREFIX);
  SelectObject(dc, old);
  ReleaseDC(label, dc);
  const int grow = need.bottom - need.top - height;
  if (grow <= 0) return;
  POINT at{box.left, box.top};
  ScreenToClient(hwnd(), &at);
  SetWindowPos(label, nullptr, at.x, at.y, width, height + grow, SWP_NOZORDER);
  for (int id : {kIdOk, kIdSaveTrace}) {
    HWND button = Item(id);
    RECT r{};
    GetWindowRect(button, &r);
    POINT p{r.left, r.top};
    ScreenToClient(hwnd(), &p);
    SetWindowPos(button, nullptr, p.x, p.y + grow, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
  }
  RECT frame{};
  GetWindowRect(hwnd(), &frame);
  SetWindowPos(hwnd(), nullptr, 0, 0, frame.right - frame.left, frame.bottom - frame.top + grow,
               SWP_NOMOVE | SWP_NOZORDER);
}

bool TraceMessageWindow::OnCommand(int id, int notification) {
  if (notification != BN_CLICKED) return false;
  if (id == kIdSaveTrace) {
    End(kIdSaveTrace);
    return true;
  }
  if (id == kIdOk || id == kIdCancel) {
    End(kIdOk);
    return true;
  }
  return false;
}

}  // namespace tavi::win
