#include "app/qt_file_chooser.h"

#include <QFile>
#include <QFileDialog>

namespace tavi {
namespace {

std::string ToLocalPath(const QString& path) {
  if (path.isEmpty()) return {};
  return QFile::encodeName(path).toStdString();
}

}  // namespace

std::string QtFileChooser::AskOpenFile() {
  return ToLocalPath(QFileDialog::getOpenFileName(parent_, QString(), QString(), QString()));
}

std::string QtFileChooser::AskSaveFile() {
  // The default options confirm an overwrite; nothing is appended to the typed name.
  return ToLocalPath(QFileDialog::getSaveFileName(parent_, QString(), QString(), QString()));
}

}  // namespace tavi
