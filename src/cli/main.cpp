#include "cli/cli_run.h"

int main(int argc, char** argv) {
  return tavi::cli::Run(argc, argv);
}
