// tavi-cli from the command line to the exit status.
#pragma once

namespace tavi::cli {

// Parses the command line, runs the command and returns the exit status.
int Run(int argc, const char* const* argv);

}  // namespace tavi::cli
