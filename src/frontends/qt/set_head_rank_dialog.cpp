#include "frontends/qt/set_head_rank_dialog.h"

#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QValidator>
#include <cstddef>

#include "core/operations/set_head_rank.h"
#include "frontends/qt/dialog_builder.h"

namespace tavi {
namespace {

// A rank field takes rank characters only: a key or a pasted text with anything else is refused
// as it is typed.
class RankCharacterValidator final : public QValidator {
 public:
  using QValidator::QValidator;

  State validate(QString& input, int& /*pos*/) const override {
    for (const QChar c : input) {
      if (c.unicode() >= 0x80 || !IsRankCharacter(static_cast<char>(c.unicode()))) {
        return Invalid;
      }
    }
    return Acceptable;
  }
};

QLineEdit* RankEdit(const QWidget& dialog, std::size_t field) {
  return FindControlAs<QLineEdit>(dialog, kIdRankField1 + static_cast<int>(field));
}

}  // namespace

SetHeadRankDialog::SetHeadRankDialog(FileChooser& chooser, Messages& messages, QWidget* parent)
    : QDialog(parent), chooser_(chooser), messages_(messages) {
  BuildDialog(*this, *FindDialogTemplate(kDlgSetHeadRank));
  setModal(true);
  if (auto* heads = FindControlAs<QComboBox>(*this, kIdHeadNumber)) {
    for (int head = 1; head <= kHeadCount; ++head) heads->addItem(QString::number(head));
    heads->setCurrentIndex(0);
    // The template's height includes the dropped-down list; the closed box is one line high.
    heads->resize(heads->width(), heads->sizeHint().height());
  }
  for (std::size_t i = 0; i < kHeadRankFieldCount; ++i) {
    if (QLineEdit* edit = RankEdit(*this, i)) edit->setValidator(new RankCharacterValidator(edit));
  }
  ShowFields();
  if (auto* reference = FindControlAs<QPushButton>(*this, kIdReference)) {
    connect(reference, &QPushButton::clicked, this, &SetHeadRankDialog::OnReference);
  }
  if (auto* set = FindControlAs<QPushButton>(*this, kIdOk)) {
    connect(set, &QPushButton::clicked, this, &SetHeadRankDialog::accept);
  }
  if (auto* cancel = FindControlAs<QPushButton>(*this, kIdCancel)) {
    connect(cancel, &QPushButton::clicked, this, &SetHeadRankDialog::reject);
  }
}

void SetHeadRankDialog::ReadFields() {
  for (std::size_t i = 0; i < kHeadRankFieldCount; ++i) {
    if (QLineEdit* edit = RankEdit(*this, i)) fields_.f[i] = edit->text().toStdString();
  }
}

void SetHeadRankDialog::ShowFields() {
  for (std::size_t i = 0; i < kHeadRankFieldCount; ++i) {
    if (QLineEdit* edit = RankEdit(*this, i)) edit->setText(QString::fromStdString(fields_.f[i]));
  }
}

void SetHeadRankDialog::OnReference() {
  ReadFields();
  // The flow leaves the fields untouched unless the file's head rank line was legal.
  if (ReferenceHeadRankFlow(fields_, chooser_, messages_) == FlowOutcome::kSuccess) ShowFields();
}

void SetHeadRankDialog::accept() {
  if (auto* heads = FindControlAs<QComboBox>(*this, kIdHeadNumber)) {
    head_index_ = heads->currentIndex();
  }
  ReadFields();
  QDialog::accept();
}

}  // namespace tavi
