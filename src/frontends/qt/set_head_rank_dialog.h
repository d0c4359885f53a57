// The Set Head Rank window (template 132): head number "1".."8", the six rank fields with their
// default texts, "Reference..." to load a head rank file, "Set" and "Cancel". Modal, without a
// close box; Escape acts as Cancel. A new window starts from the defaults and head "1".
#pragma once

#include <QDialog>

#include "core/files/head_rank.h"

namespace tavi {

class FileChooser;
class Messages;

class SetHeadRankDialog : public QDialog {
  Q_OBJECT

 public:
  SetHeadRankDialog(FileChooser& chooser, Messages& messages, QWidget* parent = nullptr);

  // After "Set": the zero-based index of the chosen head and the six fields as typed.
  int head_index() const { return head_index_; }
  const HeadRankFields& fields() const { return fields_; }

  // "Reference...": asks for a head rank file and, when its head rank line is legal, shows its
  // six fields; an illegal line shows "Illegal Head Rank File." and keeps the fields as they
  // are. The head number does not change and the window stays open.
  void OnReference();

  // "Set": takes the head number and the fields, then closes with Accepted.
  void accept() override;

 private:
  void ReadFields();
  void ShowFields();

  FileChooser& chooser_;
  Messages& messages_;
  int head_index_ = 0;
  HeadRankFields fields_;
};

}  // namespace tavi
