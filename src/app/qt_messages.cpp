#include "app/qt_messages.h"

#include <QMessageBox>
#include <QPushButton>
#include <QString>

#include "resources/strings.h"

namespace tavi {
namespace {

QString ToQString(std::string_view text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

// True when the box was closed with its "Save Trace..." button.
bool Show(QWidget* parent, QMessageBox::Icon icon, const QString& text, std::string_view details,
          bool offer_trace = false) {
  QMessageBox box(icon, ToQString(kAppName), text, QMessageBox::Ok, parent);
  if (!details.empty()) box.setDetailedText(ToQString(details));
  QPushButton* save = nullptr;
  if (offer_trace) save = box.addButton(ToQString(kSaveTraceText), QMessageBox::ActionRole);
  box.setDefaultButton(QMessageBox::Ok);
  box.exec();
  return save != nullptr && box.clickedButton() == save;
}

}  // namespace

void QtMessages::ShowMessage(int id, std::string_view details) {
  const bool failure = id != kIdsDone;
  const QMessageBox::Icon icon = failure ? QMessageBox::Warning : QMessageBox::Information;
  const bool offer = failure && trace_available_ && save_trace_ && trace_available_();
  if (Show(parent_, icon, ToQString(LoadString(id)), details, offer)) save_trace_();
}

void QtMessages::ShowFileError(const FileError& error) {
  Show(parent_, QMessageBox::Warning, ToQString(FileErrorText(error)), {});
}

}  // namespace tavi
