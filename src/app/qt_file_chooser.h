// The standard open and save file dialogs: no filter, no default suffix, no initial name.
#pragma once

#include "platform/seams.h"

class QWidget;

namespace tavi {

class QtFileChooser : public FileChooser {
 public:
  explicit QtFileChooser(QWidget* parent = nullptr) : parent_(parent) {}
  void set_parent(QWidget* parent) { parent_ = parent; }
  // The chosen path in the file system's encoding; empty when the user cancelled.
  std::string AskOpenFile() override;
  // Asks before replacing an existing file.
  std::string AskSaveFile() override;

 private:
  QWidget* parent_;
};

}  // namespace tavi
