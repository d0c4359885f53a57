// The table of tavi-cli's commands. Each command's file holds its whole binding (its operation,
// whose catalogue row gives its names; summary, options and arguments, whether it needs a
// printer, its run function, how it runs across several hosts); the parser, --help, the dispatch,
// --hosts, the man page's command list and shell completion are all made from this table.
#pragma once

#include <cstdio>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "core/operations/catalogue.h"
#include "frontends/cli/cli_args.h"

namespace CLI {
class App;
}

namespace tavi {
class PrinterConnection;
class Trace;
}  // namespace tavi

namespace tavi::cli {

struct CommandContext;
struct CommandResult;
struct FleetJob;
struct HostResult;
class CliMessages;

enum class Reach {
  kPrinter,    // reaches a printer: settings, the deadline, SIGINT; runs with --hosts
  kOffline,    // needs no printer and cannot be cancelled
  kOwnOutput,  // writes its own text or JSON (discover)
  kJournal,    // reads the service journal and writes its own output (history); no record
};

struct CommandEntry {
  Command id = Command::kNone;
  Operation operation = Operation::kGetReport;  // its names: the operations' catalogue
  std::string_view summary;  // the command's line in --help and the head of its own --help
  std::string_view brief;    // the shorter description in the command list of --help
  std::string_view man;      // the man page's text for the command (roff)
  Reach reach = Reach::kPrinter;
  // Adds the command's options and arguments, bound to `out`.
  void (*bind)(CLI::App& command, Invocation& out) = nullptr;
  // One of these, after `reach`.
  int (*run_printer)(const CommandContext& context) = nullptr;
  int (*run_offline)(const Invocation& invocation, std::FILE* out, CliMessages& messages,
                     CommandResult& result) = nullptr;
  int (*run_own)(const Invocation& invocation, std::FILE* out, std::FILE* err) = nullptr;

  // Across several hosts (--hosts); a command without `fleet_run` does not run so.
  // Checks the command's arguments and reads its inputs once, before any printer is contacted:
  // kExitSuccess with `job` filled, else the exit status (the reason said). Null: nothing to do.
  int (*fleet_prepare)(const Invocation& invocation, std::size_t host_count, CliMessages& say,
                       FleetJob& job) = nullptr;
  // One host's exchange; the exit status as one run gives it.
  int (*fleet_run)(const FleetJob& job, const std::string& host, PrinterConnection& connection,
                   const Trace& trace, HostResult& result) = nullptr;
  // It changes the printer: across several hosts it asks to be confirmed.
  bool changes_printer = false;

  // As typed: "report", "params decode".
  [[nodiscard]] constexpr std::string_view name() const { return NamesOf(operation).command; }
  // The "command" member of the --json object.
  [[nodiscard]] constexpr std::string_view json_name() const { return NamesOf(operation).json; }
};

#define TAVI_CLI_COMMAND(Name) extern const CommandEntry k##Name##Command;
#include "frontends/cli/commands/commands.def"
#undef TAVI_CLI_COMMAND

// Every command, each once, in the order of commands.def.
[[nodiscard]] std::span<const CommandEntry* const> Commands();
// The command with this id; nullptr for Command::kNone.
[[nodiscard]] const CommandEntry* FindCommand(Command id);

// "--hosts works with a, b and c.": the commands that run across several hosts.
[[nodiscard]] std::string FleetCommandsText();

// Adds every command of the table to `app`, bound to `out` (a name with a space becomes a
// command under a group: "params", then "decode"), and the command list to its --help.
void AddCommands(CLI::App& app, Invocation& out);

// What the build makes from the command line: the shell completion scripts, and the roff of
// the man page's command list.
[[nodiscard]] std::string BashCompletion(const CLI::App& app);

// The command line as completion offers it, read from the parser that `AddCommands` filled.
enum class ValueKind { kNone, kAny, kPath, kHosts, kChoices };
struct CompletionOption {
  std::vector<std::string> names;  // "-o", "--output"
  ValueKind value = ValueKind::kNone;
  std::vector<std::string> choices;  // kChoices
  std::string description;
};
struct CompletionCommand {
  std::string name;                       // "report", "params decode"
  std::string summary;                    // its line in --help
  std::vector<CompletionOption> options;  // its own, without the program's
  bool files = false;                     // its arguments name files
};
struct CommandLine {
  std::vector<CompletionOption> global;  // the program's options; they also follow a command
  std::vector<std::pair<std::string, std::string>> groups;  // word, summary: "params"
  std::vector<CompletionCommand> commands;                  // in the table's order
};
[[nodiscard]] CommandLine DescribeCommandLine(const CLI::App& app);
[[nodiscard]] std::string ZshCompletion(const CommandLine& line);
[[nodiscard]] std::string FishCompletion(const CommandLine& line);

[[nodiscard]] std::string ManCommandList(const CLI::App& app);
// The command list of --help: each command with its arguments and brief description.
[[nodiscard]] std::string HelpCommandList(const CLI::App& app);

}  // namespace tavi::cli
