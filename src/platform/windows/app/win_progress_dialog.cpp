#include "platform/windows/app/win_progress_dialog.h"

#include <commctrl.h>

#include "platform/windows/app/message_pump.h"

namespace tavi::win {
namespace {

// Centres `window` over `over` (the screen's work area when there is none).
void CentreOver(HWND window, HWND over) {
  RECT frame{};
  GetWindowRect(window, &frame);
  RECT area{};
  if (over == nullptr || !GetWindowRect(over, &area)) {
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &area, 0);
  }
  const int width = frame.right - frame.left;
  const int height = frame.bottom - frame.top;
  const int x = area.left + (area.right - area.left - width) / 2;
  const int y = area.top + (area.bottom - area.top - height) / 2;
  SetWindowPos(window, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

}  // namespace

WinProgressDialog::WinProgressDialog() : NativeDialog(kDlgProgress) {
  CreateModeless();
  Draw();
}

void WinProgressDialog::Show(bool show) {
  if (!state_.RequestShow(show)) return;
  Draw();
  if (show) {
    // The window that starts the operation owns the shown window, so that it stays above it.
    starter_ = GetActiveWindow();
    if (starter_ == hwnd()) starter_ = nullptr;
    SetWindowLongPtrW(hwnd(), GWLP_HWNDPARENT, reinterpret_cast<LONG_PTR>(starter_));
    CentreOver(hwnd(), starter_);
    ShowWindow(hwnd(), SW_SHOW);
    SetForegroundWindow(hwnd());
    SendMessageW(hwnd(), WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(Item(kIdCancel)), TRUE);
  } else {
    ShowWindow(hwnd(), SW_HIDE);
    ReturnActivation();
  }
}

void WinProgressDialog::SetProgressRange(std::int32_t n) {
  state_.SetRange(n);
  Draw();
  PumpMessages(false);
}

void WinProgressDialog::SetProgressPos(std::int32_t p) {
  state_.SetPos(p);
  Draw();
  PumpMessages(false);
}

void WinProgressDialog::PumpMessages(bool stop_at_socket) {
  PumpPendingMessages(stop_at_socket);
}

bool WinProgressDialog::OnCommand(int id, int /*notification*/) {
  if (id != IDCANCEL) return false;
  // Hiding here is no show request: the flag stays set until the next show.
  if (state_.Cancel()) {
    ShowWindow(hwnd(), SW_HIDE);
    ReturnActivation();
  }
  return true;
}

void WinProgressDialog::Draw() const {
  HWND bar = Item(kIdProgressBar);
  if (bar == nullptr) return;
  SendMessageW(bar, PBM_SETRANGE32, 0, state_.upper());
  SendMessageW(bar, PBM_SETPOS, static_cast<WPARAM>(state_.shown_pos()), 0);
}

void WinProgressDialog::ReturnActivation() {
  HWND starter = starter_;
  starter_ = nullptr;
  SetWindowLongPtrW(hwnd(), GWLP_HWNDPARENT, 0);
  if (starter != nullptr && IsWindow(starter) && IsWindowVisible(starter)) {
    SetActiveWindow(starter);
  }
}

}  // namespace tavi::win
