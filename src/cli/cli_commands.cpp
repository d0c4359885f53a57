#include "cli/cli_commands.h"

#include <cerrno>
#include <cstring>
#include <string>

#include "cli/cli_outcome.h"
#include "cli/cli_texts.h"
#include "config/restart.h"
#include "connection/printer_connection.h"
#include "files/maintenance_flows.h"
#include "protocol/operations.h"

namespace tavi::cli {
namespace {}  // namespace

PrinterConnection MakeConnection(const CommandContext& context) {
  return PrinterConnection(context.settings, context.progress, context.messages, context.clock,
                           DefaultChannelFactory(context.ports), context.trace);
}

namespace {

// Writes all of `bytes` to `out`; false (with the error shown) when the stream refuses them.
bool WriteAll(std::FILE* out, std::string_view bytes, CliMessages& messages) {
  errno = 0;
  const std::size_t written = std::fwrite(bytes.data(), 1, bytes.size(), out);
  if (written == bytes.size() && std::fflush(out) == 0) return true;
  const int error_number = errno;
  FileError error;
  error.op = FileError::Op::kWrite;
  error.path = "standard output";
  error.error_number = error_number;
  error.cause = error_number != 0 ? std::strerror(error_number) : "write failed";
  messages.ShowFileError(error);
  return false;
}

}  // namespace

int RunReport(const CommandContext& context) {
  std::string report;
  {
    PrinterConnection connection = MakeConnection(context);
    if (!GetReport(connection, report)) return kExitFailed;
  }
  // A report cut short by a cancel is not handed on.
  if (context.progress.IsCancelled()) return kExitFailed;
  if (!context.invocation.file.empty() && context.invocation.file != kStdoutName) {
    PathChooser chooser(context.invocation.file);
    return ExitStatusFor(SaveReportFlow(report, chooser, context.messages));
  }
  if (!WriteAll(context.out, report, context.messages)) return kExitFailed;
  // The JSON object that follows the report's bytes starts on a line of its own.
  if (context.invocation.json && !report.empty() && report.back() != '\n' &&
      !WriteAll(context.out, "\n", context.messages)) {
    return kExitFailed;
  }
  return kExitSuccess;
}

int RunGetParams(const CommandContext& context) {
  PrinterConnection connection = MakeConnection(context);
  PathChooser chooser(context.invocation.file);
  return ExitStatusFor(GetParametersFlow(connection, chooser));
}

int RunPutParams(const CommandContext& context) {
  PrinterConnection connection = MakeConnection(context);
  PathChooser chooser(context.invocation.file);
  return ExitStatusFor(PutParametersFlow(connection, chooser, /*all=*/false));
}

int RunFirmware(const CommandContext& context) {
  PrinterConnection connection = MakeConnection(context);
  PathChooser chooser(context.invocation.file);
  return ExitStatusFor(FirmwareUpgradeFlow(connection, chooser));
}

int RunRestart(const CommandContext& context) {
  std::string host;
  if (context.invocation.host.has_value()) {
    host = *context.invocation.host;
  } else {
    const auto& hosts = context.settings.hosts;
    const std::int32_t sel = context.settings.host_sel;
    if (sel >= 0 && static_cast<std::size_t>(sel) < hosts.size()) host = hosts[sel];
  }
  if (host.empty()) {
    context.messages.ShowText(kTextNoHost);
    return kExitUsage;
  }
  TracedClock clock(context.clock, context.trace);
  return RestartPrinter(host, context.progress, context.messages, clock, context.ports.snmp,
                        context.trace)
             ? kExitSuccess
             : kExitFailed;
}

}  // namespace tavi::cli
