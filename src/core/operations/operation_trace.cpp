#include "core/operations/operation_trace.h"

#include <span>
#include <string>

#include "core/connection/printer_connection.h"
#include "core/trace/trace_sinks.h"
#include "core/ui/seams.h"
#include "os/file_io.h"

namespace tavi {

void StartOperationTrace(PrinterConnection& connection, TraceMemory& memory,
                         std::string_view version, std::string_view button_caption) {
  // Each operation's trace starts empty, at 0 ms.
  memory.Clear();
  connection.set_trace(Trace(memory, connection.clock()));
  std::string line = "Tavi ";
  line += version;
  line += ": ";
  for (char c : button_caption) {
    if (c != '&') line.push_back(c);
  }
  connection.trace().Event("run", line);
}

void EndOperationTrace(const PrinterConnection& connection) {
  connection.trace().Outcome("outcome: the operation ended (the messages above say how)");
}

bool SaveTraceFlow(const TraceMemory& memory, FileChooser& chooser, Messages& messages) {
  if (memory.empty()) return false;
  const std::string path = chooser.AskSaveFile();
  if (path.empty()) return false;
  const std::string text = memory.Text();
  FileError error;
  if (!WriteFileAtomically(path, std::as_bytes(std::span(text.data(), text.size())), error)) {
    messages.ShowFileError(error);
    return false;
  }
  return true;
}

}  // namespace tavi
