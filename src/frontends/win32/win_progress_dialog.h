// The "Communicating..." window (template 131) built natively: a modeless tool window with bar
// 1008 and Cancel 2, made hidden and without an owner, drawn from the shared progress state.
// A show request places it over the window that is active then and keeps it above that window
// until the hide request. Cancel (the button, Return or Space on it, Escape) sets the cancel
// flag and hides the window without clearing the flag. Below the template's controls a label
// says what the operation is doing (printer, step, elapsed time) and, after a long silence, what
// usually causes it; the window grows to hold it while it has something to say. While the
// operation has no news yet, the bar runs to and fro. While a message box stands over the
// operation the window is held: the bar and the elapsed time stand still.
#pragma once

#include "frontends/win32/win_api.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "core/ui/progress_state.h"
#include "core/ui/seams.h"
#include "frontends/win32/native_dialog.h"

namespace tavi::win {

class WinProgressDialog final : public NativeDialog, public ProgressDialog {
 public:
  // Makes the hidden window at once.
  WinProgressDialog();
  ~WinProgressDialog() override;
  WinProgressDialog(const WinProgressDialog&) = delete;
  WinProgressDialog& operator=(const WinProgressDialog&) = delete;

  void Show(bool show) override;
  void SetProgressRange(std::int32_t n) override;
  void SetProgressPos(std::int32_t p) override;
  bool IsCancelled() const override { return state_.cancelled(); }
  void PumpMessages(bool stop_at_socket) override;
  void NamePrinter(std::string_view words) override;
  void SetStep(const ProgressStep& step) override;

  const ProgressState& state() const { return state_; }

  // Holds the window while a message box is up, and lets it go (the state's hold rule).
  void Hold(bool hold);
  // Every shown progress window of this thread, held for this object's life.
  class HoldAll {
   public:
    HoldAll();
    ~HoldAll();
    HoldAll(const HoldAll&) = delete;
    HoldAll& operator=(const HoldAll&) = delete;

   private:
    std::vector<HWND> held_;
  };
  // The progress window object behind `window`, or null for any other window.
  static WinProgressDialog* Of(HWND window);

 protected:
  bool OnCommand(int id, int notification) override;
  // The ticker that keeps the elapsed time current.
  bool OnMessage(UINT message, WPARAM wparam, LPARAM lparam, INT_PTR& result) override;

 private:
  void Draw();
  void SetMarquee(HWND bar, bool on);
  // The ticker runs while the state says the elapsed time moves.
  void Tick();
  // The status label's text, and the window's height to hold it.
  void DrawStatus();
  // Gives the keyboard back to the window that started the operation, and lets go of it.
  void ReturnActivation();

  ProgressState state_;
  HWND starter_ = nullptr;
  HWND status_ = nullptr;
  std::wstring status_text_;
  int template_height_ = 0;  // the window's height (pixels) without the label
  int status_height_ = 0;    // the label's height (pixels) when it shows text
  bool marquee_ = false;     // the bar runs to and fro (PBS_MARQUEE)
};

}  // namespace tavi::win
