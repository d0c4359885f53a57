#include "app/get_report_dialog.h"

#include <QGuiApplication>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QStringDecoder>
#include <utility>

#include "app/dialog_builder.h"
#include "files/maintenance_flows.h"

namespace tavi {

QString ReportDisplayText(const std::string& report) {
  QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
  QString text = utf8.decode(QByteArrayView(report.data(), static_cast<qsizetype>(report.size())));
  if (!utf8.hasError()) return text;
  return QString::fromLatin1(report.data(), static_cast<qsizetype>(report.size()));
}

GetReportDialog::GetReportDialog(FileChooser& chooser, Messages& messages, QWidget* parent)
    : QDialog(parent), chooser_(chooser), messages_(messages) {
  BuildDialog(*this, *FindDialogTemplate(kDlgGetReport));
  if (auto* save = FindControlAs<QPushButton>(*this, kIdReportSave)) {
    connect(save, &QPushButton::clicked, this, &GetReportDialog::OnSave);
  }
  if (auto* ok = FindControlAs<QPushButton>(*this, kIdOk)) {
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    ok->setFocus();
  }
  if (QWidget* pane = FindControl(*this, kIdReportText)) {
    pane_margins_ = QMargins(pane->x(), pane->y(), width() - pane->geometry().right() - 1,
                             height() - pane->geometry().bottom() - 1);
  }
  FitToScreen(parent != nullptr ? parent->screen() : QGuiApplication::primaryScreen());
}

void GetReportDialog::FitToScreen(const QScreen* screen) {
  if (screen == nullptr) return;
  // Room for the frame and title bar that the window manager adds around the window.
  const QSize room = screen->availableGeometry().size() - QSize(kFrameRoom, 3 * kFrameRoom);
  const QSize wanted = size();
  if (wanted.width() <= room.width() && wanted.height() <= room.height()) return;
  // Too large for this screen: capped to it, and resizable, with the pane following the size.
  setMinimumSize(pane_margins_.left() * 2 + 1, pane_margins_.top() + pane_margins_.bottom() + 1);
  setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
  setSizeGripEnabled(true);
  resize(wanted.boundedTo(room));
}

void GetReportDialog::resizeEvent(QResizeEvent* event) {
  QDialog::resizeEvent(event);
  if (QWidget* pane = FindControl(*this, kIdReportText)) {
    pane->setGeometry(rect().marginsRemoved(pane_margins_));
  }
}

void GetReportDialog::SetReportText(std::string report) {
  report_ = std::move(report);
  if (auto* pane = FindControlAs<QPlainTextEdit>(*this, kIdReportText)) {
    pane->setPlainText(ReportDisplayText(report_));
  }
}

void GetReportDialog::OnSave() {
  SaveReportFlow(report_, chooser_, messages_);
}

}  // namespace tavi
