// put-params FILE: a parameter file checked, then restored to the printer.
#include <CLI/CLI.hpp>

#include "core/connection/printer_connection.h"
#include "core/operations/put_parameters.h"
#include "core/operations/safety_copy.h"
#include "core/operations/verify_restore.h"
#include "core/protocol/operations.h"
#include "frontends/cli/cli_commands.h"
#include "frontends/cli/cli_fleet_host.h"
#include "frontends/cli/cli_outcome.h"
#include "frontends/cli/cli_registry.h"
#include "os/journal_file.h"

namespace tavi::cli {
namespace {

void Bind(CLI::App& command, Invocation& out) {
  command.add_option("FILE", out.file, "Parameter file to send")->required();
  command.add_flag("--safety-copy", out.safety_copy,
                   "First keep the printer's current parameters in the journal's folder");
  command.add_flag("--verify", out.verify,
                   "After the restore, wait until the printer answers again (at most 60 s), read "
                   "its parameter block back and compare it with the file's: exit status 4 when "
                   "it differs");
}

// The folder of the safety copy when one is asked for (--safety-copy or the setting), else "".
std::string SafetyCopyFolder(const Invocation& invocation, const PortSettings& settings) {
  return invocation.safety_copy || settings.safety_copy ? JournalFolder() : std::string();
}

int Run(const CommandContext& context) {
  PrinterConnection connection = MakeConnection(context);
  PathChooser chooser(context.invocation.file);
  const FlowOutcome outcome =
      PutParametersFlow(connection, chooser, /*all=*/false, context.invocation.verify,
                        SafetyCopyFolder(context.invocation, context.settings));
  if (context.noted_files != nullptr) *context.noted_files = connection.TakeNotedFiles();
  return ExitStatusFor(outcome);
}

int PrepareOnHosts(const Invocation& invocation, std::size_t /*host_count*/, CliMessages& say,
                   FleetJob& job) {
  job.safety_copy_folder = SafetyCopyFolder(invocation, job.settings);
  job.verify = invocation.verify;
  return ExitStatusFor(LoadParameterImage(invocation.file, say, job.image));
}

int RunOnHost(const FleetJob& job, const std::string& /*host*/, PrinterConnection& connection,
              const Trace& /*trace*/, HostResult& result) {
  if (std::string kept; !job.safety_copy_folder.empty()) {
    const FlowOutcome copy = TakeSafetyCopy(connection, job.safety_copy_folder, kept);
    result.noted_files = connection.TakeNotedFiles();
    if (copy != FlowOutcome::kSuccess) return ExitStatusFor(copy);
  }
  if (!PutParameters(connection, job.image, /*all=*/false)) return kExitFailed;
  return job.verify ? ExitStatusFor(VerifyRestore(connection, job.image)) : kExitSuccess;
}

}  // namespace

extern const CommandEntry kPutParamsCommand{
    .id = Command::kPutParams,
    .operation = Operation::kPutParameters,
    .summary = "Restore a parameter file; prints \"Done.\"",
    .brief = "restore a parameter file; prints \"Done.\"",
    .man = R"(Check the parameter file \fIFILE\fR completely, then send it to the printer.
Prints "Done." on standard output.
With \fB--safety-copy\fR (or SafetyCopy=1 in the settings file) the printer's current
parameters are first kept as a parameter file in the journal's folder; if they cannot be
kept, nothing is sent.
An unusable file gives "Illegal Parameter File." and sends nothing.
With \fB\-\-verify\fR, tavi-cli then waits until the printer answers again (at most 60
seconds; \fB\-\-timeout\fR and Ctrl-C end the wait), reads its parameter block back with the
Get Parameters exchange and compares it with the file's: a second line on standard output says
that it is equal; a difference gives "The printer's parameter block, read back, differs from
the file." on standard error with the first differing offsets, and exit status 4.
)",
    .reach = Reach::kPrinter,
    .bind = Bind,
    .run_printer = Run,
    .fleet_prepare = PrepareOnHosts,
    .fleet_run = RunOnHost,
    .changes_printer = true,
};

}  // namespace tavi::cli
