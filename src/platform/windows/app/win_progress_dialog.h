// The "Communicating..." window (template 131) built natively: a modeless tool window with bar
// 1008 and Cancel 2, made hidden and without an owner, drawn from the shared progress state.
// A show request places it over the window that is active then and keeps it above that window
// until the hide request. Cancel (the button, Return or Space on it, Escape) sets the cancel
// flag and hides the window without clearing the flag.
#pragma once

#include "platform/windows/app/win_api.h"

#include <cstdint>

#include "platform/progress_state.h"
#include "platform/seams.h"
#include "platform/windows/app/native_dialog.h"

namespace tavi::win {

class WinProgressDialog final : public NativeDialog, public ProgressDialog {
 public:
  // Makes the hidden window at once.
  WinProgressDialog();

  void Show(bool show) override;
  void SetProgressRange(std::int32_t n) override;
  void SetProgressPos(std::int32_t p) override;
  bool IsCancelled() const override { return state_.cancelled(); }
  void PumpMessages(bool stop_at_socket) override;

  const ProgressState& state() const { return state_; }

 protected:
  bool OnCommand(int id, int notification) override;

 private:
  void Draw() const;
  // Gives the keyboard back to the window that started the operation, and lets go of it.
  void ReturnActivation();

  ProgressState state_;
  HWND starter_ = nullptr;
};

}  // namespace tavi::win
