// report [-o FILE]: the status report, to a file or to standard output.
#include <CLI/CLI.hpp>
#include <cerrno>
#include <cstring>

#include "core/connection/printer_connection.h"
#include "core/operations/get_report.h"
#include "core/ui/terminal_text.h"
#include "frontends/cli/cli_commands.h"
#include "frontends/cli/cli_fleet_host.h"
#include "frontends/cli/cli_hosts.h"
#include "frontends/cli/cli_outcome.h"
#include "frontends/cli/cli_registry.h"
#include "frontends/cli/cli_texts.h"
#include "os/terminal.h"

namespace tavi::cli {
namespace {

// Writes all of `bytes` to `out`; false (with the error shown) when the stream refuses them.
bool WriteAll(std::FILE* out, std::string_view bytes, CliMessages& messages) {
  errno = 0;
  if (WriteText(out, bytes) && std::fflush(out) == 0) return true;
  const int saved = errno;
  FileError error;
  error.op = FileError::Op::kWrite;
  error.path = "standard output";
  error.code = saved != 0 ? SystemCode::Errno(saved) : SystemCode{};
  error.cause = saved != 0 ? std::strerror(saved) : "write failed";
  messages.ShowFileError(error);
  return false;
}

void Bind(CLI::App& command, Invocation& out) {
  command.add_option("-o,--output", out.file, "File to write the report to (- for stdout)")
      ->type_name("FILE");
}

int Run(const CommandContext& context) {
  std::string report;
  {
    PrinterConnection connection = MakeConnection(context);
    if (FetchReportFlow(connection, report) != FlowOutcome::kSuccess) return kExitFailed;
  }
  // A report cut short by a cancel is not handed on.
  if (context.progress.IsCancelled()) return kExitFailed;
  if (!context.invocation.file.empty() && context.invocation.file != kStdoutName) {
    PathChooser chooser(context.invocation.file);
    return ExitStatusFor(SaveReportFlow(report, chooser, context.messages));
  }
  // On a terminal the printer's control bytes are shown, not obeyed; redirected, they stay.
  if (context.out == stdout && StdoutIsTerminal()) report = MakeControlsVisible(report);
  if (!WriteAll(context.out, report, context.messages)) return kExitFailed;
  // The JSON object that follows the report's bytes starts on a line of its own.
  if (context.invocation.json && !report.empty() && report.back() != '\n' &&
      !WriteAll(context.out, "\n", context.messages)) {
    return kExitFailed;
  }
  return kExitSuccess;
}

int RunOnHost(const FleetJob& job, const std::string& host, PrinterConnection& connection,
              const Trace& /*trace*/, HostResult& result) {
  std::string report;
  if (FetchReportFlow(connection, report) != FlowOutcome::kSuccess) return kExitFailed;
  // A report cut short by a cancel is not handed on.
  if (connection.progress().IsCancelled()) return kExitFailed;
  if (job.output.empty()) {
    result.report = std::move(report);
    return kExitSuccess;
  }
  PathChooser chooser(ExpandHostPath(job.output, host));
  return ExitStatusFor(SaveReportFlow(report, chooser, connection.messages()));
}

}  // namespace

extern const CommandEntry kReportCommand{
    .id = Command::kReport,
    .operation = Operation::kGetReport,
    .summary = "Fetch the status report; its bytes to FILE (replaced atomically) or to stdout",
    .brief = "fetch the status report; its bytes to FILE, or to stdout (also with -o -)",
    .man = R"(Fetch the status report.
Its bytes go to \fIFILE\fR (replaced atomically: the old file stays if writing fails) or,
without \fB\-o\fR or with \fB\-o \-\fR, exactly as received to standard output; on a
terminal, control characters are shown visibly (\fB^[\fR for escape) instead of being obeyed.
)",
    .reach = Reach::kPrinter,
    .bind = Bind,
    .run_printer = Run,
    .fleet_prepare = PrepareFleetOutput,
    .fleet_run = RunOnHost,
};

}  // namespace tavi::cli
