// One host of a run across several printers: the command's exchange with that printer alone.
#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "core/connection/default_channels.h"
#include "core/settings/port_settings.h"
#include "core/ui/seams.h"
#include "frontends/cli/cli_args.h"

namespace tavi::cli {

class CliMessages;

// What every host runs. Built and checked before the first printer is contacted, then only read
// while the hosts run.
struct FleetJob {
  Command command = Command::kNone;
  PortSettings settings;  // the family and the rest; each host replaces port kind and host list
  NetworkPorts ports;
  std::int64_t timeout_ms = 0;      // each host's own limit from its start; 0: none
  std::string output;               // report -o / get-params FILE, "{host}" in it; "" for report:
                                    // the bytes are kept for standard output
  std::vector<std::uint8_t> image;  // put-params: the parameter image; firmware: the image
  std::string safety_copy_folder;   // put-params: where the safety copies go; "" for none
  bool verify = false;              // put-params --verify
  int head_index = 0;               // set-head-rank: zero-based
  std::string head_rank;            // set-head-rank: the head rank string
  std::string trace_file;           // --trace FILE, "{host}" in it; "" for none
  std::vector<std::string> own_files;  // the command's files, which no trace may be
};

// Where -v sends a host's trace lines: one shared stream, each line whole and led by its host.
// Also used for the result lines, so that no line is cut by another.
class SharedLines {
 public:
  explicit SharedLines(std::FILE* stream) : stream_(stream) {}
  void Write(std::string_view line);

 private:
  std::mutex mutex_;
  std::FILE* stream_;
};

enum class HostOutcome { kDone, kFailed, kTimedOut, kInterrupted, kNotStarted };

struct HostResult {
  HostOutcome outcome = HostOutcome::kNotStarted;
  int exit_status = 0;
  std::optional<int> message_id;  // the string-table id of the failure, if it had one
  std::string message;            // the failure's text ("" when none was shown)
  std::string details;            // the details behind it, lines joined with "\n"
  bool done_shown = false;        // "Done." was the last message (put-params and the like)
  bool upgrade_cut = false;       // a cancel cut a firmware upgrade short (the printer may hold
                                  // part of an image)
  std::string report;             // report without -o: its bytes
  std::int64_t duration_ms = 0;
  // Files the exchange made on its own (a safety copy), each with its role, for the journal.
  std::vector<std::pair<std::string, std::string>> noted_files;
};

// The first failure a host's exchange showed; "Done." is not one.
class HostMessages final : public Messages {
 public:
  void ShowMessage(int id, std::string_view details = {}) override;
  void ShowFileError(const FileError& error) override;
  // A step the time-out ended: its details say what was waiting. A later note (the outer
  // step's) replaces an earlier note, never a failure.
  void NoteCancelled(int id, std::string_view details) override;
  bool failed() const { return failed_; }
  // The note that a cancel cut a firmware upgrade short was given.
  bool upgrade_cut() const { return upgrade_cut_; }
  bool done() const { return done_; }
  // Moves the failure into `result`.
  void TakeFailure(HostResult& result);

 private:
  bool failed_ = false;
  bool failed_by_note_ = false;
  bool done_ = false;
  bool upgrade_cut_ = false;
  std::optional<int> id_;
  std::string text_;
  std::string details_;
};

// Runs `job` against `host` over the network with a connection, cancel source, clock, progress,
// messages and trace of its own. `interrupted` is looked at before every step, as --timeout is.
// `verbose` (null without -v) takes the trace lines, led by the host.
HostResult RunHost(const FleetJob& job, const std::string& host,
                   const std::function<bool()>& interrupted, SharedLines* verbose);

// report -o / get-params FILE across several hosts: each printer's file is its own, so the path
// needs "{host}" (kExitUsage, said through `say`, when it lacks it); `job.output` takes it.
int PrepareFleetOutput(const Invocation& invocation, std::size_t host_count, CliMessages& say,
                       FleetJob& job);

// The result line's text after "host: ": "Done.", the failure and its details on one line,
// "Timed out.", "Interrupted." or "Not started.".
std::string ResultText(const HostResult& result);

}  // namespace tavi::cli
