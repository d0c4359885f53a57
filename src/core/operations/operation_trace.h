// The desktop program's trace of the last operation: kept in memory, started afresh by every
// operation, and saved to a file of the person's choice on request. Both desktop windows bind
// these; neither keeps a rule of its own about the trace.
#pragma once

#include <string_view>

namespace tavi {

class FileChooser;
class Messages;
class PrinterConnection;
class TraceMemory;

// Empties `memory`, points the connection's trace at it (its clock at 0 ms) and writes the run
// line: "Tavi <version>: <button caption without its accelerator marks>".
void StartOperationTrace(PrinterConnection& connection, TraceMemory& memory,
                         std::string_view version, std::string_view button_caption);

// The closing line of every operation, however it ended.
void EndOperationTrace(const PrinterConnection& connection);

// Asks for a file and writes the kept trace to it; a file that cannot be written is said through
// `messages`. Nothing happens while no operation left a trace. True once the file is written.
[[nodiscard]] bool SaveTraceFlow(const TraceMemory& memory, FileChooser& chooser,
                                 Messages& messages);

}  // namespace tavi
