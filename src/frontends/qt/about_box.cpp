#include "frontends/qt/about_box.h"

#include <QLabel>
#include <QPushButton>

#include "frontends/qt/app_icon.h"
#include "frontends/qt/dialog_builder.h"

namespace tavi {

AboutBox::AboutBox(QWidget* parent) : QDialog(parent) {
  const DialogTemplate& t = *FindDialogTemplate(kDlgAbout);
  BuildDialog(*this, t);
  if (auto* icon = findChild<QLabel*>(kIconAreaName)) {
    icon->setPixmap(AppIcon().pixmap(icon->size()));
  }
  SetVersionText({});
  if (auto* ok = FindControlAs<QPushButton>(*this, kIdOk)) {
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
  }
}

void AboutBox::SetVersionText(std::string_view version) {
  if (auto* line = FindControlAs<QLabel>(*this, kIdVersionText)) {
    line->setText(QString::fromUtf8(version.data(), static_cast<qsizetype>(version.size())));
  }
}

}  // namespace tavi
