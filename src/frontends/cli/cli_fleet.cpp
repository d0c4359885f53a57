#include "frontends/cli/cli_fleet.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <condition_variable>
#include <cstdio>
#include <iostream>
#include <mutex>
#include <thread>

#include "core/resources/strings.h"
#include "core/ui/terminal_text.h"
#include "frontends/cli/cli_commands.h"
#include "frontends/cli/cli_fleet_host.h"
#include "frontends/cli/cli_hosts.h"
#include "frontends/cli/cli_journal.h"
#include "frontends/cli/cli_json.h"
#include "frontends/cli/cli_outcome.h"
#include "frontends/cli/cli_registry.h"
#include "frontends/cli/cli_seams.h"
#include "frontends/cli/cli_texts.h"
#include "os/file_io.h"
#include "os/socket_startup.h"
#include "os/terminal.h"

namespace tavi::cli {
namespace {

// Checks the command line and reads the inputs once: 0 with `job` ready, else the exit status
// (the reason shown through `say`).
int PrepareJob(const Invocation& invocation, const PortSettings& settings, std::size_t host_count,
               CliMessages& say, FleetJob& job) {
  const CommandEntry* command = FindCommand(invocation.command);
  if (command == nullptr || command->fleet_run == nullptr) {
    say.ShowText(FleetCommandsText());
    return kExitUsage;
  }
  if (invocation.port.has_value() && *invocation.port != kPortNetwork) {
    say.ShowText(kTextFleetPort);
    return kExitUsage;
  }
  job.command = invocation.command;
  job.settings = settings;
  job.ports = NetworkPorts{invocation.lpd_port, invocation.snmp_port};
  if (invocation.timeout_seconds > 0) {
    job.timeout_ms = std::max<std::int64_t>(1, std::llround(invocation.timeout_seconds * 1000.0));
  }
  // Each printer's trace is its own too.
  if (host_count > 1 && !invocation.trace_file.empty() &&
      !HasHostPlaceholder(invocation.trace_file)) {
    say.ShowText(kTextFleetNeedsPath);
    return kExitUsage;
  }
  job.trace_file = invocation.trace_file;
  job.own_files = CommandFiles(invocation);

  if (command->fleet_prepare == nullptr) return kExitSuccess;
  return command->fleet_prepare(invocation, host_count, say, job);
}

// A changing command across several printers goes ahead only when confirmed: --yes, or "y" typed
// on the terminal.
int Confirm(const Invocation& invocation, const std::vector<std::string>& hosts, CliMessages& say) {
  if (!FindCommand(invocation.command)->changes_printer || hosts.size() < 2 || invocation.yes) {
    return kExitSuccess;
  }
  if (!StdinIsTerminal()) {
    say.ShowText(kTextFleetNeedsYes);
    return kExitUsage;
  }
  std::string question(CommandName(invocation.command));
  question += " on " + std::to_string(hosts.size()) + " printers (" + hosts.front() + " ... " +
              hosts.back() + ")? [y/N] ";
  (void)WriteText(stderr, question);
  std::fflush(stderr);
  std::string answer;
  std::getline(std::cin, answer);
  // A Windows console hands the line over with the Enter key's carriage return (stdin is read
  // as bytes).
  if (!answer.empty() && answer.back() == '\r') answer.pop_back();
  if (answer == "y" || answer == "Y" || answer == "yes" || answer == "YES" || answer == "Yes") {
    return kExitSuccess;
  }
  say.ShowText(kTextFleetDeclined);
  return kExitUsage;
}

// The run's exit status: SIGINT over a time-out over a failure.
int FleetExitStatus(const std::vector<HostResult>& results) {
  int status = kExitSuccess;
  for (const HostResult& result : results) {
    switch (result.outcome) {
      case HostOutcome::kInterrupted:
      case HostOutcome::kNotStarted:
        return kExitInterrupted;
      case HostOutcome::kTimedOut:
        status = kExitTimedOut;
        break;
      case HostOutcome::kFailed:
        if (status == kExitSuccess) status = kExitFailed;
        break;
      case HostOutcome::kDone:
        break;
    }
  }
  return status;
}

// The host's JSON object, with the fields of one run's.
CommandResult JsonResult(const FleetJob& job, const std::string& host, const HostResult& r) {
  CommandResult result;
  result.command = std::string(FindCommand(job.command)->json_name());
  result.port = PortKindName(kPortNetwork);
  result.host = host;
  result.family = job.settings.FamilyNumber();
  result.exit_status = r.exit_status;
  result.duration_ms = r.duration_ms;
  result.details = r.details;
  switch (r.outcome) {
    case HostOutcome::kDone:
      if (r.done_shown) {
        result.message_id = kIdsDone;
        result.message = std::string(LoadString(kIdsDone));
      }
      break;
    case HostOutcome::kFailed:
      result.message_id = r.message_id;
      result.message = r.message;
      break;
    case HostOutcome::kTimedOut:
      result.message = std::string(kTextTimedOut);
      break;
    case HostOutcome::kInterrupted:
      result.message = std::string(kTextInterrupted);
      break;
    case HostOutcome::kNotStarted:
      result.exit_status = kExitInterrupted;
      result.message = std::string(kTextNotStarted);
      break;
  }
  return result;
}

// One host's result: the report's bytes (report without -o, one host), the line on stderr, and
// with --json its object on stdout.
void PrintResult(const FleetJob& job, const std::string& host, bool json, SharedLines& lines,
                 HostResult& result) {
  if (!result.report.empty()) {
    // On a terminal the printer's control bytes are shown, not obeyed.
    if (StdoutIsTerminal()) result.report = MakeControlsVisible(result.report);
    bool written =
        WriteText(stdout, std::string_view(reinterpret_cast<const char*>(result.report.data()),
                                           result.report.size()));
    // The JSON object that follows the report's bytes starts on a line of its own.
    if (written && json && result.report.back() != '\n') written = std::fputc('\n', stdout) != EOF;
    if (!written || std::fflush(stdout) != 0) {
      result.outcome = HostOutcome::kFailed;
      result.exit_status = kExitFailed;
      result.message = "Could not write standard output.";
    }
  }
  lines.Write(host + ": " + ResultText(result));
  if (json && !WriteResultLine(stdout, JsonResult(job, host, result))) {
    result.outcome = HostOutcome::kFailed;
  }
}

// Runs every host, at most `jobs` at once, and prints each result as soon as it and those
// before it are in.
std::vector<HostResult> RunAll(const FleetJob& job, const std::vector<std::string>& hosts,
                               const Invocation& invocation, Journal& journal) {
  const std::function<bool()> interrupted = [] { return InterruptCatcher::Interrupted(); };
  SharedLines lines(stderr);
  SharedLines* verbose = invocation.verbose ? &lines : nullptr;
  std::vector<std::optional<HostResult>> slots(hosts.size());
  std::mutex mutex;
  std::condition_variable done;
  std::atomic<std::size_t> next{0};

  auto worker = [&] {
    for (;;) {
      const std::size_t i = next.fetch_add(1);
      if (i >= hosts.size()) return;
      // After SIGINT no further printer is contacted.
      HostResult result =
          interrupted() ? HostResult{} : RunHost(job, hosts[i], interrupted, verbose);
      // Each host's record is appended as soon as it is over, beside the other hosts' workers.
      std::vector<std::pair<std::string, std::string>> files = JournalFiles(invocation, hosts[i]);
      for (const auto& noted : result.noted_files) files.push_back(noted);
      JournalResult(journal, JsonResult(job, hosts[i], result), files);
      {
        const std::lock_guard lock(mutex);
        slots[i] = std::move(result);
      }
      done.notify_all();
    }
  };

  std::vector<HostResult> results;
  results.reserve(hosts.size());
  {
    std::vector<std::jthread> workers;
    const std::size_t count =
        std::min<std::size_t>(hosts.size(), static_cast<std::size_t>(invocation.jobs));
    for (std::size_t k = 0; k < count; ++k) workers.emplace_back(worker);
    for (std::size_t i = 0; i < hosts.size(); ++i) {
      std::unique_lock lock(mutex);
      done.wait(lock, [&] { return slots[i].has_value(); });
      HostResult result = std::move(*slots[i]);
      lock.unlock();
      PrintResult(job, hosts[i], invocation.json, lines, result);
      results.push_back(std::move(result));
    }
  }
  return results;
}

}  // namespace

int RunFleet(const Invocation& invocation, const PortSettings& settings) {
  // The run's own messages (bad input, the question), before any printer is contacted.
  SteadyClock steady;
  const CancelSource never({}, steady, -1);
  CliMessages say(never, stdout, stderr);

  std::vector<std::string> hosts;
  std::vector<std::string> notes;
  std::string error;
  if (!ParseHostList(*invocation.hosts, hosts, error, &notes)) {
    say.ShowText(error);
    return kExitUsage;
  }
  for (const std::string& note : notes) std::fprintf(stderr, "%s\n", note.c_str());
  FleetJob job;
  if (const int status = PrepareJob(invocation, settings, hosts.size(), say, job);
      status != kExitSuccess) {
    return status;
  }
  if (const int status = Confirm(invocation, hosts, say); status != kExitSuccess) return status;

  InterruptCatcher interrupts;
  if (!StartSocketLayer()) {
    say.ShowMessage(kIdsSocketInitFailed);
    return kExitFailed;
  }
  Journal journal = MakeJournal();
  return FleetExitStatus(RunAll(job, hosts, invocation, journal));
}

}  // namespace tavi::cli
