#include "cli/cli_args.h"

#include <CLI/CLI.hpp>
#include <iostream>
#include <map>

#include "cli/cli_texts.h"
#include "config/port_settings.h"
#include "resources/constants.h"

namespace tavi::cli {
namespace {

constexpr const char* kFooter =
    "Commands:\n"
    "  report [-o FILE]              fetch the status report; its bytes to FILE, or to stdout\n"
    "                                (also with -o -)\n"
    "  get-params FILE               back up the parameter block to a parameter file\n"
    "  put-params FILE               restore a parameter file; prints \"Done.\"\n"
    "  set-head-rank HEAD RANK       HEAD 1..8; RANK a head rank line, spaced (35 chars) or\n"
    "                                compact (33); prints \"Done.\"\n"
    "  set-head-rank HEAD --file F   the rank taken from a head rank file\n"
    "  firmware FILE                 firmware upgrade; prints \"Done.\"\n"
    "  restart                       restart a networked printer (SNMP set, 6-second wait)\n"
    "  ports                         list parallel ports and matching USB printers\n"
    "  discover [TARGET...]          find the family's printers on the network (SNMP) and on\n"
    "                                the local ports; [--timeout S] [--all] [--json]\n"
    "  params decode FILE [-o BLOCK] offline: check a parameter file, print the block length,\n"
    "                                write the raw block\n"
    "  params encode BLOCK FILE      offline: make a parameter file from a raw block\n"
    "'tavi-cli COMMAND --help' describes one command.\n"
    "With --hosts, every printer command runs on each host at once, for example\n"
    "  tavi-cli --hosts @floor.txt get-params 'backup/{host}.prm'\n\n"
    "Exit status: 0 success; 1 the operation failed (its message on stderr); 2 usage error or\n"
    "unusable input; 3 timed out (--timeout); 130 interrupted by SIGINT, which acts like the\n"
    "Cancel button. With --hosts: 0 when every host succeeded, else 130, 3 or 1, in that\n"
    "order. The options override the stored settings for this run only; tavi-cli never writes\n"
    "the settings file.";

}  // namespace

std::string_view CommandName(Command command) {
  switch (command) {
    case Command::kNone:
      return "";
    case Command::kReport:
      return "report";
    case Command::kGetParams:
      return "get-params";
    case Command::kPutParams:
      return "put-params";
    case Command::kSetHeadRank:
      return "set-head-rank";
    case Command::kFirmware:
      return "firmware";
    case Command::kRestart:
      return "restart";
    case Command::kParamsDecode:
      return "params decode";
    case Command::kParamsEncode:
      return "params encode";
    case Command::kPorts:
      return "ports";
    case Command::kDiscover:
      return "discover";
  }
  return "";
}

ParseResult ParseArguments(int argc, const char* const* argv, Invocation& out) {
  CLI::App app{"Maintenance of wide-format inkjet printers over parallel, USB or network.",
               "tavi-cli"};
  app.footer(kFooter);
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
                     "Network host, name or dotted IPv4 (becomes the only, selected host; "
                     "does not change the port kind)")
          ->type_name("HOST");
  auto* type_opt = app.add_option("--type", type,
                                  "Printer family: 1 = Type1 (access code A), 2 = Type2 "
                                  "(access code B)")
                       ->type_name("1|2")
                       ->check(CLI::IsMember({1, 2}));
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

  auto* report = app.add_subcommand(
      "report", "Fetch the status report; its bytes to FILE (replaced atomically) or to stdout");
  report->add_option("-o,--output", out.file, "File to write the report to (- for stdout)")
      ->type_name("FILE");
  report->callback([&] { out.command = Command::kReport; });

  auto* get = app.add_subcommand("get-params", "Back up the parameter block to a parameter file");
  get->add_option("FILE", out.file, "Parameter file to write (replaced atomically)")->required();
  get->callback([&] { out.command = Command::kGetParams; });

  auto* put = app.add_subcommand("put-params", "Restore a parameter file; prints \"Done.\"");
  put->add_option("FILE", out.file, "Parameter file to send")->required();
  put->callback([&] { out.command = Command::kPutParams; });

  auto* rank = app.add_subcommand(
      "set-head-rank",
      "Set the rank code of head HEAD (1..8), from RANK or from a head rank file; prints "
      "\"Done.\"");
  rank->add_option("HEAD", out.head, "Head number 1..8")->required()->check(CLI::Range(1, 8));
  auto* rank_text = rank->add_option(
      "RANK", out.rank, "Head rank line, spaced (35 characters) or compact (33 characters)");
  auto* rank_file =
      rank->add_option("--file", out.rank_file, "Head rank file to take the rank from")
          ->type_name("F");
  rank_text->excludes(rank_file);
  rank->callback([&, rank_text, rank_file] {
    if (rank_text->count() == 0 && rank_file->count() == 0) {
      throw CLI::ValidationError("set-head-rank", "give RANK or --file F");
    }
    out.command = Command::kSetHeadRank;
  });

  auto* firmware = app.add_subcommand("firmware", "Firmware upgrade; prints \"Done.\"");
  firmware->add_option("FILE", out.file, "Firmware file")->required();
  firmware->callback([&] { out.command = Command::kFirmware; });

  auto* restart =
      app.add_subcommand("restart", "Restart a networked printer (SNMP set, then a 6-second wait)");
  restart->callback([&] { out.command = Command::kRestart; });

  auto* ports = app.add_subcommand(
      "ports", "List parallel ports and matching USB printers, and which one would be used");
  ports->callback([&] { out.command = Command::kPorts; });

  auto* discover = app.add_subcommand(
      "discover",
      "Find the family's printers: an SNMP request to every interface's broadcast address (or "
      "to each TARGET), then the parallel ports and USB printers as 'ports' lists them");
  discover
      ->add_option("TARGET", out.targets,
                   "Address a.b.c.d, range a.b.c.d-e or block a.b.c.d/n of at most 1,024 "
                   "addresses; asked one by one instead of the broadcast")
      ->type_name("TARGET");
  discover
      ->add_option("--timeout", out.discover_timeout_seconds,
                   "Stop the sweep after this long at the latest (it ends by itself 2 s after "
                   "the last answer)")
      ->type_name("SECONDS")
      ->check(CLI::PositiveNumber);
  discover->add_flag("--all", out.discover_all, "Also list SNMP devices that are not the family's");
  discover->add_flag("--json", out.json, "One JSON object instead of lines of text");
  discover->callback([&] { out.command = Command::kDiscover; });

  auto* params = app.add_subcommand("params", "Parameter files, offline");
  params->require_subcommand(1);
  auto* decode = params->add_subcommand(
      "decode", "Check a parameter file, print the block length, write the raw block");
  decode->add_option("FILE", out.file, "Parameter file")->required();
  decode
      ->add_option("-o,--output", out.output,
                   "Raw block to write (replaced atomically; - for stdout, the length then on "
                   "stderr)")
      ->type_name("BLOCK");
  decode->callback([&] { out.command = Command::kParamsDecode; });
  auto* encode = params->add_subcommand("encode", "Make a parameter file from a raw block");
  encode->add_option("BLOCK", out.block, "Raw parameter block, 1 to 131,071 bytes")->required();
  encode->add_option("FILE", out.file, "Parameter file to write (replaced atomically)")->required();
  encode->callback([&] { out.command = Command::kParamsEncode; });

  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    const int status = app.exit(e, std::cout, std::cerr);
    return {false, status == 0 ? kExitSuccess : kExitUsage};
  }

  static const std::map<std::string, std::int32_t> kPortKinds = {
      {"parallel", kPortParallel}, {"network", kPortNetwork}, {"usb", kPortUsb}};
  if (port_opt->count() > 0) out.port = kPortKinds.at(port_text);
  if (host_opt->count() > 0) out.host = host;
  if (hosts_opt->count() > 0) out.hosts = hosts;
  if (type_opt->count() > 0) out.machine_type = type == 1 ? kMachineType1 : kMachineType2;
  return {true, kExitSuccess};
}

}  // namespace tavi::cli
