#include "frontends/win32/win_progress_dialog.h"

#include <commctrl.h>

#include "frontends/win32/message_pump.h"
#include "frontends/win32/win_text.h"

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

// The status label (no id in the template) and the ticker that keeps it current.
constexpr int kIdStatusLabel = 0x7F00;
constexpr UINT_PTR kTickerId = 1;
constexpr UINT kTickMs = 250;
// The window property that leads from a progress window to its object.
constexpr wchar_t kObjectProperty[] = L"TaviProgressDialog";
// The busy bar's step while it runs to and fro.
constexpr LPARAM kMarqueeStepMs = 30;
// The label's place in dialog units: below Cancel, as wide as the bar, four lines high.
constexpr RECT kStatusUnits{7, 46, 147, 46 + 4 * 8};

}  // namespace

WinProgressDialog::WinProgressDialog() : NativeDialog(kDlgProgress) {
  if (CreateModeless()) {
    RECT frame{};
    GetWindowRect(hwnd(), &frame);
    template_height_ = frame.bottom - frame.top;
    RECT r = kStatusUnits;
    MapDialogRect(hwnd(), &r);
    status_height_ = r.bottom - r.top;
    status_ = CreateWindowExW(0, L"STATIC", L"", WS_CHILD | SS_LEFT | SS_NOPREFIX, r.left, r.top,
                              r.right - r.left, status_height_, hwnd(),
                              reinterpret_cast<HMENU>(static_cast<INT_PTR>(kIdStatusLabel)),
                              GetModuleHandleW(nullptr), nullptr);
    if (status_ != nullptr) {
      SendMessageW(status_, WM_SETFONT, static_cast<WPARAM>(SendMessageW(hwnd(), WM_GETFONT, 0, 0)),
                   FALSE);
    }
    SetPropW(hwnd(), kObjectProperty, this);
  }
  Draw();
}

WinProgressDialog::~WinProgressDialog() {
  if (hwnd() != nullptr) RemovePropW(hwnd(), kObjectProperty);
}

WinProgressDialog* WinProgressDialog::Of(HWND window) {
  return static_cast<WinProgressDialog*>(GetPropW(window, kObjectProperty));
}

void WinProgressDialog::Tick() {
  if (state_.ticking()) {
    SetTimer(hwnd(), kTickerId, kTickMs, nullptr);
  } else {
    KillTimer(hwnd(), kTickerId);
  }
}

void WinProgressDialog::Hold(bool hold) {
  if (!state_.Hold(hold)) return;
  Tick();
  Draw();
}

WinProgressDialog::HoldAll::HoldAll() {
  EnumThreadWindows(
      GetCurrentThreadId(),
      [](HWND window, LPARAM held) -> BOOL {
        WinProgressDialog* progress = Of(window);
        if (progress != nullptr && progress->state_.visible() && !progress->state_.held()) {
          progress->Hold(true);
          reinterpret_cast<std::vector<HWND>*>(held)->push_back(window);
        }
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&held_));
}

WinProgressDialog::HoldAll::~HoldAll() {
  for (HWND window : held_) {
    if (WinProgressDialog* progress = IsWindow(window) ? Of(window) : nullptr) {
      progress->Hold(false);
    }
  }
}

void WinProgressDialog::NamePrinter(std::string_view words) {
  state_.NamePrinter(words);
  DrawStatus();
}

void WinProgressDialog::SetStep(const ProgressStep& step) {
  state_.SetStep(step);
  DrawStatus();
}

void WinProgressDialog::DrawStatus() {
  if (status_ == nullptr) return;
  std::string text = state_.StatusText();
  const std::string quiet = state_.QuietText();
  if (!quiet.empty()) text += "\n" + quiet;
  std::wstring wide = Widen(text);
  if (wide == status_text_) return;
  const bool had_text = !status_text_.empty();
  status_text_ = std::move(wide);
  SetWindowTextW(status_, status_text_.c_str());
  const bool has_text = !status_text_.empty();
  if (has_text == had_text) return;
  // The window grows to hold the label, and shrinks back when it says nothing; it stays centred
  // over the window that started the operation: half the change goes up.
  RECT frame{};
  GetWindowRect(hwnd(), &frame);
  const int height = template_height_ + (has_text ? status_height_ : 0);
  const int change = height - (frame.bottom - frame.top);
  SetWindowPos(hwnd(), nullptr, frame.left, frame.top - change / 2, frame.right - frame.left,
               height, SWP_NOZORDER | SWP_NOACTIVATE);
  ShowWindow(status_, has_text ? SW_SHOWNA : SW_HIDE);
}

bool WinProgressDialog::OnMessage(UINT message, WPARAM wparam, LPARAM, INT_PTR& result) {
  if (message != WM_TIMER || wparam != kTickerId) return false;
  Draw();
  result = 0;
  return true;
}

void WinProgressDialog::Show(bool show) {
  if (!state_.RequestShow(show)) return;
  Draw();
  Tick();
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
    Tick();
    DrawStatus();
    ShowWindow(hwnd(), SW_HIDE);
    ReturnActivation();
  }
  return true;
}

void WinProgressDialog::Draw() {
  DrawStatus();
  HWND bar = Item(kIdProgressBar);
  if (bar == nullptr) return;
  // While nothing is known yet the bar runs to and fro, so the window shows it is alive (not
  // while held). A bar that runs takes no position: the position is set while it stands.
  const bool marquee = state_.busy();
  if (!marquee) SetMarquee(bar, false);
  SendMessageW(bar, PBM_SETRANGE32, 0, state_.upper());
  SendMessageW(bar, PBM_SETPOS, static_cast<WPARAM>(state_.shown_pos()), 0);
  if (marquee) SetMarquee(bar, true);
}

void WinProgressDialog::SetMarquee(HWND bar, bool on) {
  if (on == marquee_) return;
  marquee_ = on;
  const LONG_PTR style = GetWindowLongPtrW(bar, GWL_STYLE);
  SetWindowLongPtrW(bar, GWL_STYLE, on ? (style | PBS_MARQUEE) : (style & ~PBS_MARQUEE));
  SendMessageW(bar, PBM_SETMARQUEE, on ? TRUE : FALSE, kMarqueeStepMs);
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
