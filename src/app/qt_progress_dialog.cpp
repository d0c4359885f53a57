#include "app/qt_progress_dialog.h"

#include <QCoreApplication>
#include <QProgressBar>
#include <QPushButton>
#include <algorithm>
#include <cstdint>

#include "app/dialog_builder.h"

namespace tavi {

QtProgressDialog::QtProgressDialog(QWidget* parent) : QDialog(parent) {
  BuildDialog(*this, *FindDialogTemplate(kDlgProgress));
  setModal(false);
  if (auto* cancel = FindControlAs<QPushButton>(*this, kIdCancel)) {
    connect(cancel, &QPushButton::clicked, this, &QtProgressDialog::reject);
  }
}

void QtProgressDialog::Show(bool show) {
  // A request that does not change the visibility is no show notification: a hide request on
  // the window that Cancel already hid leaves the cancel flag set.
  if (show == isVisible()) return;
  setVisible(show);
  cancelled_ = false;
  if (show) {
    if (auto* bar = FindControlAs<QProgressBar>(*this, kIdProgressBar)) bar->setValue(0);
  }
}

void QtProgressDialog::SetProgressRange(std::int32_t n) {
  // The bar's bounds are 16-bit values.
  const int upper = static_cast<std::uint16_t>(static_cast<std::uint32_t>(n));
  if (auto* bar = FindControlAs<QProgressBar>(*this, kIdProgressBar)) bar->setRange(0, upper);
  PumpMessages(false);
}

void QtProgressDialog::SetProgressPos(std::int32_t p) {
  if (auto* bar = FindControlAs<QProgressBar>(*this, kIdProgressBar)) {
    // The bar shows positions outside its range at the nearest bound.
    bar->setValue(std::clamp<int>(p, bar->minimum(), bar->maximum()));
  }
  PumpMessages(false);
}

void QtProgressDialog::PumpMessages(bool /*stop_at_socket*/) {
  QCoreApplication::processEvents(QEventLoop::AllEvents);
}

void QtProgressDialog::reject() {
  cancelled_ = true;
  QDialog::reject();  // hides the window; not a show request, so the flag stays set
}

}  // namespace tavi
