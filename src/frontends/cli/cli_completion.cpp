// The zsh and fish completion scripts, written from the command line as the parser declares it.
#include <algorithm>
#include <string>

#include "frontends/cli/cli_registry.h"

namespace tavi::cli {
namespace {

bool IsGroup(const CommandLine& line, std::string_view word) {
  return std::any_of(line.groups.begin(), line.groups.end(),
                     [word](const auto& group) { return group.first == word; });
}

// The options of `command` that the program's own options do not already name.
std::vector<const CompletionOption*> OwnOptions(const CommandLine& line,
                                                const CompletionCommand& command) {
  std::vector<const CompletionOption*> own;
  for (const CompletionOption& option : command.options) {
    const bool global = std::any_of(line.global.begin(), line.global.end(),
                                    [&](const auto& g) { return g.names == option.names; });
    if (!global) own.push_back(&option);
  }
  return own;
}

// Every option that takes a value: the word after it is that value, not a command.
std::vector<std::string> ValueOptions(const CommandLine& line) {
  std::vector<std::string> names;
  auto add = [&names](const CompletionOption& option) {
    if (option.value == ValueKind::kNone) return;
    for (const std::string& name : option.names) {
      if (std::find(names.begin(), names.end(), name) == names.end()) names.push_back(name);
    }
  };
  for (const CompletionOption& option : line.global) add(option);
  for (const CompletionCommand& command : line.commands) {
    for (const CompletionOption& option : command.options) add(option);
  }
  return names;
}

std::string Joined(const std::vector<std::string>& words, std::string_view separator) {
  std::string out;
  for (const std::string& word : words) out += (out.empty() ? "" : std::string(separator)) + word;
  return out;
}

// --- zsh ------------------------------------------------------------------------------------

// Inside '...' in zsh: a quote closes, is escaped, and opens again.
std::string ZshQuoted(std::string_view text) {
  std::string out = "'";
  for (char c : text) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return out + "'";
}

// A description inside an option's [...].
std::string ZshBracketed(std::string_view text) {
  std::string out;
  for (char c : text) {
    if (c == '[' || c == ']' || c == '\\') out += '\\';
    out += c;
  }
  return out;
}

// One _arguments entry per name of the option, each excluding the option's other names.
std::string ZshEntries(const CompletionOption& option, std::string_view indent) {
  std::string action;
  switch (option.value) {
    case ValueKind::kNone:
      break;
    case ValueKind::kAny:
      action = ":value: ";
      break;
    case ValueKind::kPath:
      action = ":file:_files";
      break;
    case ValueKind::kHosts:
      action = ":hosts:_tavi-cli_hosts";
      break;
    case ValueKind::kChoices:
      action = ":value:(" + Joined(option.choices, " ") + ")";
      break;
  }
  const std::string exclusion =
      option.names.size() > 1 ? "(" + Joined(option.names, " ") + ")" : std::string();
  std::string entries;
  for (const std::string& name : option.names) {
    const bool value_after_equals = option.value != ValueKind::kNone && name.starts_with("--");
    entries += std::string(indent) +
               ZshQuoted(exclusion + name + (value_after_equals ? "=" : "") + "[" +
                         ZshBracketed(option.description) + "]" + action) +
               "\n";
  }
  return entries;
}

std::string ZshCommandArguments(const CommandLine& line, const CompletionCommand& command,
                                std::string_view indent) {
  std::string text = std::string(indent) + "_arguments -s $global \\\n";
  for (const CompletionOption* option : OwnOptions(line, command)) {
    std::string entries = ZshEntries(*option, std::string(indent) + "  ");
    // Each entry on its own continued line.
    std::string continued;
    for (std::size_t start = 0; start < entries.size();) {
      const std::size_t end = entries.find('\n', start);
      continued += entries.substr(start, end - start) + " \\\n";
      start = end + 1;
    }
    text += continued;
  }
  if (command.files) text += std::string(indent) + "  '*:file:_files' \\\n";
  return text + std::string(indent) + "  && ret=0\n";
}

std::string ZshDescribe(std::string_view what, std::string_view tag,
                        const std::vector<std::pair<std::string, std::string>>& items,
                        std::string_view indent) {
  std::string text = std::string(indent) + "local -a choices=(\n";
  for (const auto& [word, summary] : items) {
    text += std::string(indent) + "  " + ZshQuoted(word + ":" + summary) + "\n";
  }
  return text + std::string(indent) + ")\n" + std::string(indent) + "_describe -t " +
         std::string(tag) + " " + ZshQuoted(what) + " choices && ret=0\n";
}

// --- fish -----------------------------------------------------------------------------------

std::string FishQuoted(std::string_view text) {
  std::string out = "'";
  for (char c : text) {
    if (c == '\'' || c == '\\') out += '\\';
    out += c;
  }
  return out + "'";
}

std::string FishOption(const CompletionOption& option, std::string_view condition) {
  std::string text = "complete -c tavi-cli";
  if (!condition.empty()) text += " -n " + FishQuoted(condition);
  for (const std::string& name : option.names) {
    text += name.starts_with("--") ? " -l " + name.substr(2) : " -s " + name.substr(1);
  }
  switch (option.value) {
    case ValueKind::kNone:
      break;
    case ValueKind::kAny:
    case ValueKind::kHosts:
      text += " -x";
      break;
    case ValueKind::kPath:
      text += " -r -F";
      break;
    case ValueKind::kChoices:
      text += " -x -a " + FishQuoted(Joined(option.choices, " "));
      break;
  }
  return text + " -d " + FishQuoted(option.description) + "\n";
}

}  // namespace

std::string ZshCompletion(const CommandLine& line) {
  std::string global;
  for (const CompletionOption& option : line.global) global += ZshEntries(option, "    ");

  std::vector<std::pair<std::string, std::string>> top;
  std::string branches;
  for (const CompletionCommand& command : line.commands) {
    const std::size_t space = command.name.find(' ');
    if (space == std::string::npos) {
      top.emplace_back(command.name, command.summary);
      branches += "        " + ZshQuoted(command.name) + ")\n" +
                  ZshCommandArguments(line, command, "          ") + "          ;;\n";
    }
  }
  for (const auto& [group, summary] : line.groups) {
    top.emplace_back(group, summary);
    std::vector<std::pair<std::string, std::string>> words;
    std::string cases;
    for (const CompletionCommand& command : line.commands) {
      if (!command.name.starts_with(group + " ")) continue;
      const std::string word = command.name.substr(group.size() + 1);
      words.emplace_back(word, command.summary);
      cases += "              " + ZshQuoted(word) + ")\n" +
               ZshCommandArguments(line, command, "                ") + "                ;;\n";
    }
    branches += "        " + ZshQuoted(group) +
                ")\n"
                "          if ((CURRENT == 2)); then\n" +
                ZshDescribe(group + " command", "commands", words, "            ") +
                "          else\n"
                "            shift words\n"
                "            ((CURRENT--))\n"
                "            case $words[1] in\n" +
                cases +
                "            esac\n"
                "          fi\n"
                "          ;;\n";
  }

  return "#compdef tavi-cli\n"
         "# zsh completion for tavi-cli (made from the program's command line when it is built)\n"
         "\n"
         "# A list of hosts, or @FILE.\n"
         "_tavi-cli_hosts() {\n"
         "  if [[ $PREFIX == @* ]]; then\n"
         "    compset -P '@'\n"
         "    _files\n"
         "  else\n"
         "    _message 'hosts, separated by commas, or @FILE'\n"
         "  fi\n"
         "}\n"
         "\n"
         "_tavi-cli() {\n"
         "  local curcontext=$curcontext state state_descr line ret=1\n"
         "  typeset -A opt_args\n"
         "  # The program's options; they also follow a command.\n"
         "  local -a global=(\n" +
         global +
         "  )\n"
         "  _arguments -C -s $global ': :->command' '*:: :->argument' && ret=0\n"
         "  case $state in\n"
         "    command)\n" +
         ZshDescribe("tavi-cli command", "commands", top, "      ") +
         "      ;;\n"
         "    argument)\n"
         "      curcontext=${curcontext%:*:*}:tavi-cli-$words[1]:\n"
         "      case $words[1] in\n" +
         branches +
         "      esac\n"
         "      ;;\n"
         "  esac\n"
         "  return ret\n"
         "}\n"
         "\n"
         "_tavi-cli \"$@\"\n";
}

std::string FishCompletion(const CommandLine& line) {
  std::vector<std::string> groups;
  for (const auto& group : line.groups) groups.push_back(group.first);

  std::string text =
      "# fish completion for tavi-cli (made from the program's command line when it is built)\n"
      "\n"
      "# The command given so far, \"report\" or \"params decode\"; the word after an option\n"
      "# that takes a value is that value.\n"
      "function __tavi_cli_command\n"
      "    set -l words (commandline -opc)\n"
      "    set -e words[1]\n"
      "    set -l command\n"
      "    set -l skip 0\n"
      "    for word in $words\n"
      "        if test $skip = 1\n"
      "            set skip 0\n"
      "            continue\n"
      "        end\n"
      "        switch $word\n"
      "            case " +
      Joined(ValueOptions(line), " ") +
      "\n"
      "                set skip 1\n"
      "            case '-*'\n"
      "            case '*'\n"
      "                if test (count $command) -eq 0\n"
      "                    set command $word\n"
      "                else if test (count $command) -eq 1; and contains -- $command[1] " +
      Joined(groups, " ") +
      "\n"
      "                    set -a command $word\n"
      "                end\n"
      "        end\n"
      "    end\n"
      "    printf '%s\\n' \"$command\"\n"
      "end\n"
      "\n"
      "function __tavi_cli_is\n"
      "    test (__tavi_cli_command) = \"$argv[1]\"\n"
      "end\n"
      "\n"
      "complete -c tavi-cli -f\n"
      "\n"
      "# The program's options; they also follow a command.\n";
  for (const CompletionOption& option : line.global) text += FishOption(option, "");

  text += "\n# The commands.\n";
  std::vector<std::string> listed;
  for (const CompletionCommand& command : line.commands) {
    const std::size_t space = command.name.find(' ');
    const std::string first = command.name.substr(0, space);
    if (std::find(listed.begin(), listed.end(), first) != listed.end()) continue;
    listed.push_back(first);
    std::string summary = command.summary;
    for (const auto& [group, group_summary] : line.groups) {
      if (group == first) summary = group_summary;
    }
    text += "complete -c tavi-cli -n '__tavi_cli_is \"\"' -a " + FishQuoted(first) + " -d " +
            FishQuoted(summary) + "\n";
  }
  for (const CompletionCommand& command : line.commands) {
    const std::size_t space = command.name.find(' ');
    if (space == std::string::npos || !IsGroup(line, command.name.substr(0, space))) continue;
    text += "complete -c tavi-cli -n " +
            FishQuoted("__tavi_cli_is " + command.name.substr(0, space)) + " -a " +
            FishQuoted(command.name.substr(space + 1)) + " -d " + FishQuoted(command.summary) +
            "\n";
  }

  text += "\n# Each command's own options and arguments.\n";
  for (const CompletionCommand& command : line.commands) {
    const std::string condition = "__tavi_cli_is " + FishQuoted(command.name);
    for (const CompletionOption* option : OwnOptions(line, command)) {
      text += FishOption(*option, condition);
    }
    if (command.files) text += "complete -c tavi-cli -n " + FishQuoted(condition) + " -F\n";
  }
  return text;
}

}  // namespace tavi::cli
