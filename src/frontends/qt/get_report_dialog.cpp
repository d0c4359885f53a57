#include "frontends/qt/get_report_dialog.h"

#include <QPlainTextEdit>
#include <QPushButton>
#include <QStringDecoder>
#include <utility>

#include "core/operations/get_report.h"
#include "frontends/qt/dialog_builder.h"

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
