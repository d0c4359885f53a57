#include "frontends/qt/history_dialog.h"

#include <QFontDatabase>
#include <QHBoxLayout>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

#include "core/journal/journal.h"

namespace tavi {
namespace {

QString ToQString(std::string_view text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

}  // namespace

HistoryDialog::HistoryDialog(std::vector<JournalRecord> records, FileChooser& chooser,
                             Messages& messages, QWidget* parent)
    : QDialog(parent), records_(std::move(records)), chooser_(chooser), messages_(messages) {
  setWindowTitle(ToQString(kHistoryTitle));
  list_ = new QListWidget(this);
  list_->setObjectName("history_list");
  list_->setSelectionMode(QAbstractItemView::SingleSelection);
  list_->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
  for (const JournalRecord& record : records_) {
    auto* item = new QListWidgetItem(ToQString(JournalLineText(record)), list_);
    // Read-only: an entry can be selected, never edited.
    item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
    if (!record.details.empty()) item->setToolTip(ToQString(record.details));
  }
  list_->scrollToBottom();

  save_ = new QPushButton(ToQString(kSaveCsvText), this);
  save_->setObjectName("save_csv");
  save_->setEnabled(!records_.empty());
  auto* close = new QPushButton(tr("Close"), this);
  close->setObjectName("close");
  close->setDefault(true);
  connect(save_, &QPushButton::clicked, this,
          [this] { (void)SaveJournalCsv(records_, chooser_, messages_); });
  connect(close, &QPushButton::clicked, this, &QDialog::accept);

  auto* buttons = new QHBoxLayout;
  buttons->addWidget(save_);
  buttons->addStretch(1);
  buttons->addWidget(close);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(list_, 1);
  layout->addLayout(buttons);
  resize(760, 360);
}

}  // namespace tavi
