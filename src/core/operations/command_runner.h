// The rules of the main window's command buttons, shared by both desktop windows: while an
// operation runs the commands are disabled (and enabled again however it ends), a second
// operation is refused, a close asked for meanwhile is held and carried out once it is over, the
// keyboard goes back to the button that started it, and the trace of the last operation starts
// afresh with every operation. A window gives the hooks and keeps only its drawing and binding.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "core/operations/catalogue.h"

namespace tavi {

class Journal;
class NotingChooser;
class PrinterConnection;
class TraceMemory;

class CommandRunner {
 public:
  struct Hooks {
    std::function<void(bool enable)> enable_commands;
    // Gives the keyboard focus to control `id` (its window activated again if need be).
    std::function<void(int id)> focus;
    // Ends the window's modal run with `result`.
    std::function<void(int result)> end;
  };

  CommandRunner(PrinterConnection& connection, std::string version, Hooks hooks);
  CommandRunner(const CommandRunner&) = delete;
  CommandRunner& operator=(const CommandRunner&) = delete;

  // Every operation from now on is traced into `memory` (null: none), which outlives the runner.
  void set_trace_memory(TraceMemory* memory) { trace_memory_ = memory; }
  [[nodiscard]] TraceMemory* trace_memory() const { return trace_memory_; }
  [[nodiscard]] bool busy() const { return busy_; }

  // Every operation from now on appends its record to `journal` (null: none), with the files
  // chosen through `chooser` (may be null) and those the connection noted. Both outlive the
  // runner.
  void set_journal(Journal* journal, NotingChooser* chooser) {
    journal_ = journal;
    chooser_ = chooser;
  }

  // Runs `body` as `operation`. False, with nothing done, while another operation runs. The
  // body's result says whether the operation succeeded; without one, the journal judges by the
  // messages shown.
  bool Run(Operation operation, const std::function<bool()>& body);
  bool Run(Operation operation, const std::function<void()>& body);

  // Exit, Escape or Close: ends the run now, or once the running operation is over.
  void Close(int result);

 private:
  PrinterConnection& connection_;
  std::string version_;
  Hooks hooks_;
  bool RunJudged(Operation operation, const std::function<int()>& body);
  void Record(Operation operation, int result, std::int64_t duration_ms);

  TraceMemory* trace_memory_ = nullptr;
  Journal* journal_ = nullptr;
  NotingChooser* chooser_ = nullptr;
  bool busy_ = false;
  bool close_held_ = false;
  int held_result_ = 0;
};

}  // namespace tavi
