// What tavi-cli needs of the terminal and the process: whether a stream is a terminal, and
// SIGINT turned into a flag that the command's cancel source reads.
#pragma once

#include <memory>

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
