// The main dialog (template 102) built natively: one button per maintenance operation, Exit,
// and the About entry (string 101, system command 0x0010) on the system menu. Every operation
// button disables the command buttons, runs the core's flow for it, and enables them again on
// every path. Exit, Escape and Close end the modal run; while an operation runs, the end is held
// until it is over.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "core/journal/noting_chooser.h"
#include "core/operations/command_runner.h"
#include "frontends/win32/native_dialog.h"

namespace tavi {
class FileChooser;
class Journal;
class OperationOptions;
class PrinterConnection;
class TraceMemory;
}  // namespace tavi

namespace tavi::win {

class MainWindow final : public NativeDialog {
 public:
  static constexpr unsigned kSysCommandAbout = 0x0010;
  // The system menu's checkable "Verify Put Parameters" (offered with operation options).
  static constexpr unsigned kSysCommandVerify = 0x0020;

  // `restart_snmp_port` is the SNMP port Restart asks (0: the "snmp" service port).
  MainWindow(PrinterConnection& connection, FileChooser& chooser,
             std::uint16_t restart_snmp_port = 0);

  // Enables or disables the command buttons 1000..1005 and Exit; check box 1015 stays disabled
  // and hidden, the all option becomes 0 and label 1021 shows the (empty) development text.
  void EnableCommands(bool enable);
  int all_option() const { return all_option_; }

  // Every operation from now on is traced into `memory` (which outlives the window); each one
  // starts it afresh.
  void set_trace_memory(TraceMemory* memory) { runner_.set_trace_memory(memory); }
  // The operations' choices (which outlive the window), set before the window runs: the system
  // menu then offers "Verify Put Parameters", and a change goes into them.
  void set_operation_options(OperationOptions* options) { options_ = options; }
  // Asks for a file and writes the last operation's trace to it (file errors are shown).
  void SaveTrace();
  // Every operation from now on appends its record to `journal` (which outlives the window).
  void set_journal(Journal* journal) { runner_.set_journal(journal, &noting_); }
  // The addresses Find... in Select Port asks one by one (empty: every interface's broadcast).
  void set_find_targets(std::vector<std::uint32_t> targets) { find_targets_ = std::move(targets); }

 protected:
  BOOL OnInit() override;
  bool OnCommand(int id, int notification) override;
  bool OnMessage(UINT message, WPARAM wparam, LPARAM lparam, INT_PTR& result) override;

 private:
  // The flow of `operation`, run by the command runner.
  void RunOperation(Operation operation);
  void PaintMinimised();

  PrinterConnection& connection_;
  FileChooser& chooser_;
  // The chooser the operations ask: it notes every file chosen for the journal's record.
  NotingChooser noting_{chooser_};
  std::uint16_t restart_snmp_port_;
  std::string version_text_;
  std::vector<std::uint32_t> find_targets_;
  int all_option_ = 0;
  OperationOptions* options_ = nullptr;
  CommandRunner runner_;
};

}  // namespace tavi::win
