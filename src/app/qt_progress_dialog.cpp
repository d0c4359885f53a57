#include "app/qt_progress_dialog.h"

#include <QApplication>
#include <QProgressBar>
#include <QPushButton>
#include <cstdint>

#include "app/dialog_builder.h"
#include "app/window_placement.h"

namespace tavi {

QtProgressDialog::QtProgressDialog(QWidget* parent) : QDialog(parent) {
  BuildDialog(*this, *FindDialogTemplate(kDlgProgress));
  setModal(false);
  if (auto* cancel = FindControlAs<QPushButton>(*this, kIdCancel)) {
    connect(cancel, &QPushButton::clicked, this, &QtProgressDialog::reject);
  }
  Draw();
}

void QtProgressDialog::PlaceOver(QWidget* starter) {
  if (starter == nullptr || starter == this) return;
  starter = starter->window();
  starter_ = starter;
  if (parentWidget() == starter) return;
  // Reparenting drops the window flags; keep the template's.
  setParent(starter, windowFlags());
  // A window that goes away first lets go of this one, which its owner destroys itself.
  disconnect(starter_gone_);
  starter_gone_ = connect(starter, &QObject::destroyed, this, [this, starter] {
    if (parentWidget() == starter) setParent(nullptr, windowFlags());
  });
}

void QtProgressDialog::Show(bool show) {
  // A request that does not change the visibility is no show notification: a hide request on
  // the window that Cancel already hid leaves the cancel flag set.
  if (show && !state_.visible()) PlaceOver(WorkingWindow());
  if (!state_.RequestShow(show)) return;
  Draw();
  setVisible(show);
  if (show) {
    raise();
    activateWindow();
    if (QWidget* cancel = FindControl(*this, kIdCancel)) cancel->setFocus(Qt::OtherFocusReason);
  } else {
    ReturnActivation();
  }
}

void QtProgressDialog::SetProgressRange(std::int32_t n) {
  state_.SetRange(n);
  Draw();
  PumpMessages(false);
}

void QtProgressDialog::SetProgressPos(std::int32_t p) {
  state_.SetPos(p);
  Draw();
  PumpMessages(false);
}

void QtProgressDialog::PumpMessages(bool /*stop_at_socket*/) {
  QCoreApplication::processEvents(QEventLoop::AllEvents);
}

void QtProgressDialog::Draw() {
  auto* bar = FindControlAs<QProgressBar>(*this, kIdProgressBar);
  if (bar == nullptr) return;
  if (state_.waiting()) {
    bar->setRange(0, 0);  // a busy bar: alive, nothing known yet
    return;
  }
  bar->setRange(0, state_.upper());
  bar->setValue(state_.shown_pos());
}

void QtProgressDialog::ReturnActivation() {
  if (starter_ != nullptr && starter_->isVisible()) starter_->activateWindow();
}

void QtProgressDialog::reject() {
  if (state_.Cancel()) Draw();
  QDialog::reject();  // hides the window; not a show request, so the flag stays set
  ReturnActivation();
}

}  // namespace tavi
