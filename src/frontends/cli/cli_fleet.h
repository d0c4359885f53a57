// tavi-cli --hosts: one printer command on many printers at once.
#pragma once

#include "core/settings/port_settings.h"
#include "frontends/cli/cli_args.h"

namespace tavi::cli {

// Runs the invocation's printer command on every host of --hosts, at most --jobs at once. The
// inputs (parameter file, firmware image, head rank) are read and checked once, before any
// printer is contacted; changing commands across several hosts are confirmed first. Each host
// gets one run's exchange of its own. One result line per host goes to stderr, in the order
// given. Returns 0 when every host succeeded, else 130 (SIGINT), 3 (a --timeout ran out) or 1,
// the first that applies; 2 for a usage error or unusable input, before any printer is reached.
int RunFleet(const Invocation& invocation, const PortSettings& settings);

}  // namespace tavi::cli
