// firmware FILE: the firmware upgrade.
#include <CLI/CLI.hpp>

#include "core/connection/printer_connection.h"
#include "core/operations/firmware_upgrade.h"
#include "frontends/cli/cli_commands.h"
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
};

}  // namespace tavi::cli
