// What the commands of tavi-cli that talk to a printer are given (each command is a file in
// commands/; a printer command returns the exit status 0, 1 or 2, and the caller turns a
// cancelled run into 3 or 130).
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "core/connection/default_channels.h"
#include "core/settings/port_settings.h"
#include "core/trace/trace.h"
#include "frontends/cli/cli_args.h"
#include "frontends/cli/cli_seams.h"

namespace tavi {
class PrinterConnection;
}

namespace tavi::cli {

struct CommandContext {
  const Invocation& invocation;
  const PortSettings& settings;  // loaded, with the command line's overrides applied
  NetworkPorts ports;
  CliProgress& progress;
  CliMessages& messages;
  Clock& clock;
  std::FILE* out;  // where "report" without -o writes the report's bytes
  Trace trace;     // the wire trace of the run (off without --trace and -v)
  // Where a command lists the files it made on its own (a safety copy), for the journal.
  std::vector<std::pair<std::string, std::string>>* noted_files = nullptr;
};

// The printer connection of a command, with the run's trace.
PrinterConnection MakeConnection(const CommandContext& context);

// The head rank of set-head-rank, from RANK or --file, checked: 0 with `head_rank` set, else the
// exit status (2) with the message shown. With `progress`, a head rank FIFO is read until its
// writer ends or the run is cancelled; without, it is refused.
int LoadHeadRank(const Invocation& invocation, CliMessages& messages, std::string& head_rank,
                 ProgressDialog* progress = nullptr);

}  // namespace tavi::cli
