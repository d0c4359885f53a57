// The service history window: the journal's records, oldest first, in a read-only list, with
// "Save as CSV..." and Close.
#pragma once

#include <QDialog>
#include <vector>

#include "core/journal/journal_record.h"

class QListWidget;

namespace tavi {

class FileChooser;
class Messages;

class HistoryDialog : public QDialog {
  Q_OBJECT

 public:
  HistoryDialog(std::vector<JournalRecord> records, FileChooser& chooser, Messages& messages,
                QWidget* parent = nullptr);

  [[nodiscard]] QListWidget& list() { return *list_; }
  [[nodiscard]] QPushButton& save_button() { return *save_; }

 private:
  std::vector<JournalRecord> records_;
  FileChooser& chooser_;
  Messages& messages_;
  QListWidget* list_ = nullptr;
  QPushButton* save_ = nullptr;
};

}  // namespace tavi
