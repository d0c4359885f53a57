#!/bin/bash
# tavi-cli's commands come from one table: --help, the man page's command list and bash
# completion (both as the build makes them) name the same commands, each once, and nothing
# else; completion offers each command exactly the options its parser declares, and the man
# page heads each command with those options.
#   cli_registry_test.sh TAVI_CLI
set -euo pipefail
cli=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() {
  echo "FAIL: $*" >&2
  exit 1
}

options_in() { grep -oE -- '(^|[^A-Za-z0-9-])--?[A-Za-z][A-Za-z0-9-]*' | sed -E 's/^[^-]*//' | sort -u; }
declared_options() { grep -oE -- '^ +--?[A-Za-z][^ ]*(, ?--?[A-Za-z][^ ]*)*' | options_in; }
subcommands() { awk '/^Subcommands:/ {on = 1; next} on && NF == 0 {on = 0} on {print $1}'; }
complete_words() { # WORDS...: what the completion offers for the last word
  bash -c 'source "$1"; shift; COMP_WORDS=("$@"); COMP_CWORD=$(($# - 1)); _tavi_cli
           printf "%s\n" "${COMPREPLY[@]}" | sort' _ "$work/completion" "$@"
}
same() { # WHAT EXPECTED GOT
  [ "$2" = "$3" ] || fail "$1: expected [$(echo $2)], got [$(echo $3)]"
}

"$cli" --help >"$work/help"
"$cli" --print-completion bash >"$work/completion"
"$cli" --print-man-commands >"$work/man"
bash -n "$work/completion" || fail "the completion script is not valid bash"

# The commands as the parser knows them: the top level of --help, a group's under it.
top=$(subcommands <"$work/help")
commands=$(for c in $top; do
  subs=$("$cli" "$c" --help | subcommands)
  if [ -n "$subs" ]; then for s in $subs; do echo "$c $s"; done; else echo "$c"; fi
done)
for known in report get-params discover "params decode" "params encode"; do
  grep -qx "$known" <<<"$commands" || fail "--help does not list '$known': $(echo $commands)"
done

# The man page's list: one entry per command, in the table's order, nothing else.
man_commands=$(awk 'prev == ".TP" {print} {prev = $0}' "$work/man" |
  sed -E 's/^\.BR? "([^"]*)".*/\1/; s/\\-/-/g')
same "man page commands" "$commands" "$man_commands"
[ "$(grep -c '^\.TP$' "$work/man")" = "$(wc -l <<<"$commands")" ] || fail "man list has stray entries"

# The command list of --help: one entry per command, in the same order.
help_commands=$(sed -n '/^Commands:$/,/^'"'"'tavi-cli COMMAND/p' "$work/help" | grep -E '^  [a-z]' |
  while read -r line; do
    first=${line%% *}
    rest=${line#"$first"}
    rest=${rest# }
    if grep -qx "$first" <<<"$top" && grep -q "^$first " <<<"$commands"; then
      echo "$first ${rest%% *}"
    else
      echo "$first"
    fi
  done)
same "--help command list" "$commands" "$help_commands"

# Completion: the program's options and the top-level words; a group's commands; and after
# each command the program's options with exactly those the command's --help declares.
global=$(declared_options <"$work/help")
same "completion of the first word" "$(printf '%s\n' $global $top | sort -u)" \
  "$(complete_words tavi-cli "")"
# An option that takes a value takes the next word with it: that word is no command.
valued=$(grep -oE -- '^ +--?[A-Za-z][^ ]*(, ?--?[A-Za-z][^ ]*)* [A-Z0-9]' "$work/help" | options_in)
[ -n "$valued" ] || fail "--help declares no option with a value"
for option in $valued; do
  same "completion after '$option VALUE params'" "--help -h decode diff encode" \
    "$(complete_words tavi-cli "$option" get-params params "" | tr '\n' ' ' | sed 's/ $//')"
done
while read -r command; do
  # shellcheck disable=SC2086
  own=$("$cli" $command --help | declared_options)
  # shellcheck disable=SC2086
  same "completion of '$command -'" "$(printf '%s\n' $global $own | sort -u)" \
    "$(complete_words tavi-cli --timeout 5 $command -)"
  heading=$(awk -v want="$command" 'prev == ".TP" {print} {prev = $0}' "$work/man" |
    sed 's/\\-/-/g; s/\\f[BIRP]//g' | grep -F "\"$command\"")
  same "options in the man heading of '$command'" "$(grep -vxE -- '-h|--help' <<<"$own" || true)" \
    "$(sed -E 's/^\.BR? "[^"]*"//' <<<"$heading" | options_in)"
  # The option values and positional arguments do not start another command.
  first=${command%% *}
  if [ "$first" != "$command" ]; then
    same "completion after '$first'" \
      "$(printf '%s\n' --help -h $("$cli" "$first" --help | subcommands) | sort -u)" \
      "$(complete_words tavi-cli --settings x.ini "$first" "")"
  fi
done <<<"$commands"
echo "ok: $(wc -l <<<"$commands") commands agree across --help, the man list and completion"
