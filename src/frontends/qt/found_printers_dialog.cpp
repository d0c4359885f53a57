#include "frontends/qt/found_printers_dialog.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

#include "core/discovery/discover.h"

namespace tavi {

FoundPrintersDialog::FoundPrintersDialog(std::vector<discovery::FoundHost> hosts, QWidget* parent)
    : QDialog(parent), hosts_(std::move(hosts)) {
  setWindowTitle(kFoundPrintersCaption);
  setModal(true);
  auto* layout = new QVBoxLayout(this);
  auto* label = new QLabel(hosts_.empty() ? QString(discovery::kTextNoNetworkPrinters.data())
                                          : QString(discovery::kTextPrintersFound),
                           this);
  layout->addWidget(label);
  list_ = new QListWidget(this);
  for (const auto& host : hosts_) {
    QString line = QString::fromStdString(discovery::HostLine(host));
    list_->addItem(line.replace('\t', "   "));
  }
  list_->setMinimumWidth(list_->sizeHintForColumn(0) + 24);
  layout->addWidget(list_);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  layout->addWidget(buttons);
  QPushButton* ok = buttons->button(QDialogButtonBox::Ok);
  ok->setEnabled(!hosts_.empty());
  if (!hosts_.empty()) list_->setCurrentRow(0);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  connect(list_, &QListWidget::itemDoubleClicked, this, &QDialog::accept);
}

const discovery::FoundHost* FoundPrintersDialog::picked() const {
  if (result() != QDialog::Accepted) return nullptr;
  const int row = list_->currentRow();
  if (row < 0 || static_cast<std::size_t>(row) >= hosts_.size()) return nullptr;
  return &hosts_[static_cast<std::size_t>(row)];
}

}  // namespace tavi
