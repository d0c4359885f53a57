// What tavi-cli needs of the terminal and the process: whether a stream is a terminal, and
// SIGINT turned into a flag that the command's cancel source reads.
#pragma once

#include <cstdio>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace tavi {

// True when standard error (or standard output, or standard input) is a terminal.
bool StderrIsTerminal();
bool StdoutIsTerminal();
bool StdinIsTerminal();
// The width in columns of the terminal on standard error; 80 when it cannot be told.
int StderrColumns();

// Standard input, output and error carry bytes unchanged: no line-end translation where the
// system has one. Called once, before anything is read or written.
void UseBinaryStandardStreams();

// The program's command-line arguments in UTF-8, the program's name first: `argv` where the
// system hands them over as they were typed (POSIX); on Windows the system's wide command line,
// whatever the code page (`argc` and `argv` are then not used).
std::vector<std::string> CommandLineArguments(int argc, const char* const* argv);

// Writes `text` (UTF-8, or any bytes) to `stream` whole; false when it could not. On a Windows
// console, valid UTF-8 is shown as the characters it spells; a file or a pipe gets the bytes
// unchanged.
[[nodiscard]] bool WriteText(std::FILE* stream, std::string_view text);

// For its lifetime, the first SIGINT (on Windows: Ctrl-C or Ctrl-Break) only sets a flag (read with
// Interrupted()); a second SIGINT ends the program the default way. SIGPIPE is ignored, so a closed
// output pipe shows up as a failed write instead of killing the program. Both handlers are restored
// on destruction. At most one object exists at a time.
class InterruptCatcher {
 public:
  InterruptCatcher();
  ~InterruptCatcher();
  InterruptCatcher(const InterruptCatcher&) = delete;
  InterruptCatcher& operator=(const InterruptCatcher&) = delete;

  // True once a SIGINT arrived while an object existed.
  static bool Interrupted();

 private:
  struct Saved;
  std::unique_ptr<Saved> saved_;
};

}  // namespace tavi
