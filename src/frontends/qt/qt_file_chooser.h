// The standard open and save file dialogs: no filter, no default suffix, no initial name. Each
// starts in the folder last used for its kind of file, when folders are remembered.
#pragma once

#include "core/ui/seams.h"

class QWidget;

namespace tavi {

class RecentFolders;

class QtFileChooser : public FileChooser {
 public:
  explicit QtFileChooser(QWidget* parent = nullptr) : parent_(parent) {}
  // The window a dialog belongs to when no window of ours is active.
  void set_parent(QWidget* parent) { parent_ = parent; }
  // Where the folders are remembered; null for none.
  void set_folders(RecentFolders* folders) { folders_ = folders; }
  // The chosen path in the file system's encoding; empty when the user cancelled.
  std::string AskOpenFile(FileKind kind = FileKind::kOther) override;
  // Asks before replacing an existing file.
  std::string AskSaveFile(FileKind kind = FileKind::kOther) override;
  void SaveFailed(FileKind kind) override;

 private:
  std::string Ask(FileKind kind, bool save);

  QWidget* parent_;
  RecentFolders* folders_ = nullptr;
};

}  // namespace tavi
