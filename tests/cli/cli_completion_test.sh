#!/bin/bash
# The zsh and fish completion scripts tavi-cli writes offer what its parser accepts: the
# commands of --help, a group's commands under it, and after each command exactly the options
# that `tavi-cli COMMAND --help` and `tavi-cli --help` declare. fish completes for real
# (complete -C); zsh runs the script with the completion system's entry points standing in, so
# that every branch the script takes for a command shows the option specs it hands on.
#   cli_completion_test.sh TAVI_CLI
set -euo pipefail
cli=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() {
  echo "FAIL: $*" >&2
  exit 1
}
command -v zsh >/dev/null || fail "zsh is not installed (scripts/setup installs it)"
command -v fish >/dev/null || fail "fish is not installed (scripts/setup installs it)"

options_in() { grep -oE -- '(^|[^A-Za-z0-9-])--?[A-Za-z][A-Za-z0-9-]*' | sed -E 's/^[^-]*//' | sort -u; }
declared_options() { grep -oE -- '^ +--?[A-Za-z][^ ]*(, ?--?[A-Za-z][^ ]*)*' | options_in; }
subcommands() { awk '/^Subcommands:/ {on = 1; next} on && NF == 0 {on = 0} on {print $1}'; }
same() { # WHAT EXPECTED GOT
  [ "$2" = "$3" ] || fail "$1: expected [$(echo $2)], got [$(echo $3)]"
}

"$cli" --print-completion zsh >"$work/_tavi-cli"
"$cli" --print-completion fish >"$work/tavi-cli.fish"
zsh -n "$work/_tavi-cli" || fail "the zsh completion is not valid zsh"
fish -n "$work/tavi-cli.fish" || fail "the fish completion is not valid fish"
head -n 1 "$work/_tavi-cli" | grep -qx '#compdef tavi-cli' || fail "the zsh completion does not say #compdef"

fish_complete() { # LINE: the words fish offers, without their descriptions
  fish --no-config -c 'source $argv[1]; complete -C $argv[2]' "$work/tavi-cli.fish" "$1" |
    cut -f1 | sort -u
}
# Runs the zsh script for the words typed so far; _arguments -C puts the completion in STATE,
# the later calls print the specs they are given, _describe the words it offers.
zsh_offers() { # STATE WORDS...
  zsh -f -c '
    state_wanted=$1; shift
    typed=("$@")
    _arguments() {
      if [[ $1 == -C ]]; then
        # The first word: the program-wide specs are those of this call.
        [[ $state_wanted == command ]] && print -rl -- "${@:3}"
        state=$state_wanted; words=("${typed[@]}"); CURRENT=${#words}; return 1
      fi
      [[ $1 == -s ]] && shift
      print -rl -- "$@"
    }
    _describe() { print -rl -- "${(@P)4}"; }
    source "$0"' "$work/_tavi-cli" "$@"
}
spec_options() { sed -nE 's/^(\([^)]*\))?(--?[A-Za-z][A-Za-z0-9-]*).*/\2/p' | sort -u; }

"$cli" --help >"$work/help"
top=$(subcommands <"$work/help" | sort)
global=$(declared_options <"$work/help")
[ -n "$top" ] && [ -n "$global" ] || fail "tavi-cli --help lists no commands or no options"

# The first word: the commands (fish after an option and its value too).
same "fish: the first word" "$top" "$(fish_complete 'tavi-cli ' | grep -v '^-')"
same "fish: after --port network" "$top" "$(fish_complete 'tavi-cli --port network ' | grep -v '^-')"
same "fish: the program's options" "$global" "$(fish_complete 'tavi-cli -')"
same "zsh: the first word" "$top" "$(zsh_offers command "" | grep -v '^[-(:*]' | cut -d: -f1 | sort)"
same "zsh: the program's options" "$global" "$(zsh_offers command "" | grep '^[(-]' | spec_options)"

checked=0
for first in $top; do
  subs=$("$cli" "$first" --help | subcommands)
  if [ -n "$subs" ]; then
    same "fish: the commands of '$first'" "$(sort <<<"$subs")" \
      "$(fish_complete "tavi-cli --timeout 5 $first " | grep -v '^-')"
    same "zsh: the commands of '$first'" "$(sort <<<"$subs")" \
      "$(zsh_offers argument "$first" "" | cut -d: -f1 | sort)"
    commands=$(for s in $subs; do echo "$first $s"; done)
  else
    commands=$first
  fi
  while read -r command; do
    # shellcheck disable=SC2086
    expected=$(printf '%s\n' $global $("$cli" $command --help | declared_options) | sort -u)
    same "fish: options after '$command'" "$expected" "$(fish_complete "tavi-cli -q $command -")"
    # shellcheck disable=SC2086
    same "zsh: options after '$command'" "$expected" "$(zsh_offers argument $command - | spec_options)"
    checked=$((checked + 1))
  done <<<"$commands"
done

# Option values: the choices the parser allows, files where it takes a file.
same "fish: --port values" "$(printf '%s\n' network parallel usb)" "$(fish_complete 'tavi-cli --port ')"
grep -qF -- "'--port=[" "$work/_tavi-cli" || fail "zsh: --port takes no value"
grep -qF -- ':value:(parallel network usb)' "$work/_tavi-cli" || fail "zsh: --port offers no choices"
touch "$work/backup.prm"
same "fish: a file for get-params" "$work/backup.prm" "$(fish_complete "tavi-cli get-params $work/back")"
zsh_offers argument get-params "" | grep -qx '\*:file:_files' || fail "zsh: get-params takes no file"
echo "ok: zsh and fish completion agree with --help for $checked commands"
