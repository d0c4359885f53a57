#include "frontends/win32/command_line.h"

#include <charconv>

#include "core/discovery/targets.h"

namespace tavi::win {
namespace {

bool ParsePort(const std::string& text, std::uint16_t& port) {
  unsigned value = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (ec != std::errc() || end != text.data() + text.size() || value == 0 || value > 65535) {
    return false;
  }
  port = static_cast<std::uint16_t>(value);
  return true;
}

}  // namespace

bool ParseCommandLine(const std::vector<std::string>& args, Options& options, std::string& error) {
  std::vector<std::string> targets;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (arg == "--version") {
      options.version = true;
      continue;
    }
    if (arg == "--help") {
      options.help = true;
      continue;
    }
    if (arg != "--settings" && arg != "--lpd-port" && arg != "--snmp-port" &&
        arg != "--find-target") {
      error = "unknown argument " + arg;
      return false;
    }
    if (i + 1 >= args.size()) {
      error = arg + " needs a value";
      return false;
    }
    const std::string& value = args[++i];
    if (arg == "--settings") {
      options.settings_path = value;
    } else if (arg == "--find-target") {
      targets.push_back(value);
    } else if (!ParsePort(value, arg == "--lpd-port" ? options.ports.lpd : options.ports.snmp)) {
      error = arg + " needs a port from 1 to 65535";
      return false;
    }
  }
  if (!targets.empty() && !discovery::ParseTargets(targets, options.find_targets, error)) {
    error = "--find-target: " + error;
    return false;
  }
  return true;
}

}  // namespace tavi::win
