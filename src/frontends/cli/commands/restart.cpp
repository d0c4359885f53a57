// restart: an SNMP set request to a networked printer, then the wait while it restarts.
#include <CLI/CLI.hpp>

#include "core/connection/printer_connection.h"
#include "core/operations/restart.h"
#include "frontends/cli/cli_commands.h"
#include "frontends/cli/cli_fleet_host.h"
#include "frontends/cli/cli_registry.h"
#include "frontends/cli/cli_texts.h"

namespace tavi::cli {
namespace {

void Bind(CLI::App& /*command*/, Invocation& /*out*/) {}

int Run(const CommandContext& context) {
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
                        context.trace, context.settings.community)
             ? kExitSuccess
             : kExitFailed;
}

int RunOnHost(const FleetJob& job, const std::string& host, PrinterConnection& connection,
              const Trace& trace, HostResult& /*result*/) {
  return RestartPrinter(host, connection.progress(), connection.messages(), connection.clock(),
                        job.ports.snmp, trace, job.settings.community)
             ? kExitSuccess
             : kExitFailed;
}

}  // namespace

extern const CommandEntry kRestartCommand{
    .id = Command::kRestart,
    .operation = Operation::kRestart,
    .summary = "Restart a networked printer (SNMP set, then a 6-second wait)",
    .brief = "restart a networked printer (SNMP set, 6-second wait)",
    .man =
        R"(Restart a networked printer: one SNMP set request to the host given with \fB\-\-host\fR or
selected in the settings, then a six-second wait.
Prints nothing on success.
)",
    .reach = Reach::kPrinter,
    .bind = Bind,
    .run_printer = Run,
    .fleet_run = RunOnHost,
    .changes_printer = true,
};

}  // namespace tavi::cli
