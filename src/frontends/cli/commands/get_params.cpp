// get-params FILE: the parameter block backed up to a parameter file.
#include <CLI/CLI.hpp>

#include "core/connection/printer_connection.h"
#include "core/operations/get_parameters.h"
#include "frontends/cli/cli_commands.h"
#include "frontends/cli/cli_fleet_host.h"
#include "frontends/cli/cli_hosts.h"
#include "frontends/cli/cli_outcome.h"
#include "frontends/cli/cli_registry.h"

namespace tavi::cli {
namespace {

void Bind(CLI::App& command, Invocation& out) {
  command.add_option("FILE", out.file, "Parameter file to write (replaced atomically)")->required();
}

int Run(const CommandContext& context) {
  PrinterConnection connection = MakeConnection(context);
  PathChooser chooser(context.invocation.file);
  return ExitStatusFor(GetParametersFlow(connection, chooser));
}

int RunOnHost(const FleetJob& job, const std::string& host, PrinterConnection& connection,
              const Trace& /*trace*/, HostResult& /*result*/) {
  PathChooser chooser(ExpandHostPath(job.output, host));
  return ExitStatusFor(GetParametersFlow(connection, chooser));
}

}  // namespace

extern const CommandEntry kGetParamsCommand{
    .id = Command::kGetParams,
    .operation = Operation::kGetParameters,
    .summary = "Back up the parameter block to a parameter file",
    .brief = "back up the parameter block to a parameter file",
    .man =
        R"(Back up the printer's parameter block to the parameter file \fIFILE\fR (replaced atomically).
)",
    .reach = Reach::kPrinter,
    .bind = Bind,
    .run_printer = Run,
    .fleet_prepare = PrepareFleetOutput,
    .fleet_run = RunOnHost,
};

}  // namespace tavi::cli
