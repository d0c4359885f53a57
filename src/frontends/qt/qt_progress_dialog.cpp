#include "frontends/qt/qt_progress_dialog.h"

#include <QApplication>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <cstdint>

#include "frontends/qt/dialog_builder.h"
#include "frontends/qt/window_placement.h"

namespace tavi {

namespace {

QString ToQString(const std::string& text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

// How often the status label is brought up to date while nothing else moves.
constexpr int kTickMs = 250;
// Longer than several frames of the style's animation clock.
constexpr int kHiddenWhileStoppingMs = 100;

}  // namespace

QtProgressDialog::QtProgressDialog(QWidget* parent) : QDialog(parent) {
  const DialogTemplate& t = *FindDialogTemplate(kDlgProgress);
  const BaseUnits base = BuildDialog(*this, t);
  setModal(false);
  if (auto* cancel = FindControlAs<QPushButton>(*this, kIdCancel)) {
    connect(cancel, &QPushButton::clicked, this, &QtProgressDialog::reject);
  }
  // The status label spans the bar's width, below the Cancel button.
  template_height_ = height();
  const ControlTemplate* bar = t.Find(kIdProgressBar);
  const PixelRect r = bar != nullptr ? DialogUnitsToPixels(*bar, base) : PixelRect{};
  status_ = new QLabel(this);
  status_->setObjectName(kProgressStatusName);
  status_->setWordWrap(true);
  status_->setGeometry(r.x, template_height_, r.width, 0);
  status_->hide();
  ticker_.setInterval(kTickMs);
  connect(&ticker_, &QTimer::timeout, this, [this] { DrawStatus(); });
  Draw();
}

void QtProgressDialog::NamePrinter(std::string_view words) {
  state_.NamePrinter(words);
  DrawStatus();
}

void QtProgressDialog::SetStep(const ProgressStep& step) {
  state_.SetStep(step);
  DrawStatus();
}

QString QtProgressDialog::StatusText() const {
  return status_ != nullptr && status_->isVisibleTo(this) ? status_->text() : QString();
}

void QtProgressDialog::DrawStatus() {
  if (status_ == nullptr) return;
  std::string text = state_.StatusText();
  const std::string quiet = state_.QuietText();
  if (!quiet.empty()) text += "\n" + quiet;
  const QString shown = ToQString(text);
  if (shown == status_->text() && status_->isVisibleTo(this) == !shown.isEmpty()) return;
  status_->setText(shown);
  // The window grows to hold what the label says, and shrinks back when it says nothing.
  int grow = 0;
  if (!shown.isEmpty()) {
    const int height = status_->heightForWidth(status_->width());
    status_->setFixedHeight(height);
    grow = height + status_->x();
  }
  status_->setVisible(!shown.isEmpty());
  // Centred as before over the window that started the operation: half the change goes up.
  const int change = template_height_ + grow - height();
  if (change == 0) return;
  if (isVisible()) move(x(), y() - change / 2);
  setFixedHeight(template_height_ + grow);
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
  if (state_.ticking()) {
    ticker_.start();
  } else {
    ticker_.stop();
  }
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

void QtProgressDialog::Hold(bool hold) {
  if (!state_.Hold(hold)) return;
  if (state_.ticking()) {
    ticker_.start();
  } else {
    ticker_.stop();
  }
  Draw();
}

QtProgressDialog::HoldAll::HoldAll() {
  for (QWidget* widget : QApplication::allWidgets()) {
    auto* progress = qobject_cast<QtProgressDialog*>(widget);
    if (progress == nullptr || !progress->isVisible() || progress->state_.held()) continue;
    progress->Hold(true);
    held_.append(progress);
  }
}

QtProgressDialog::HoldAll::~HoldAll() {
  for (const QPointer<QtProgressDialog>& progress : held_) {
    if (progress != nullptr) progress->Hold(false);
  }
}

void QtProgressDialog::Draw() {
  DrawStatus();
  auto* bar = FindControlAs<QProgressBar>(*this, kIdProgressBar);
  if (bar == nullptr) return;
  if (state_.waiting() && !state_.busy()) {
    // Standing still under a message box. The style's busy animation ends only when one of its
    // ticks finds the bar hidden, so the bar leaves the screen for a moment first.
    bar->setRange(0, 1);
    bar->setValue(0);
    bar->hide();
    QTimer::singleShot(kHiddenWhileStoppingMs, bar, [bar] { bar->show(); });
    return;
  }
  if (state_.busy()) {
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
  if (state_.Cancel()) {
    ticker_.stop();
    Draw();
  }
  QDialog::reject();  // hides the window; not a show request, so the flag stays set
  ReturnActivation();
}

}  // namespace tavi
