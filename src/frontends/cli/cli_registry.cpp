#include "frontends/cli/cli_registry.h"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <array>
#include <map>
#include <set>
#include <vector>

namespace tavi::cli {
namespace {

constexpr std::array<const CommandEntry*, 0
#define TAVI_CLI_COMMAND(Name) +1
#include "frontends/cli/commands/commands.def"
#undef TAVI_CLI_COMMAND
                     >
    kCommands = {
#define TAVI_CLI_COMMAND(Name) &k##Name##Command,
#include "frontends/cli/commands/commands.def"
#undef TAVI_CLI_COMMAND
};

struct Group {
  std::string_view name;
  std::string_view summary;
};
// The words that only gather commands ("params decode", "params encode").
constexpr std::array<Group, 1> kGroups = {{{"params", "Parameter files, offline"}}};

// "params decode" -> {"params", "decode"}; "report" -> {"", "report"}.
std::pair<std::string, std::string> SplitName(std::string_view name) {
  const std::size_t space = name.find(' ');
  if (space == std::string_view::npos) return {"", std::string(name)};
  return {std::string(name.substr(0, space)), std::string(name.substr(space + 1))};
}

const CLI::App* CommandApp(const CLI::App& app, std::string_view name) {
  const auto [group, word] = SplitName(name);
  const CLI::App* parent = group.empty() ? &app : app.get_subcommand(group);
  return parent->get_subcommand(word);
}

bool Hidden(const CLI::Option* option) {
  return option->get_group().empty();
}
bool IsHelp(const CLI::App& owner, const CLI::Option* option) {
  return option == owner.get_help_ptr();
}

// The type name as set, without the validators' descriptions CLI11 appends after ':'.
std::string TypeName(const CLI::Option* option) {
  std::string type = option->get_type_name();
  const std::size_t colon = type.find(':');
  return colon == std::string::npos ? type : type.substr(0, colon);
}

// The values a validator such as IsMember allows, "{parallel,network,usb}"; empty: any.
std::vector<std::string> Choices(const CLI::Option* option) {
  std::vector<std::string> choices;
  const std::string type = option->get_type_name();
  const std::size_t open = type.find(":{");
  const std::size_t close = type.find('}', open);
  if (open == std::string::npos || close == std::string::npos) return choices;
  std::string item;
  for (std::size_t i = open + 2; i <= close; ++i) {
    if (type[i] == ',' || type[i] == '}') {
      choices.push_back(item);
      item.clear();
    } else {
      item += type[i];
    }
  }
  return choices;
}

// Arguments and option values that name files.
bool IsPath(std::string_view label) {
  return label == "FILE" || label == "F" || label == "BLOCK";
}

std::string Names(const CLI::Option* option, std::string_view separator) {
  std::string names;
  for (const std::string& s : option->get_snames())
    names += (names.empty() ? "-" : std::string(separator) + "-") + s;
  for (const std::string& l : option->get_lnames())
    names += (names.empty() ? "--" : std::string(separator) + "--") + l;
  return names;
}

// The options and arguments of a command as its usage line shows them, each as a piece.
struct Piece {
  bool optional;
  bool repeated;
  std::string flag;   // empty for an argument
  std::string flags;  // every name of the option, "-o|--output"
  std::string value;  // the argument's name or the option's value, empty for a flag
};
std::vector<Piece> Pieces(const CLI::App& command) {
  std::vector<Piece> pieces;
  for (const CLI::Option* option : command.get_options()) {
    if (IsHelp(command, option) || Hidden(option)) continue;
    Piece piece;
    piece.repeated = option->get_expected_max() > 1;
    if (option->get_positional() && !option->nonpositional()) {
      piece.optional = !option->get_required();
      piece.value = option->get_name(true);
    } else {
      piece.optional = true;
      piece.flag = option->get_snames().empty() ? "--" + option->get_lnames().front()
                                                : "-" + option->get_snames().front();
      piece.flags = Names(option, "|");
      if (option->get_expected_min() > 0) piece.value = TypeName(option);
    }
    pieces.push_back(std::move(piece));
  }
  return pieces;
}

std::string Usage(const CommandEntry& entry, const CLI::App& command) {
  std::string usage(entry.name());
  for (const Piece& piece : Pieces(command)) {
    std::string text = piece.flag.empty()
                           ? piece.value
                           : piece.flag + (piece.value.empty() ? "" : " " + piece.value);
    if (piece.repeated) text += "...";
    usage += " " + (piece.optional ? "[" + text + "]" : text);
  }
  return usage;
}

// Roff: hyphens as \-, so that the page shows and searches them as such.
std::string Roff(std::string_view text) {
  std::string out;
  for (char c : text) {
    if (c == '-') out += '\\';
    out += c;
  }
  return out;
}

std::string Words(const std::vector<std::string>& words) {
  std::string out;
  for (const std::string& word : words) out += (out.empty() ? "" : " ") + word;
  return out;
}

}  // namespace

std::span<const CommandEntry* const> Commands() {
  return kCommands;
}

const CommandEntry* FindCommand(Command id) {
  for (const CommandEntry* entry : kCommands) {
    if (entry->id == id) return entry;
  }
  return nullptr;
}

std::string FleetCommandsText() {
  std::vector<std::string_view> names;
  for (const CommandEntry* entry : kCommands) {
    if (entry->fleet_run != nullptr) names.push_back(entry->name());
  }
  std::string text = "--hosts works with";
  for (std::size_t i = 0; i < names.size(); ++i) {
    text += i == 0 ? " " : i + 1 == names.size() ? " and " : ", ";
    text += names[i];
  }
  return text + ".";
}

void AddCommands(CLI::App& app, Invocation& out) {
  for (const CommandEntry* entry : kCommands) {
    // Named, not bound: a lambda below captures the group.
    const std::pair<std::string, std::string> split = SplitName(entry->name());
    const std::string& group = split.first;
    const std::string& word = split.second;
    CLI::App* parent = &app;
    if (!group.empty()) {
      const std::vector<CLI::App*> made =
          app.get_subcommands([&group](CLI::App* sub) { return sub->get_name() == group; });
      parent = made.empty() ? nullptr : made.front();
      if (parent == nullptr) {
        std::string summary;
        for (const Group& known : kGroups) {
          if (known.name == group) summary = known.summary;
        }
        parent = app.add_subcommand(group, summary);
        parent->require_subcommand(1);
      }
    }
    CLI::App* command = parent->add_subcommand(word, std::string(entry->summary));
    entry->bind(*command, out);
    // A callback the binding set (a check across its options) runs first.
    const Command id = entry->id;
    command->parse_complete_callback([&out, id] { out.command = id; });
  }
}

std::string HelpCommandList(const CLI::App& app) {
  constexpr std::size_t kColumn = 32;
  constexpr std::size_t kWidth = 94;
  std::string list = "Commands:\n";
  for (const CommandEntry* entry : kCommands) {
    std::string line = "  " + Usage(*entry, *CommandApp(app, entry->name()));
    if (line.size() + 1 > kColumn) {
      list += line + "\n";
      line.clear();
    }
    std::string_view rest = entry->brief;
    while (!rest.empty()) {
      line.resize(kColumn, ' ');
      std::size_t take = rest.size();
      if (kColumn + take > kWidth) {
        take = rest.rfind(' ', kWidth - kColumn);
        if (take == std::string_view::npos) take = rest.size();
      }
      line += rest.substr(0, take);
      list += line + "\n";
      line.clear();
      rest.remove_prefix(take);
      while (!rest.empty() && rest.front() == ' ') rest.remove_prefix(1);
    }
  }
  return list;
}

std::string ManCommandList(const CLI::App& app) {
  std::string roff;
  for (const CommandEntry* entry : kCommands) {
    std::string tail;
    for (const Piece& piece : Pieces(*CommandApp(app, entry->name()))) {
      std::string text;
      if (!piece.flag.empty()) {
        std::string flags;
        for (std::size_t start = 0; start <= piece.flags.size();) {
          std::size_t bar = piece.flags.find('|', start);
          if (bar == std::string::npos) bar = piece.flags.size();
          flags += (flags.empty() ? "" : "|") +
                   ("\\fB" + Roff(piece.flags.substr(start, bar - start)) + "\\fR");
          start = bar + 1;
        }
        text = flags + (piece.value.empty() ? "" : " ");
      }
      if (!piece.value.empty()) text += "\\fI" + Roff(piece.value) + "\\fR";
      if (piece.repeated) text += "...";
      tail += " " + (piece.optional ? "[" + text + "]" : text);
    }
    roff += ".TP\n" + (tail.empty() ? ".B \"" + Roff(entry->name()) + "\"\n"
                                    : ".BR \"" + Roff(entry->name()) + "\" \"" + tail + "\"\n");
    roff += entry->man;
    if (roff.back() != '\n') roff += '\n';
  }
  return roff;
}

CommandLine DescribeCommandLine(const CLI::App& app) {
  auto describe = [](const CLI::Option* option) {
    CompletionOption out;
    for (const std::string& s : option->get_snames()) out.names.push_back("-" + s);
    for (const std::string& l : option->get_lnames()) out.names.push_back("--" + l);
    out.description = option->get_description();
    if (option->get_expected_min() > 0) {
      const std::string type = TypeName(option);
      out.choices = Choices(option);
      out.value = IsPath(type)           ? ValueKind::kPath
                  : type == "LIST"       ? ValueKind::kHosts
                  : !out.choices.empty() ? ValueKind::kChoices
                                         : ValueKind::kAny;
    }
    return out;
  };
  CommandLine line;
  for (const CLI::Option* option : app.get_options()) {
    if (Hidden(option) || !option->nonpositional()) continue;
    line.global.push_back(describe(option));
  }
  for (const Group& group : kGroups) line.groups.emplace_back(group.name, group.summary);
  for (const CommandEntry* entry : kCommands) {
    const CLI::App& command = *CommandApp(app, entry->name());
    CompletionCommand out{std::string(entry->name()), std::string(entry->summary), {}, false};
    for (const CLI::Option* option : command.get_options()) {
      if (IsHelp(command, option) || Hidden(option)) continue;
      if (!option->nonpositional()) {
        out.files = out.files || IsPath(option->get_name(true));
        continue;
      }
      out.options.push_back(describe(option));
    }
    line.commands.push_back(std::move(out));
  }
  return line;
}

std::string BashCompletion(const CLI::App& app) {
  // The options of the program (they also follow a command), and every option taking a value.
  std::vector<std::string> global;
  std::map<std::string, std::string> value_kind;  // option -> "path", "hosts", "choices:..", ""
  auto note_values = [&value_kind](const CLI::Option* option) {
    if (option->get_expected_min() == 0 || !option->nonpositional()) return;
    const std::string type = TypeName(option);
    std::string kind;
    if (IsPath(type)) {
      kind = "path";
    } else if (type == "LIST") {
      kind = "hosts";
    } else if (!Choices(option).empty()) {
      kind = "choices:" + Words(Choices(option));
    }
    for (const std::string& s : option->get_snames()) value_kind.emplace("-" + s, kind);
    for (const std::string& l : option->get_lnames()) value_kind.emplace("--" + l, kind);
  };
  for (const CLI::Option* option : app.get_options()) {
    if (Hidden(option) || !option->nonpositional()) continue;
    for (const std::string& l : option->get_lnames()) global.push_back("--" + l);
    note_values(option);
  }
  for (const CLI::Option* option : app.get_options()) {
    if (Hidden(option) || !option->nonpositional()) continue;
    for (const std::string& s : option->get_snames()) global.push_back("-" + s);
  }

  std::vector<std::string> top;
  std::map<std::string, std::vector<std::string>> group_words;
  std::string per_command;
  for (const CommandEntry* entry : kCommands) {
    const auto [group, word] = SplitName(entry->name());
    const std::string first = group.empty() ? word : group;
    if (std::find(top.begin(), top.end(), first) == top.end()) top.push_back(first);
    if (!group.empty()) group_words[group].push_back(word);
    const CLI::App& command = *CommandApp(app, entry->name());
    std::vector<std::string> own;
    bool files = false;
    for (const CLI::Option* option : command.get_options()) {
      if (IsHelp(command, option) || Hidden(option)) continue;
      if (!option->nonpositional()) {
        files = files || IsPath(option->get_name(true));
        continue;
      }
      note_values(option);
      // The program's own options are offered anyway.
      auto add = [&own, &global](const std::string& name) {
        if (std::find(global.begin(), global.end(), name) == global.end()) own.push_back(name);
      };
      for (const std::string& s : option->get_snames()) add("-" + s);
      for (const std::string& l : option->get_lnames()) add("--" + l);
    }
    per_command += "    \"" + std::string(entry->name()) + "\")";
    if (!own.empty()) per_command += " opts+=\" " + Words(own) + "\";";
    per_command += std::string(" files=") + (files ? "1" : "") + " ;;\n";
  }

  std::map<std::string, std::vector<std::string>> by_kind;
  for (const auto& [option, kind] : value_kind) by_kind[kind].push_back(option);
  std::string values;
  std::vector<std::string> all_value_options;
  for (const auto& [kind, options] : by_kind) {
    std::string pattern;
    for (const std::string& option : options) {
      pattern += (pattern.empty() ? "" : " | ") + option;
      all_value_options.push_back(option);
    }
    values += "    " + pattern + ")\n";
    if (kind == "path") {
      values +=
          "      compopt -o filenames 2>/dev/null\n"
          "      COMPREPLY=($(compgen -f -- \"$cur\"))\n";
    } else if (kind == "hosts") {
      values +=
          "      # A list of hosts, or @FILE.\n"
          "      if [[ \"$cur\" == @* ]]; then\n"
          "        compopt -o filenames 2>/dev/null\n"
          "        COMPREPLY=($(compgen -f -P @ -- \"${cur#@}\"))\n"
          "      else\n"
          "        COMPREPLY=()\n"
          "      fi\n";
    } else if (kind.starts_with("choices:")) {
      values += "      COMPREPLY=($(compgen -W \"" + kind.substr(8) + "\" -- \"$cur\"))\n";
    } else {
      values += "      COMPREPLY=()\n";
    }
    values += "      return\n      ;;\n";
  }
  std::string skip;
  for (const std::string& option : all_value_options) skip += (skip.empty() ? "" : " | ") + option;

  std::string groups;
  std::string group_cases;
  for (const auto& [group, words] : group_words) {
    groups += (groups.empty() ? "" : " ") + group;
    group_cases +=
        "    " + group + ")\n      if [ -z \"$sub\" ]; then\n        COMPREPLY=($(compgen -W \"" +
        Words(words) + " --help -h\" -- \"$cur\"))\n        return\n      fi\n      ;;\n";
  }

  return "# bash completion for tavi-cli (made from the program's command line when it is built)\n"
         "\n"
         "_tavi_cli() {\n"
         "  local cur=\"${COMP_WORDS[COMP_CWORD]}\"\n"
         "  local prev=\"\"\n"
         "  ((COMP_CWORD > 0)) && prev=\"${COMP_WORDS[COMP_CWORD - 1]}\"\n"
         "  local commands=\"" +
         Words(top) +
         "\"\n"
         "  local groups=\"" +
         groups +
         "\"\n"
         "  local global_opts=\"" +
         Words(global) +
         "\"\n"
         "\n"
         "  # The value of an option that takes one.\n"
         "  case \"$prev\" in\n" +
         values +
         "  esac\n"
         "\n"
         "  # The command (and the command under a group word) given so far.\n"
         "  local command=\"\" sub=\"\" i word\n"
         "  for ((i = 1; i < COMP_CWORD; i++)); do\n"
         "    word=\"${COMP_WORDS[i]}\"\n"
         "    case \"$word\" in\n"
         "      " +
         skip +
         ")\n"
         "        ((i++))\n"
         "        ;;\n"
         "      -*) ;;\n"
         "      *)\n"
         "        if [ -z \"$command\" ]; then\n"
         "          command=\"$word\"\n"
         "        elif [[ \" $groups \" == *\" $command \"* ]] && [ -z \"$sub\" ]; then\n"
         "          sub=\"$word\"\n"
         "        fi\n"
         "        ;;\n"
         "    esac\n"
         "  done\n"
         "\n"
         "  case \"$command\" in\n"
         "    \"\")\n"
         "      COMPREPLY=($(compgen -W \"$global_opts $commands\" -- \"$cur\"))\n"
         "      return\n"
         "      ;;\n" +
         group_cases +
         "  esac\n"
         "\n"
         "  # Options of the program also follow a command.\n"
         "  local opts=\"$global_opts\" files=\"\"\n"
         "  case \"$command${sub:+ $sub}\" in\n" +
         per_command +
         "  esac\n"
         "  if [[ \"$cur\" == -* ]]; then\n"
         "    COMPREPLY=($(compgen -W \"$opts\" -- \"$cur\"))\n"
         "    return\n"
         "  fi\n"
         "  if [ -n \"$files\" ]; then\n"
         "    compopt -o filenames 2>/dev/null\n"
         "    COMPREPLY=($(compgen -f -- \"$cur\"))\n"
         "  else\n"
         "    COMPREPLY=()\n"
         "  fi\n"
         "}\n"
         "complete -F _tavi_cli tavi-cli\n";
}

}  // namespace tavi::cli
