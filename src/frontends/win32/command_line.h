// The command line of tavi.exe: --settings FILE, --lpd-port N, --snmp-port N,
// --find-target TARGET, --version, --help.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "core/connection/default_channels.h"

namespace tavi::win {

struct Options {
  std::string settings_path;                // empty: the default settings file
  NetworkPorts ports;                       // 0: the service ports
  std::vector<std::uint32_t> find_targets;  // what Find... asks; empty: every broadcast address
  bool version = false;
  bool help = false;
};

inline constexpr char kUsage[] =
    "Usage: tavi [--settings FILE] [--lpd-port N] [--snmp-port N] [--find-target TARGET]...\n"
    "            [--version] [--help]\n"
    "  --settings FILE  keep the settings in FILE\n"
    "  --lpd-port N     send print jobs to LPD port N instead of the printer service port\n"
    "  --snmp-port N    ask the SNMP agent on port N instead of the snmp service port\n"
    "  --find-target TARGET\n"
    "                   Find... asks TARGET (an address or a range) instead of broadcasting\n";

// Parses the arguments after the program name. False, with `error` saying why, for an unknown
// option, a missing value or a port outside 1..65535.
bool ParseCommandLine(const std::vector<std::string>& args, Options& options, std::string& error);

}  // namespace tavi::win
