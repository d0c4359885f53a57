// The "Communicating..." window (template 131): a modeless tool window with bar 1008 and
// Cancel 2, drawn from the shared progress state. Show requests clear the cancel flag; Cancel
// (button, Space or Return on it, Escape, the close box) sets it and hides the window without
// clearing it, so every later write and read fails until the next show request.
//
// A show request places the window over the window that started the operation (the running
// modal window, else the active one) as its child: it is then centred over it, stays above it,
// has no taskbar entry of its own, and takes input while that window runs modally.
#pragma once

#include <QDialog>
#include <QPointer>

#include "platform/progress_state.h"
#include "platform/seams.h"

namespace tavi {

class QtProgressDialog : public QDialog, public ProgressDialog {
  Q_OBJECT

 public:
  // Created hidden. A `parent` given here is only the first one: each show request moves the
  // window to the window that starts the operation.
  explicit QtProgressDialog(QWidget* parent = nullptr);

  void Show(bool show) override;
  void SetProgressRange(std::int32_t n) override;
  void SetProgressPos(std::int32_t p) override;
  bool IsCancelled() const override { return state_.cancelled(); }
  // Runs every pending event; our socket layer posts no notifications, so `stop_at_socket` has
  // nothing to stop at.
  void PumpMessages(bool stop_at_socket) override;

  const ProgressState& state() const { return state_; }

  // Cancel button, Escape and the close box.
  void reject() override;

 private:
  // Makes `starter` the window's parent (while hidden); nothing for null or itself.
  void PlaceOver(QWidget* starter);
  // Puts the state into the bar: a busy bar while waiting, else the range and position.
  void Draw();
  // Gives the keyboard back to the window the operation runs in.
  void ReturnActivation();

  ProgressState state_;
  QPointer<QWidget> starter_;
  QMetaObject::Connection starter_gone_;
};

}  // namespace tavi
