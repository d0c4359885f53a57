// The "Communicating..." window (template 131): a modeless tool window with bar 1008 and
// Cancel 2, drawn from the shared progress state. Show requests clear the cancel flag; Cancel
// (button, Space or Return on it, Escape, the close box) sets it and hides the window without
// clearing it, so every later write and read fails until the next show request.
//
// Below the template's bar and Cancel, one label says what the operation is doing (the printer,
// the step, the time since the show) and, after a long silence, what usually causes it; the
// window grows to hold it while it has something to say.
//
// A show request places the window over the window that started the operation (the running
// modal window, else the active one) as its child: it is then centred over it, stays above it,
// has no taskbar entry of its own, and takes input while that window runs modally.
#pragma once

#include <QDialog>
#include <QList>
#include <QPointer>
#include <QTimer>

#include "core/ui/progress_state.h"
#include "core/ui/seams.h"

class QLabel;

namespace tavi {

// The object name of the status label (it has no id in the template).
inline constexpr const char* kProgressStatusName = "status";

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
  void NamePrinter(std::string_view words) override;
  void SetStep(const ProgressStep& step) override;

  // The elapsed time and the quiet hint are read from `clock` (null: the system's steady time).
  void set_clock(Clock* clock) { state_.set_clock(clock); }
  const ProgressState& state() const { return state_; }
  // The status label's text as shown now.
  QString StatusText() const;

  // Cancel button, Escape and the close box.
  void reject() override;

  // While a message box stands over the operation nothing moves (the state's hold): the busy
  // bar and the elapsed time stand still (they would keep the processor busy and suggest work
  // that is not done).
  void Hold(bool hold);
  // Every shown progress window of the program, held for this object's life.
  class HoldAll {
   public:
    HoldAll();
    ~HoldAll();
    HoldAll(const HoldAll&) = delete;
    HoldAll& operator=(const HoldAll&) = delete;

   private:
    QList<QPointer<QtProgressDialog>> held_;
  };

 private:
  // Makes `starter` the window's parent (while hidden); nothing for null or itself.
  void PlaceOver(QWidget* starter);
  // Puts the state into the bar (a busy bar while waiting, else the range and position) and
  // into the status label.
  void Draw();
  void DrawStatus();
  // Gives the keyboard back to the window the operation runs in.
  void ReturnActivation();

  ProgressState state_;
  QLabel* status_ = nullptr;
  int template_height_ = 0;
  // Keeps the elapsed time current while a long step gives no news.
  QTimer ticker_;
  QPointer<QWidget> starter_;
  QMetaObject::Connection starter_gone_;
};

}  // namespace tavi
