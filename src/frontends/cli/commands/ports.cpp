// ports: the parallel ports and matching USB printers, without contacting a printer.
#include <CLI/CLI.hpp>

#include "frontends/cli/cli_offline.h"
#include "frontends/cli/cli_registry.h"

namespace tavi::cli {
namespace {

void Bind(CLI::App& /*command*/, Invocation& /*out*/) {}

}  // namespace

extern const CommandEntry kPortsCommand{
    .id = Command::kPorts,
    .operation = Operation::kListPorts,
    .summary = "List parallel ports and matching USB printers, and which one would be used",
    .brief = "list parallel ports and matching USB printers",
    .man =
        R"(List the parallel ports and the matching USB printers, with the device ID where it can be read,
and say which one Tavi would use.
)",
    .reach = Reach::kOffline,
    .bind = Bind,
    .run_offline = RunPorts,
};

}  // namespace tavi::cli
