// tavi-cli from the command line to the exit status.
#pragma once

#include "core/settings/port_settings.h"
#include "frontends/cli/cli_args.h"

namespace tavi::cli {

// The stored settings with the command line's overrides applied.
PortSettings SettingsFor(const Invocation& invocation);

// Parses the command line, runs the command and returns the exit status.
int Run(int argc, const char* const* argv);

}  // namespace tavi::cli
