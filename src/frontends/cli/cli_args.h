// tavi-cli's command line: the options that override the stored settings for one run, and the
// command with its arguments.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tavi::cli {

// Which command runs; its values come from the command table (commands/commands.def).
enum class Command {
  kNone,
#define TAVI_CLI_COMMAND(Name) k##Name,
#include "frontends/cli/commands/commands.def"
#undef TAVI_CLI_COMMAND
};

struct Invocation {
  Command command = Command::kNone;
  // Overrides of the stored settings.
  std::string settings_path;  // empty: the default profile file
  std::optional<std::int32_t> port;
  std::optional<std::string> host;
  std::optional<std::int32_t> machine_type;
  std::optional<std::string> community;  // the SNMP community (never traced)
  std::uint16_t lpd_port = 0;            // 0: the services database, else the well-known port
  std::uint16_t snmp_port = 0;           // likewise
  double timeout_seconds = 0;            // 0: none
  bool quiet = false;
  // Many printers at once: --hosts LIST as given (empty: one printer), --jobs, --yes.
  std::optional<std::string> hosts;
  int jobs = 16;
  bool yes = false;
  bool json = false;       // one JSON object on stdout for the command
  std::string trace_file;  // --trace FILE: the wire trace to FILE
  bool verbose = false;    // -v: the wire trace on stderr
  // Command arguments.
  std::string file;       // report -o, get-params, put-params, firmware, params decode/encode FILE
  bool verify = false;    // put-params --verify
  std::string file_b;     // params diff: the second file (the first is `file`)
  bool raw_a = false;     // params diff --raw-a: the first file is a raw block
  bool raw_b = false;     // params diff --raw-b: the second file is a raw block
  std::string output;     // params decode -o BLOCK
  std::string block;      // params encode BLOCK
  int head = 0;           // set-head-rank HEAD (1..8)
  std::string rank;       // set-head-rank RANK
  std::string rank_file;  // set-head-rank --file F
  std::vector<std::string> targets;     // discover TARGET...
  double discover_timeout_seconds = 0;  // discover --timeout; 0: until the sweep ends
  bool discover_all = false;            // discover --all
  bool safety_copy = false;             // put-params --safety-copy
  std::string operation_filter;         // history --operation
  std::string since;                    // history --since (UTC)
  std::string until;                    // history --until (UTC)
};

struct ParseResult {
  bool run = false;  // false: end now with `exit_status` (help shown, or a usage error)
  int exit_status = 0;
};

// The command's name as typed: "report", "get-params", ..., "params decode", "ports".
std::string_view CommandName(Command command);

// Every file the command names and may read or write: its FILE arguments, the settings file
// (the default one when none is given) and a host file ("@FILE"). A trace must be none of them.
std::vector<std::string> CommandFiles(const Invocation& invocation);

// Parses the command line. Help and usage errors are written to stdout/stderr here.
ParseResult ParseArguments(int argc, const char* const* argv, Invocation& out);

}  // namespace tavi::cli
