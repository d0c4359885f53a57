// The main dialog (template 102): one button per maintenance operation, Exit, and the About
// entry on its context menu. Every operation button disables the command buttons, runs its
// operation through `Operations`, and enables them again on every path.
#pragma once

#include <QDialog>
#include <functional>
#include <memory>
#include <string>

#include "core/journal/noting_chooser.h"
#include "core/operations/catalogue.h"

class QMenu;

namespace tavi {

class CommandRunner;
class FileChooser;
class Journal;
class OperationOptions;
class PrinterConnection;
class TraceMemory;

class MainDialog : public QDialog {
  Q_OBJECT

 public:
  // The operations behind the buttons. Each returns true on success; a member left as it is
  // does nothing and returns false. The flows are wired in one place: WireOperations().
  struct Operations {
    std::function<bool(MainDialog&)> select_port = [](MainDialog&) { return false; };
    // Fills `report` with the fetched report text.
    std::function<bool(MainDialog&, std::string& report)> get_report =
        [](MainDialog&, std::string&) { return false; };
    std::function<bool(MainDialog&)> get_parameters = [](MainDialog&) { return false; };
    std::function<bool(MainDialog&, bool all)> put_parameters = [](MainDialog&, bool) {
      return false;
    };
    std::function<bool(MainDialog&)> set_head_rank = [](MainDialog&) { return false; };
    std::function<bool(MainDialog&)> firmware_upgrade = [](MainDialog&) { return false; };
  };

  // The system command that opens the About box (its low four bits are ignored).
  static constexpr unsigned kSysCommandAbout = 0x0010;

  MainDialog(PrinterConnection& connection, FileChooser& chooser, Operations operations,
             QWidget* parent = nullptr);
  ~MainDialog() override;

  PrinterConnection& connection() { return connection_; }
  // The chooser the operations ask: it notes every file chosen for the journal's record.
  FileChooser& file_chooser() { return noting_; }
  const std::string& version_text() const { return version_text_; }
  int all_option() const { return all_option_; }

  // Enables or disables the command buttons 1000..1005 and Exit; check box 1015 stays disabled
  // and hidden, the all option becomes 0 and label 1021 names the printer the operations talk to
  // (port, host, family; the whole sentence as its tool tip).
  void EnableCommands(bool enable);

  // Runs the operation of one of the buttons, as its press does.
  void RunOperation(Operation operation);
  void OnSelectPort();
  void OnGetReport();
  void OnGetParameters();
  void OnPutParameters();
  void OnSetHeadRank();
  void OnFirmwareUpgrade();

  // Opens the About box for 0x0010..0x001F; returns false for any other command (which has no
  // handling of its own here).
  bool OnSysCommand(unsigned id);

  // The context menu that stands in for the system menu. With an empty `about_text` it gets no
  // entries at all.
  QMenu& context_menu() { return *context_menu_; }
  void RebuildContextMenu(std::string_view about_text);

  // The operations' choices (which outlive the dialog): the context menu then offers "Verify Put
  // Parameters", checked as they say, and a change goes into them.
  void set_operation_options(OperationOptions* options);
  // Put Parameters reads the printer's block back afterwards.
  bool verify_restore() const;

  // Every operation from now on is traced into `memory` (which outlives the dialog); each one
  // starts it afresh. The context menu then offers "Save Trace...".
  void set_trace_memory(TraceMemory* memory);
  // Asks for a file and writes the last operation's trace to it (file errors are shown).
  void SaveTrace();

  // Every operation from now on appends its record to `journal` (which outlives the dialog).
  // The context menu then offers "Service History...".
  void set_journal(Journal* journal);
  // Shows the journal's records in the history window (modal).
  void ShowHistory();

  // Exit, Escape and closing the window end the modal run. While an operation runs, the end is
  // held until the operation is over.
  void done(int result) override;

 signals:
  // The window was shown for the first time.
  void firstShown();

 protected:
  void contextMenuEvent(QContextMenuEvent* event) override;
  void showEvent(QShowEvent* event) override;

 private:
  std::string about_text_;
  QAction* save_trace_ = nullptr;
  QAction* history_ = nullptr;
  Journal* journal_ = nullptr;
  OperationOptions* options_ = nullptr;
  int all_option_ = 0;
  std::string version_text_;
  PrinterConnection& connection_;
  FileChooser& chooser_;
  NotingChooser noting_{chooser_};
  Operations operations_;
  QMenu* context_menu_ = nullptr;
  std::unique_ptr<CommandRunner> runner_;
  bool shown_once_ = false;
};

}  // namespace tavi
