#include "cli/cli_run.h"

#include <cmath>
#include <cstdio>

#include "cli/cli_args.h"
#include "cli/cli_commands.h"
#include "cli/cli_discover.h"
#include "cli/cli_fleet.h"
#include "cli/cli_offline.h"
#include "cli/cli_seams.h"
#include "cli/cli_texts.h"
#include "config/settings_store.h"
#include "platform/socket_startup.h"
#include "platform/terminal.h"
#include "resources/strings.h"

namespace tavi::cli {

PortSettings SettingsFor(const Invocation& invocation) {
  const std::string path =
      invocation.settings_path.empty() ? DefaultSettingsPath() : invocation.settings_path;
  LoadedSettings loaded = LoadSettingsFile(path);
  if (loaded.refused) {
    const std::string text = SettingsRefusedText(*loaded.refused);
    std::fprintf(stderr, "%s\n", text.c_str());
  }
  PortSettings settings = std::move(loaded.settings);
  if (invocation.port.has_value()) settings.port = *invocation.port;
  if (invocation.host.has_value()) {
    settings.hosts = {*invocation.host};
    settings.host_sel = 0;
  }
  if (invocation.machine_type.has_value()) settings.machine_type = *invocation.machine_type;
  return settings;
}

namespace {

int Dispatch(const CommandContext& context) {
  switch (context.invocation.command) {
    case Command::kReport:
      return RunReport(context);
    case Command::kGetParams:
      return RunGetParams(context);
    case Command::kPutParams:
      return RunPutParams(context);
    case Command::kSetHeadRank:
      return RunSetHeadRank(context);
    case Command::kFirmware:
      return RunFirmware(context);
    case Command::kRestart:
      return RunRestart(context);
    default:
      return kExitUsage;
  }
}

// The commands that reach a printer: settings, seams, SIGINT and the deadline.
int RunOnline(const Invocation& invocation) {
  const PortSettings settings = SettingsFor(invocation);

  InterruptCatcher interrupts;
  SteadyClock steady;
  std::int64_t deadline = -1;
  if (invocation.timeout_seconds > 0) {
    deadline = steady.NowMs() +
               std::max<std::int64_t>(1, std::llround(invocation.timeout_seconds * 1000.0));
  }
  CancelSource source([] { return InterruptCatcher::Interrupted(); }, steady, deadline);
  CliClock clock(&source);
  CliMessages messages(source, stdout, stderr);
  CliProgress progress(source, !invocation.quiet && StderrIsTerminal() ? stderr : nullptr);
  messages.set_progress(&progress);

  if (!StartSocketLayer()) {
    messages.ShowMessage(kIdsSocketInitFailed);
    return kExitFailed;
  }

  const CommandContext context{
      invocation, settings, NetworkPorts{invocation.lpd_port, invocation.snmp_port},
      progress,   messages, clock,
      stdout};
  const int status = Dispatch(context);

  // A cancelled run ends as such, whatever the operation made of the cancel.
  switch (source.observed()) {
    case CancelReason::kInterrupted:
      return kExitInterrupted;
    case CancelReason::kTimedOut:
      messages.ShowText(kTextTimedOut);
      return kExitTimedOut;
    case CancelReason::kNone:
      break;
  }
  return status;
}

}  // namespace

int Run(int argc, const char* const* argv) {
  Invocation invocation;
  const ParseResult parsed = ParseArguments(argc, argv, invocation);
  if (!parsed.run) return parsed.exit_status;
  if (invocation.hosts.has_value()) return RunFleet(invocation, SettingsFor(invocation));
  switch (invocation.command) {
    case Command::kParamsDecode:
      return RunParamsDecode(invocation, stdout, stderr);
    case Command::kParamsEncode:
      return RunParamsEncode(invocation, stderr);
    case Command::kPorts:
      return RunPorts(stdout, stderr);
    case Command::kDiscover:
      return RunDiscover(invocation, stdout, stderr);
    default:
      return RunOnline(invocation);
  }
}

}  // namespace tavi::cli
