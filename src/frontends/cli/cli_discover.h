// tavi-cli discover: the family's printers on the network and on the local ports.
#pragma once

#include <cstdio>

#include "frontends/cli/cli_args.h"

namespace tavi::cli {

// Sweeps (the targets, else every interface's broadcast address), lists the printers found in
// address order, then the parallel ports and USB printers. Text lines or one JSON object.
int RunDiscover(const Invocation& invocation, std::FILE* out, std::FILE* err);

}  // namespace tavi::cli
