// firmware FILE: the firmware upgrade.
#include <CLI/CLI.hpp>

#include "core/connection/printer_connection.h"
#include "core/operations/firmware_upgrade.h"
#include "core/protocol/operations.h"
#include "frontends/cli/cli_commands.h"
#include "frontends/cli/cli_fleet_host.h"
#include "frontends/cli/cli_outcome.h"
#include "frontends/cli/cli_registry.h"

namespace tavi::cli {
namespace {

void Bind(CLI::App& command, Invocation& out) {
  command.add_option("FILE", out.file, "Firmware file")->required();
}

int Run(const CommandContext& context) {
  PrinterConnection connection = MakeConnection(context);
  PathChooser chooser(context.invocation.file);
  return ExitStatusFor(FirmwareUpgradeFlow(connection, chooser));
}

int PrepareOnHosts(const Invocation& invocation, std::size_t /*host_count*/, CliMessages& say,
                   FleetJob& job) {
  return ExitStatusFor(LoadFirmwareImage(invocation.file, say, job.image));
}

int RunOnHost(const FleetJob& job, const std::string& /*host*/, PrinterConnection& connection,
              const Trace& /*trace*/, HostResult& /*result*/) {
  return UpgradeFirmware(connection, job.image) ? kExitSuccess : kExitFailed;
}

}  // namespace

extern const CommandEntry kFirmwareCommand{
    .id = Command::kFirmware,
    .operation = Operation::kFirmwareUpgrade,
    .summary = "Firmware upgrade; prints \"Done.\"",
    .brief = "firmware upgrade; prints \"Done.\"",
    .man = R"(Upgrade the firmware with the image \fIFILE\fR.
Prints "Done.".
)",
    .reach = Reach::kPrinter,
    .bind = Bind,
    .run_printer = Run,
    .fleet_prepare = PrepareOnHosts,
    .fleet_run = RunOnHost,
    .changes_printer = true,
};

}  // namespace tavi::cli
