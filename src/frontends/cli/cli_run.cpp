#include "frontends/cli/cli_run.h"

#include <cmath>
#include <cstdio>
#include <memory>

#include "core/resources/constants.h"
#include "core/resources/strings.h"
#include "core/settings/settings_store.h"
#include "core/trace/trace_sinks.h"
#include "frontends/cli/cli_args.h"
#include "frontends/cli/cli_commands.h"
#include "frontends/cli/cli_fleet.h"
#include "frontends/cli/cli_journal.h"
#include "frontends/cli/cli_json.h"
#include "frontends/cli/cli_registry.h"
#include "frontends/cli/cli_seams.h"
#include "frontends/cli/cli_texts.h"
#include "os/socket_startup.h"
#include "os/terminal.h"

namespace tavi::cli {

PortSettings SettingsFor(const Invocation& invocation) {
  const std::string path =
      invocation.settings_path.empty() ? DefaultSettingsPath() : invocation.settings_path;
  LoadedSettings loaded = LoadSettingsFile(path);
  if (loaded.refused) {
    const std::string text = SettingsRefusedText(*loaded.refused);
    (void)WriteText(stderr, text + "\n");
  }
  PortSettings settings = std::move(loaded.settings);
  if (invocation.port.has_value()) settings.port = *invocation.port;
  if (invocation.host.has_value()) {
    settings.hosts = {*invocation.host};
    settings.host_sel = 0;
  }
  if (invocation.machine_type.has_value()) settings.machine_type = *invocation.machine_type;
  if (invocation.community.has_value()) settings.community = *invocation.community;
  return settings;
}

namespace {

// The message the result reports: the failure if there was one, else the last message ("Done."),
// unless the command set one of its own.
void TakeMessage(const CliMessages& messages, CommandResult& result) {
  if (!result.message.empty()) return;
  const std::optional<ShownMessage>& shown =
      messages.failure() ? messages.failure() : messages.last();
  if (!shown) return;
  result.message_id = shown->id;
  result.message = shown->text;
  result.details = shown->details;
}

// The host the network commands use: --host, else the selected stored host.
std::optional<std::string> NetworkHost(const PortSettings& settings) {
  const std::int32_t sel = settings.host_sel;
  if (sel < 0 || static_cast<std::size_t>(sel) >= settings.hosts.size()) return std::nullopt;
  return settings.hosts[static_cast<std::size_t>(sel)];
}

// The commands that reach a printer: settings, seams, SIGINT and the deadline.
int RunOnline(const Invocation& invocation, const Trace& trace, CommandResult& result) {
  const PortSettings settings = SettingsFor(invocation);
  const bool restart = invocation.command == Command::kRestart;
  result.port = restart ? PortKindName(kPortNetwork) : PortKindName(settings.port);
  result.family = settings.FamilyNumber();
  if (restart || settings.port == kPortNetwork) result.host = NetworkHost(settings);
  if (trace.on()) {
    trace.Event("run", "port " + result.port.value_or("kind " + std::to_string(settings.port)) +
                           (result.host ? ", host '" + *result.host + "'" : std::string()) +
                           ", family " + std::to_string(settings.FamilyNumber()));
  }

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
  messages.set_quiet_done(invocation.json);
  // The trace on stderr leaves no room for a bar.
  const bool bar = !invocation.quiet && !invocation.verbose && StderrIsTerminal();
  CliProgress progress(source, bar ? stderr : nullptr);
  if (bar) progress.set_columns(StderrColumns());
  messages.set_progress(&progress);

  if (!StartSocketLayer()) {
    messages.ShowMessage(kIdsSocketInitFailed);
    TakeMessage(messages, result);
    return kExitFailed;
  }

  const CommandContext context{
      invocation, settings, NetworkPorts{invocation.lpd_port, invocation.snmp_port},
      progress,   messages, clock,
      stdout,     trace,    &result.noted_files};
  const int status = FindCommand(invocation.command)->run_printer(context);

  // A cancelled run ends as such, whatever the operation made of the cancel.
  switch (source.observed()) {
    case CancelReason::kInterrupted:
      trace.Event("run", "Cancel: interrupted (SIGINT)");
      TakeMessage(messages, result);
      return kExitInterrupted;
    case CancelReason::kTimedOut: {
      // What was waiting when the time ran out, in the words of the step that was cut short.
      trace.Event("run", "Cancel: --timeout ran out");
      const std::string details = messages.failure() ? messages.failure()->details : "";
      messages.ShowText(kTextTimedOut, details);
      result.message = kTextTimedOut;
      result.details = details;
      return kExitTimedOut;
    }
    case CancelReason::kNone:
      break;
  }
  TakeMessage(messages, result);
  return status;
}

// The commands that need no printer; they cannot be cancelled.
int RunOffline(const Invocation& invocation, CommandResult& result) {
  SteadyClock steady;
  CancelSource never({}, steady, -1);
  CliMessages messages(never, stdout, stderr);
  const int status =
      FindCommand(invocation.command)->run_offline(invocation, stdout, messages, result);
  TakeMessage(messages, result);
  return status;
}

}  // namespace

int Run(int argc, const char* const* argv) {
  Invocation invocation;
  const ParseResult parsed = ParseArguments(argc, argv, invocation);
  if (!parsed.run) return parsed.exit_status;
  if (invocation.hosts.has_value()) return RunFleet(invocation, SettingsFor(invocation));
  const CommandEntry& command = *FindCommand(invocation.command);
  // The history reads the journal and adds nothing to it.
  if (command.reach == Reach::kJournal) return command.run_own(invocation, stdout, stderr);

  SteadyClock steady;
  const std::int64_t start = steady.NowMs();
  CommandResult result;
  result.command = std::string(command.json_name());
  Journal journal = MakeJournal();
  // Discovery writes its own text or JSON.
  if (command.reach == Reach::kOwnOutput) {
    result.exit_status = command.run_own(invocation, stdout, stderr);
    result.duration_ms = steady.NowMs() - start;
    JournalResult(journal, result, {});
    return result.exit_status;
  }

  std::unique_ptr<TraceFile> file;
  if (!invocation.trace_file.empty()) {
    FileError error;
    file =
        TraceFile::Create(invocation.trace_file, kTraceFileLimit, error, CommandFiles(invocation));
    if (!file) {
      (void)WriteText(stderr, FileErrorText(error) + "\n");
      return kExitUsage;
    }
  }
  TraceStream to_stderr(stderr);
  TraceTee both(file.get(), invocation.verbose ? &to_stderr : nullptr);
  const Trace trace = file || invocation.verbose ? Trace(both, steady) : Trace();
  if (trace.on()) {
    trace.Event("run",
                "tavi-cli " + std::string(ProductVersion()) + " " + std::string(command.name()));
  }

  const bool offline = command.reach == Reach::kOffline;
  const int status =
      offline ? RunOffline(invocation, result) : RunOnline(invocation, trace, result);
  if (trace.on()) {
    std::string outcome = "outcome: " + OutcomeName(status) + " (exit " + std::to_string(status) +
                          ") after " + std::to_string(steady.NowMs() - start) + " ms";
    if (!result.message.empty()) {
      outcome += ": ";
      if (result.message_id) outcome += "message " + std::to_string(*result.message_id) + " ";
      outcome += "\"" + result.message + "\"";
    }
    for (std::string_view line : DetailLines(result.details)) {
      outcome += "; ";
      outcome += line;
    }
    trace.Outcome(outcome);
  }
  result.exit_status = status;
  result.duration_ms = steady.NowMs() - start;
  std::vector<std::pair<std::string, std::string>> files = JournalFiles(invocation, {});
  for (auto& noted : result.noted_files) files.push_back(std::move(noted));
  JournalResult(journal, result, files);
  if (!invocation.json) return status;
  return WriteResultLine(stdout, result) ? status : kExitFailed;
}

}  // namespace tavi::cli
