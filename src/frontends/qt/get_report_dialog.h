// The Get Report window (template 129): the report in a read-only monospace pane, "Save" writes
// exactly the report's bytes to a file of the user's choice, "OK" closes.
#pragma once

#include <QDialog>
#include <string>

namespace tavi {

class FileChooser;
class Messages;

class GetReportDialog : public QDialog {
  Q_OBJECT

 public:
  GetReportDialog(FileChooser& chooser, Messages& messages, QWidget* parent = nullptr);

  // The report exactly as fetched; shown as UTF-8 when it is valid UTF-8, else as Latin-1.
  void SetReportText(std::string report);
  const std::string& report_text() const { return report_; }

  // "Save": asks for a path and replaces that file with the report's bytes. A failed save shows
  // the file-error message and leaves an existing file as it was; the window stays open.
  void OnSave();

 private:
  FileChooser& chooser_;
  Messages& messages_;
  std::string report_;
};

// The report's bytes as text for the pane.
QString ReportDisplayText(const std::string& report);

}  // namespace tavi
