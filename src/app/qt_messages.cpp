#include "app/qt_messages.h"

#include <QMessageBox>
#include <QString>

#include "resources/strings.h"

namespace tavi {
namespace {

QString ToQString(std::string_view text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

void Show(QWidget* parent, QMessageBox::Icon icon, const QString& text, std::string_view details) {
  QMessageBox box(icon, ToQString(kAppName), text, QMessageBox::Ok, parent);
  if (!details.empty()) box.setDetailedText(ToQString(details));
  box.exec();
}

}  // namespace

void QtMessages::ShowMessage(int id, std::string_view details) {
  const QMessageBox::Icon icon = id == kIdsDone ? QMessageBox::Information : QMessageBox::Warning;
  Show(parent_, icon, ToQString(LoadString(id)), details);
}

void QtMessages::ShowFileError(const FileError& error) {
  Show(parent_, QMessageBox::Warning, ToQString(FileErrorText(error)), {});
}

}  // namespace tavi
