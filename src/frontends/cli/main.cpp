#include "frontends/cli/cli_run.h"
#include "os/terminal.h"

int main(int argc, char** argv) {
  tavi::UseBinaryStandardStreams();
  return tavi::cli::Run(argc, argv);
}
