#include "cli/cli_fleet_host.h"

#include "cli/cli_hosts.h"
#include "cli/cli_outcome.h"
#include "cli/cli_seams.h"
#include "cli/cli_texts.h"
#include "config/restart.h"
#include "connection/printer_connection.h"
#include "files/maintenance_flows.h"
#include "protocol/operations.h"
#include "resources/strings.h"

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

// The command's exchange with the printer; the exit status as one run gives it.
int Exchange(const FleetJob& job, const std::string& host, PrinterConnection& connection,
             HostResult& result) {
  ProgressDialog& progress = connection.progress();
  Messages& messages = connection.messages();
  switch (job.command) {
    case Command::kReport: {
      std::string report;
      if (!GetReport(connection, report)) return kExitFailed;
      // A report cut short by a cancel is not handed on.
      if (progress.IsCancelled()) return kExitFailed;
      if (job.output.empty()) {
        result.report = std::move(report);
        return kExitSuccess;
      }
      PathChooser chooser(ExpandHostPath(job.output, host));
      return ExitStatusFor(SaveReportFlow(report, chooser, messages));
    }
    case Command::kGetParams: {
      PathChooser chooser(ExpandHostPath(job.output, host));
      return ExitStatusFor(GetParametersFlow(connection, chooser));
    }
    case Command::kPutParams:
      return PutParameters(connection, job.image, /*all=*/false) ? kExitSuccess : kExitFailed;
    case Command::kSetHeadRank:
      return SetHeadRank(connection, job.head_index, job.head_rank) ? kExitSuccess : kExitFailed;
    case Command::kFirmware:
      return UpgradeFirmware(connection, job.image) ? kExitSuccess : kExitFailed;
    case Command::kRestart:
      return RestartPrinter(host, progress, messages, connection.clock(), job.ports.snmp)
                 ? kExitSuccess
                 : kExitFailed;
    default:
      return kExitUsage;
  }
}

}  // namespace

void HostMessages::ShowMessage(int id, std::string_view details) {
  if (id == kIdsDone || failed_) return;
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
                   const std::function<bool()>& interrupted) {
  SteadyClock steady;
  const std::int64_t start = steady.NowMs();
  CancelSource source(interrupted, steady, job.timeout_ms > 0 ? start + job.timeout_ms : -1);
  CliClock clock(&source);
  CliProgress progress(source, /*bar=*/nullptr);
  HostMessages messages;

  PortSettings settings = job.settings;
  settings.port = kPortNetwork;
  settings.hosts = {host};
  settings.host_sel = 0;

  HostResult result;
  {
    PrinterConnection connection(std::move(settings), progress, messages, clock,
                                 DefaultChannelFactory(job.ports));
    result.exit_status = Exchange(job, host, connection, result);
  }
  result.duration_ms = steady.NowMs() - start;

  // A cancelled exchange ends as such, whatever the operation made of the cancel.
  switch (source.observed()) {
    case CancelReason::kInterrupted:
      result.outcome = HostOutcome::kInterrupted;
      result.exit_status = kExitInterrupted;
      break;
    case CancelReason::kTimedOut:
      result.outcome = HostOutcome::kTimedOut;
      result.exit_status = kExitTimedOut;
      break;
    case CancelReason::kNone:
      result.outcome =
          result.exit_status == kExitSuccess ? HostOutcome::kDone : HostOutcome::kFailed;
      break;
  }
  if (result.outcome != HostOutcome::kDone) messages.TakeFailure(result);
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
      return std::string(kTextInterrupted);
    case HostOutcome::kTimedOut:
      text = kTextTimedOut;
      break;
    case HostOutcome::kFailed:
      text = result.message.empty() ? std::string(kTextFailed) : result.message;
      break;
  }
  // What was waiting when the time ran out, or why the step failed, on the same line.
  std::string_view details = result.details;
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

bool ChangesPrinter(Command command) {
  return command == Command::kPutParams || command == Command::kSetHeadRank ||
         command == Command::kFirmware || command == Command::kRestart;
}

}  // namespace tavi::cli
