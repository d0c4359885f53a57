// The "Communicating..." window (template 131): a modeless tool window with bar 1008 and
// Cancel 2. Show requests clear the cancel flag; Cancel (button or Escape) sets it and hides the
// window without clearing it, so every later write and read fails until the next show request.
#pragma once

#include <QDialog>

#include "platform/seams.h"

namespace tavi {

class QtProgressDialog : public QDialog, public ProgressDialog {
  Q_OBJECT

 public:
  // Created hidden, without a parent unless one is given.
  explicit QtProgressDialog(QWidget* parent = nullptr);

  void Show(bool show) override;
  void SetProgressRange(std::int32_t n) override;
  void SetProgressPos(std::int32_t p) override;
  bool IsCancelled() const override { return cancelled_; }
  // Runs every pending event; our socket layer posts no notifications, so `stop_at_socket` has
  // nothing to stop at.
  void PumpMessages(bool stop_at_socket) override;

  // Cancel button, Escape and the close box.
  void reject() override;

 private:
  bool cancelled_ = false;
};

}  // namespace tavi
