// Message boxes titled "Tavi" with the string table's texts.
#pragma once

#include "platform/seams.h"

class QWidget;

namespace tavi {

class QtMessages : public Messages {
 public:
  explicit QtMessages(QWidget* parent = nullptr) : parent_(parent) {}
  // The text of string `id`; `details` go to the box's details pane.
  void ShowMessage(int id, std::string_view details = {}) override;
  void ShowFileError(const FileError& error) override;

 private:
  QWidget* parent_;
};

}  // namespace tavi
