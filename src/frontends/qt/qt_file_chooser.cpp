#include "frontends/qt/qt_file_chooser.h"

#include <QFile>
#include <QFileDialog>

#include "core/settings/recent_folders.h"
#include "frontends/qt/window_placement.h"

namespace tavi {

std::string QtFileChooser::Ask(FileKind kind, bool save) {
  QString folder;
  if (folders_ != nullptr) folder = QFile::decodeName(folders_->Folder(kind).c_str());
  QWidget* parent = WorkingWindow(parent_);
  // The default options confirm an overwrite; nothing is appended to the typed name.
  const QString chosen = save ? QFileDialog::getSaveFileName(parent, QString(), folder, QString())
                              : QFileDialog::getOpenFileName(parent, QString(), folder, QString());
  if (chosen.isEmpty()) return {};
  std::string path = QFile::encodeName(chosen).toStdString();
  if (folders_ != nullptr) folders_->Remember(kind, path);
  return path;
}

std::string QtFileChooser::AskOpenFile(FileKind kind) {
  return Ask(kind, false);
}

std::string QtFileChooser::AskSaveFile(FileKind kind) {
  return Ask(kind, true);
}

void QtFileChooser::SaveFailed(FileKind kind) {
  if (folders_ != nullptr) folders_->ForgetLast(kind);
}

}  // namespace tavi
