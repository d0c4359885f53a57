#include "frontends/cli/cli_args.h"

#include <CLI/CLI.hpp>
#include <iostream>
#include <map>
#include <span>
#include <sstream>

#include "core/resources/constants.h"
#include "core/settings/port_settings.h"
#include "frontends/cli/cli_registry.h"
#include "frontends/cli/cli_texts.h"
#include "os/settings_location.h"
#include "os/terminal.h"

namespace tavi::cli {
namespace {

// What --help says after the command list.
constexpr std::string_view kFooterNotes =
    "'tavi-cli COMMAND --help' describes one command.\n"
    "With --hosts, every printer command runs on each host at once, for example\n"
    "  tavi-cli --hosts @floor.txt get-params 'backup/{host}.prm'\n\n"
    "Exit status: 0 success; 1 the operation failed (its message on stderr); 2 usage error or\n"
    "unusable input; 3 timed out (--timeout); 4 put-params --verify read back a different\n"
    "block; 130 interrupted by SIGINT, which acts like the Cancel button. 'params diff' exits\n"
    "like cmp: 0 equal, 1 different, 2 trouble. With --hosts: 0 when every host succeeded, else "
    "130, 3 or 1, in that\n"
    "order. The options override the stored settings for this run only; tavi-cli never writes\n"
    "the settings file.";

// The texts the build makes from the command line, asked for with an option --help does not
// show: "--print-completion bash|zsh|fish" and "--print-man-commands".
enum class Print { kNone, kBash, kZsh, kFish, kManCommands };

Print PrintRequest(int argc, const char* const* argv) {
  const std::span<const char* const> args(argv, static_cast<std::size_t>(argc));
  if (args.size() == 3 && std::string_view(args[1]) == "--print-completion") {
    const std::string_view shell = args[2];
    if (shell == "bash") return Print::kBash;
    if (shell == "zsh") return Print::kZsh;
    if (shell == "fish") return Print::kFish;
  }
  if (args.size() == 2 && std::string_view(args[1]) == "--print-man-commands") {
    return Print::kManCommands;
  }
  return Print::kNone;
}

}  // namespace

std::string_view CommandName(Command command) {
  const CommandEntry* entry = FindCommand(command);
  return entry != nullptr ? entry->name() : std::string_view();
}

ParseResult ParseArguments(int argc, const char* const* argv, Invocation& out) {
  CLI::App app{"Maintenance of wide-format inkjet printers over parallel, USB or network.",
               "tavi-cli"};
  // The same options on every system: "/tmp/x" or "/h" is an argument, never a Windows-style
  // option (CLI11's default on Windows), so paths that start with a slash reach the commands.
  app.allow_windows_style_options(false);
  app.set_version_flag("--version", "tavi-cli " + std::string(ProductVersion()));
  app.require_subcommand(1);
  app.fallthrough();

  std::string port_text;
  std::string host;
  int type = 0;
  app.add_option("--settings", out.settings_path, "Profile file to read instead of the default one")
      ->type_name("FILE")
      ->check(CLI::Validator(CLI::ExistingFile).description(""));
  auto* port_opt = app.add_option("--port", port_text, "Port kind: parallel, network or usb")
                       ->type_name("KIND")
                       ->check(CLI::IsMember({"parallel", "network", "usb"}));
  auto* host_opt =
      app.add_option("--host", host,
                     "Network host: a name, a dotted IPv4 or an IPv6 address (becomes the only, "
                     "selected host; "
                     "does not change the port kind)")
          ->type_name("HOST");
  auto* type_opt = app.add_option("--type", type,
                                  "Printer family: 1 = Type1 (access code A), 2 = Type2 "
                                  "(access code B)")
                       ->type_name("1|2")
                       ->check(CLI::IsMember({1, 2}));
  std::string community;
  auto* community_opt =
      app.add_option("--community", community,
                     "SNMP community of every request to a networked printer (default: the "
                     "stored one, else \"public\"); never written to a trace")
          ->type_name("TEXT")
          ->check(CLI::Validator(
              [](const std::string& text) { return CommunityFault(text).value_or(""); }, "",
              "community"));
  app.add_option("--lpd-port", out.lpd_port,
                 "TCP port of the LPD service (default: service \"printer\", else 515)")
      ->type_name("N")
      ->check(CLI::Range(1, 65535));
  app.add_option("--snmp-port", out.snmp_port,
                 "UDP port of the SNMP agent (default: service \"snmp\", else 161)")
      ->type_name("N")
      ->check(CLI::Range(1, 65535));
  app.add_option("--timeout", out.timeout_seconds,
                 "Cancel the operation after this long: exit status 3, \"Timed out.\"")
      ->type_name("SECONDS")
      ->check(CLI::PositiveNumber);
  app.add_flag("-q,--quiet", out.quiet, "No progress output");
  std::string hosts;
  auto* hosts_opt =
      app.add_option(
             "--hosts", hosts,
             "Run the command on every host of LIST at once: comma-separated hosts, or @FILE "
             "(one host a line, # comments, or the JSON of 'discover --json'); output paths "
             "take {host}; one result line per host on stderr")
          ->type_name("LIST")
          ->excludes(host_opt);
  app.add_option("--jobs", out.jobs, "With --hosts: at most N printers at once (default 16)")
      ->type_name("N")
      ->check(CLI::Range(1, 1024));
  app.add_flag("-y,--yes", out.yes,
               "With --hosts: change several printers (put-params, set-head-rank, firmware, "
               "restart) without asking");
  app.add_option("--trace", out.trace_file,
                 "Write a wire trace to FILE (at most 16 MiB): every look-up, connect, data file, "
                 "acknowledgement, SNMP datagram, device write, wait and the outcome, with "
                 "milliseconds since the start; access codes are never written")
      ->type_name("FILE");
  app.add_flag("-v,--verbose", out.verbose, "The wire trace on stderr (no progress bar)");
  app.add_flag("--json", out.json,
               "Print one JSON object for the command on stdout (after the report's bytes when "
               "they go there): command, port, host, outcome, exit_status, message_id, message, "
               "details, duration_ms; \"ports\" lists the ports and devices");

  AddCommands(app, out);
  app.footer(HelpCommandList(app) + std::string(kFooterNotes));

  switch (PrintRequest(argc, argv)) {
    case Print::kBash:
      return {false, WriteText(stdout, BashCompletion(app)) && std::fflush(stdout) == 0
                         ? kExitSuccess
                         : kExitFailed};
    case Print::kZsh:
      return {false,
              WriteText(stdout, ZshCompletion(DescribeCommandLine(app))) && std::fflush(stdout) == 0
                  ? kExitSuccess
                  : kExitFailed};
    case Print::kFish:
      return {false, WriteText(stdout, FishCompletion(DescribeCommandLine(app))) &&
                             std::fflush(stdout) == 0
                         ? kExitSuccess
                         : kExitFailed};
    case Print::kManCommands:
      return {false, WriteText(stdout, ManCommandList(app)) && std::fflush(stdout) == 0
                         ? kExitSuccess
                         : kExitFailed};
    case Print::kNone:
      break;
  }

  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    std::ostringstream out_text;
    std::ostringstream err_text;
    const int status = app.exit(e, out_text, err_text);
    (void)WriteText(stdout, out_text.str());
    (void)WriteText(stderr, err_text.str());
    std::fflush(stdout);
    std::fflush(stderr);
    return {false, status == 0 ? kExitSuccess : kExitUsage};
  }

  static const std::map<std::string, std::int32_t> kPortKinds = {
      {"parallel", kPortParallel}, {"network", kPortNetwork}, {"usb", kPortUsb}};
  if (port_opt->count() > 0) out.port = kPortKinds.at(port_text);
  if (host_opt->count() > 0) out.host = host;
  if (hosts_opt->count() > 0) out.hosts = hosts;
  if (type_opt->count() > 0) out.machine_type = type == 1 ? kMachineType1 : kMachineType2;
  if (community_opt->count() > 0) out.community = community;
  return {true, kExitSuccess};
}

std::vector<std::string> CommandFiles(const Invocation& invocation) {
  std::vector<std::string> files = {invocation.file, invocation.file_b, invocation.output,
                                    invocation.block, invocation.rank_file};
  files.push_back(invocation.settings_path.empty() ? DefaultSettingsPath()
                                                   : invocation.settings_path);
  if (invocation.hosts && !invocation.hosts->empty() && invocation.hosts->front() == '@') {
    files.push_back(invocation.hosts->substr(1));
  }
  return files;
}

}  // namespace tavi::cli
