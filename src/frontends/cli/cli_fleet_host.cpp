#include "frontends/cli/cli_fleet_host.h"

#include <memory>

#include "core/connection/printer_connection.h"
#include "core/resources/constants.h"
#include "core/resources/strings.h"
#include "core/trace/trace_sinks.h"
#include "frontends/cli/cli_hosts.h"
#include "frontends/cli/cli_json.h"
#include "frontends/cli/cli_outcome.h"
#include "frontends/cli/cli_registry.h"
#include "frontends/cli/cli_seams.h"
#include "frontends/cli/cli_texts.h"
#include "os/terminal.h"

namespace tavi::cli {
namespace {

// The details as lines joined with "\n", whatever line ends they came with.
std::string JoinedLines(std::string_view details) {
  std::string out;
  while (!details.empty()) {
    const std::size_t end = details.find_first_of("\r\n");
    const std::string_view line = details.substr(0, end);
    if (!line.empty()) {
      if (!out.empty()) out += '\n';
      out += line;
    }
    if (end == std::string_view::npos) break;
    details.remove_prefix(end + 1);
  }
  return out;
}

// A host's trace lines on the shared -v stream.
class HostLinesSink final : public TraceSink {
 public:
  HostLinesSink(SharedLines& lines, const std::string& host) : lines_(lines), lead_(host + ": ") {}
  void WriteLine(std::string_view line, bool) override {
    std::string text = lead_;
    text += line;
    lines_.Write(text);
  }

 private:
  SharedLines& lines_;
  std::string lead_;
};

}  // namespace

int PrepareFleetOutput(const Invocation& invocation, std::size_t host_count, CliMessages& say,
                       FleetJob& job) {
  // One path for all would keep only the last printer's file.
  if (host_count > 1 && !HasHostPlaceholder(invocation.file)) {
    say.ShowText(kTextFleetNeedsPath);
    return kExitUsage;
  }
  job.output = invocation.file;
  return kExitSuccess;
}

void SharedLines::Write(std::string_view line) {
  const std::lock_guard lock(mutex_);
  (void)WriteText(stream_, std::string(line) + "\n");
  std::fflush(stream_);
}

void HostMessages::NoteCancelled(int id, std::string_view details) {
  std::string all(details);
  if (failed_by_note_) {
    if (!details_.empty()) all += "\n" + details_;
    failed_ = false;
  }
  const bool had_failure = failed_;
  ShowMessage(id, all);
  failed_by_note_ = !had_failure && failed_;
}

void HostMessages::ShowMessage(int id, std::string_view details) {
  if (id == kIdsDone) done_ = true;
  if (id == kIdsUpgradeCancelled) {
    upgrade_cut_ = true;
    return;
  }
  if (IsSuccessMessage(id) || failed_) return;
  failed_ = true;
  id_ = id;
  text_ = std::string(LoadString(id));
  if (text_.empty()) text_ = "Message " + std::to_string(id) + ".";
  details_ = JoinedLines(details);
}

void HostMessages::ShowFileError(const FileError& error) {
  if (failed_) return;
  failed_ = true;
  text_ = FileErrorText(error);
}

void HostMessages::TakeFailure(HostResult& result) {
  result.message_id = id_;
  result.message = std::move(text_);
  result.details = std::move(details_);
}

HostResult RunHost(const FleetJob& job, const std::string& host,
                   const std::function<bool()>& interrupted, SharedLines* verbose) {
  SteadyClock steady;
  const std::int64_t start = steady.NowMs();
  HostResult result;

  // The host's own trace: its file ("{host}" in the path) and its lines on the -v stream.
  std::unique_ptr<TraceFile> file;
  if (!job.trace_file.empty()) {
    const std::string path = ExpandHostPath(job.trace_file, host);
    FileError error;
    std::vector<std::string> own_files = job.own_files;
    if (!job.output.empty()) own_files.push_back(ExpandHostPath(job.output, host));
    file = TraceFile::Create(path, kTraceFileLimit, error, own_files);
    if (!file) {
      // Nothing was sent: the printer is not contacted without the trace asked for.
      result.outcome = HostOutcome::kFailed;
      result.exit_status = kExitFailed;
      result.message = FileErrorText(error);
      return result;
    }
  }
  std::optional<HostLinesSink> lines;
  if (verbose != nullptr) lines.emplace(*verbose, host);
  TraceTee both(file.get(), lines ? &*lines : nullptr);
  const Trace trace = file || lines ? Trace(both, steady) : Trace();
  if (trace.on()) {
    trace.Event("run", "tavi-cli " + std::string(ProductVersion()) + " " +
                           std::string(CommandName(job.command)) + ", port network, host '" + host +
                           "', family " + std::to_string(job.settings.FamilyNumber()));
  }

  CancelSource source(interrupted, steady, job.timeout_ms > 0 ? start + job.timeout_ms : -1);
  CliClock clock(&source);
  CliProgress progress(source, /*bar=*/nullptr);
  HostMessages messages;

  PortSettings settings = job.settings;
  settings.port = kPortNetwork;
  settings.hosts = {host};
  settings.host_sel = 0;

  {
    PrinterConnection connection(std::move(settings), progress, messages, clock,
                                 DefaultChannelFactory(job.ports), trace);
    result.exit_status = FindCommand(job.command)->fleet_run(job, host, connection, trace, result);
  }
  result.duration_ms = steady.NowMs() - start;

  // A cancelled exchange ends as such, whatever the operation made of the cancel.
  switch (source.observed()) {
    case CancelReason::kInterrupted:
      trace.Event("run", "Cancel: interrupted (SIGINT)");
      result.outcome = HostOutcome::kInterrupted;
      result.exit_status = kExitInterrupted;
      break;
    case CancelReason::kTimedOut:
      trace.Event("run", "Cancel: --timeout ran out");
      result.outcome = HostOutcome::kTimedOut;
      result.exit_status = kExitTimedOut;
      break;
    case CancelReason::kNone:
      result.outcome =
          result.exit_status == kExitSuccess ? HostOutcome::kDone : HostOutcome::kFailed;
      break;
  }
  result.done_shown = messages.done();
  result.upgrade_cut = messages.upgrade_cut();
  if (result.outcome != HostOutcome::kDone) messages.TakeFailure(result);
  trace.Outcome("outcome: " + OutcomeName(result.exit_status) + " (exit " +
                std::to_string(result.exit_status) + ") after " +
                std::to_string(result.duration_ms) + " ms: " + ResultText(result));
  return result;
}

std::string ResultText(const HostResult& result) {
  std::string text;
  switch (result.outcome) {
    case HostOutcome::kDone:
      return std::string(LoadString(kIdsDone));
    case HostOutcome::kNotStarted:
      return std::string(kTextNotStarted);
    case HostOutcome::kInterrupted:
      // The cancelled step's details are not news after Ctrl-C; a cut upgrade is.
      if (!result.upgrade_cut) return std::string(kTextInterrupted);
      return std::string(kTextInterrupted) + " " + std::string(LoadString(kIdsUpgradeCancelled));
    case HostOutcome::kTimedOut:
      text = kTextTimedOut;
      break;
    case HostOutcome::kFailed:
      text = result.message.empty() ? std::string(kTextFailed) : result.message;
      break;
  }
  // What was waiting when the time ran out, or why the step failed, on the same line.
  std::string lines = result.details;
  if (result.upgrade_cut) {
    if (!lines.empty()) lines += '\n';
    lines += LoadString(kIdsUpgradeCancelled);
  }
  std::string_view details = lines;
  const char* separator = " ";
  while (!details.empty()) {
    const std::size_t end = details.find('\n');
    text += separator;
    text += details.substr(0, end);
    separator = "; ";
    if (end == std::string_view::npos) break;
    details.remove_prefix(end + 1);
  }
  return text;
}

}  // namespace tavi::cli
