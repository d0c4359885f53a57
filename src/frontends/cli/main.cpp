#include <string>
#include <vector>

#include "frontends/cli/cli_run.h"
#include "os/terminal.h"

int main(int argc, char** argv) {
  tavi::UseBinaryStandardStreams();
  // UTF-8 on every system, also where the system's own argv would be in a code page.
  const std::vector<std::string> args = tavi::CommandLineArguments(argc, argv);
  std::vector<const char*> pointers;
  pointers.reserve(args.size() + 1);
  for (const std::string& arg : args) pointers.push_back(arg.c_str());
  pointers.push_back(nullptr);
  return tavi::cli::Run(static_cast<int>(args.size()), pointers.data());
}
