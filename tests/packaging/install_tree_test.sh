#!/usr/bin/env bash
# Installs the build into a fresh folder, as `cmake --install build --prefix DIR` does, and
# checks the tree a user gets: every file in its place and nothing else, the programs' versions,
# man pages that agree with --help, a desktop entry and metainfo that validate, icons of the
# sizes they claim, the udev rule, and bash completion that offers the commands and options.
#   install_tree_test.sh BUILD_DIR VERSION
set -euo pipefail
build=$1
version=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
prefix=$work/usr
failures=0
fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}

cmake --install "$build" --prefix "$prefix" >/dev/null

# --- the tree -----------------------------------------------------------------------------
app_id=org.tavi.Tavi
expected=(
  bin/tavi bin/tavi-cli bin/tavi-printer-sim
  lib/udev/rules.d/70-tavi.rules
  share/applications/$app_id.desktop
  share/metainfo/$app_id.metainfo.xml
  share/bash-completion/completions/tavi-cli
  share/tavi/screenshots/get-report.png share/tavi/screenshots/select-port.png
  share/zsh/vendor-completions/_tavi-cli share/fish/vendor_completions.d/tavi-cli.fish
  share/doc/tavi/changelog.gz share/doc/tavi/copyright
  share/icons/hicolor/scalable/apps/$app_id.svg
  share/man/man1/tavi.1.gz share/man/man1/tavi-cli.1.gz share/man/man1/tavi-printer-sim.1.gz
)
sizes=(16 24 32 48 64 128 256)
for s in "${sizes[@]}"; do expected+=("share/icons/hicolor/${s}x${s}/apps/$app_id.png"); done
diff <(printf '%s\n' "${expected[@]}" | sort) <(cd "$prefix" && find . -type f | sed 's|^\./||' | sort) ||
  fail "the installed files differ from the expected list (< expected, > installed)"
for p in tavi tavi-cli tavi-printer-sim; do
  [ -x "$prefix/bin/$p" ] || fail "bin/$p is not executable"
done

# --- versions -----------------------------------------------------------------------------
for p in tavi-cli tavi-printer-sim; do
  got=$("$prefix/bin/$p" --version) || fail "$p --version exited with $?"
  [ "$got" = "$p $version" ] || fail "$p --version printed '$got', not '$p $version'"
done

# --- man pages agree with --help ------------------------------------------------------------
# Options named in a text: "-x" and "--long-name", not the hyphens inside words or numbers.
options_in() { grep -oE -- '(^|[^A-Za-z0-9-])--?[A-Za-z][A-Za-z0-9-]*' | sed -E 's/^[^-]*//' | sort -u; }
# The options a --help declares: the names that begin its indented option lines.
declared_options() { grep -oE -- '^ +--?[A-Za-z][^ ]*(, ?--?[A-Za-z][^ ]*)*' | options_in; }
# The roff source as plain text: "\-" is a hyphen, font changes go.
man_text() { zcat "$1" | sed -E 's/\\-/-/g; s/\\f[BIRP]//g'; }
same_options() {  # NAME HELP_TEXT_FILE MAN_PAGE
  local name=$1 help=$2 page=$3
  # A documented option heads an entry: it stands on the tag line after ".TP".
  if ! diff <(declared_options <"$help") <(man_text "$page" | awk 'prev == ".TP" {print} {prev = $1}' |
    options_in) >"$work/diff"; then
    fail "$name: options in --help (<) and in its man page (>) differ: $(tr '\n' ' ' <"$work/diff")"
  fi
}
man1=$prefix/share/man/man1
# tavi-cli: the program's help and each command's help.
"$prefix/bin/tavi-cli" --help >"$work/cli.help"
commands=$(awk '/^Subcommands:/ {on = 1; next} on && NF == 0 {on = 0} on {print $1}' "$work/cli.help")
[ -n "$commands" ] || fail "tavi-cli --help lists no commands"
for c in $commands; do "$prefix/bin/tavi-cli" "$c" --help >>"$work/cli.help"; done
"$prefix/bin/tavi-cli" params decode --help >>"$work/cli.help"
"$prefix/bin/tavi-cli" params encode --help >>"$work/cli.help"
"$prefix/bin/tavi-cli" params diff --help >>"$work/cli.help"
same_options tavi-cli "$work/cli.help" "$man1/tavi-cli.1.gz"
man_commands=$(man_text "$man1/tavi-cli.1.gz" |
  awk '/^\.SH/ {on = ($2 == "COMMANDS")} on && prev == ".TP" {gsub(/"/, "", $2); print $2} {prev = $1}' |
  sort -u)
[ "$(echo "$commands" | sort -u)" = "$man_commands" ] ||
  fail "tavi-cli: commands in --help ($(echo $commands)) and man page ($(echo $man_commands)) differ"
"$prefix/bin/tavi-printer-sim" --help >"$work/sim.help"
same_options tavi-printer-sim "$work/sim.help" "$man1/tavi-printer-sim.1.gz"
QT_QPA_PLATFORM=offscreen XDG_RUNTIME_DIR=$work "$prefix/bin/tavi" --help >"$work/tavi.help"
same_options tavi "$work/tavi.help" "$man1/tavi.1.gz"
for page in "$man1"/*.1.gz; do
  warnings=$(MANWIDTH=80 man --warnings -l "$page" 2>&1 >/dev/null || true)
  [ -z "$warnings" ] || fail "$(basename "$page"): $warnings"
  th=$(man_text "$page" | sed -n 1p)
  [[ "$th" == ".TH "*" \"Tavi $version\" "* ]] || fail "$(basename "$page") is not of Tavi $version: $th"
done

# --- desktop entry, metainfo, icons ---------------------------------------------------------
desktop=$prefix/share/applications/$app_id.desktop
desktop-file-validate "$desktop" || fail "desktop-file-validate rejects $app_id.desktop"
appstreamcli validate --no-net --no-color "$prefix/share/metainfo/$app_id.metainfo.xml" >"$work/as" 2>&1 ||
  fail "appstreamcli rejects the metainfo: $(cat "$work/as")"
grep -qx "Icon=$app_id" "$desktop" || fail "the desktop entry does not name the icon $app_id"
grep -qx "Exec=tavi" "$desktop" || fail "the desktop entry does not start tavi"
grep -q "<release version=\"$version\"" "$prefix/share/metainfo/$app_id.metainfo.xml" ||
  fail "the metainfo has no release $version"
for s in "${sizes[@]}"; do
  kind=$(file -b "$prefix/share/icons/hicolor/${s}x${s}/apps/$app_id.png")
  [[ "$kind" == "PNG image data, $s x $s,"* ]] || fail "the ${s}x${s} icon is $kind"
done

# --- udev rule ------------------------------------------------------------------------------
rule=$prefix/lib/udev/rules.d/70-tavi.rules
grep -qx 'SUBSYSTEM=="usb", ENV{DEVTYPE}=="usb_device", ATTR{idVendor}=="0e2a", ATTR{idProduct}=="0101|0102|0103", TAG+="uaccess"' "$rule" ||
  fail "the udev rule does not tag the family's USB printers for seat access"
[[ "70-tavi.rules" < "73-seat-late.rules" ]] || fail "the udev rule sorts after 73-seat-late.rules"
# The metainfo names the same USB devices as the udev rule, as the kernel's modaliases.
rule_ids=$(sed -nE 's/.*ATTR\{idVendor\}=="([0-9a-f]{4})", ATTR\{idProduct\}=="([0-9a-f|]+)".*/\1 \2/p' "$rule" |
  awk '{n = split($2, p, "|"); for (i = 1; i <= n; i++) print "usb:v" toupper($1) "p" toupper(p[i]) "d*"}')
metainfo_ids=$(sed -nE 's|^ *<modalias>(.*)</modalias>$|\1|p' "$prefix/share/metainfo/$app_id.metainfo.xml")
[ -n "$rule_ids" ] && [ "$rule_ids" = "$metainfo_ids" ] ||
  fail "the metainfo's modaliases ($(echo $metainfo_ids)) are not the udev rule's devices ($(echo $rule_ids))"
for shot in $(sed -nE 's|.*<image [^>]*>.*/([^/<]+\.png)</image>.*|\1|p' "$prefix/share/metainfo/$app_id.metainfo.xml"); do
  kind=$(file -b "$prefix/share/tavi/screenshots/$shot")
  width=$(sed -E 's/^PNG image data, ([0-9]+) x .*/\1/' <<<"$kind")
  [[ "$width" =~ ^[0-9]+$ ]] && [ "$width" -ge 620 ] || fail "the screenshot $shot is $kind, not 620 pixels wide or more"
  grep -q "width=\"$width\"" "$prefix/share/metainfo/$app_id.metainfo.xml" || fail "the metainfo gives $shot another width"
done

# --- bash completion ------------------------------------------------------------------------
complete_words() {  # WORDS...: the completions bash offers for the last word
  bash -c 'source "$1"; shift; COMP_WORDS=("$@"); COMP_CWORD=$(($# - 1)); _tavi_cli
           printf "%s\n" "${COMPREPLY[@]}" | sort' _ "$prefix/share/bash-completion/completions/tavi-cli" "$@"
}
expect_completion() {  # EXPECTED -- WORDS...
  local want=$1
  shift 2
  local got
  got=$(complete_words "$@" | tr '\n' ' ')
  [ "$got" = "$want" ] || fail "completing '$*' gave '$got', not '$want'"
}
expect_completion "report restart " -- tavi-cli re
expect_completion "network " -- tavi-cli --port net
expect_completion "network parallel usb " -- tavi-cli --host 192.0.2.7 --port ""
expect_completion "decode " -- tavi-cli -q params de
expect_completion "--help -h decode diff encode " -- tavi-cli -q params ""
expect_completion "-o " -- tavi-cli params decode -o
expect_completion "--file " -- tavi-cli set-head-rank --fi
expect_completion "--json " -- tavi-cli discover --js
touch "$work/backup.prm" "$work/hosts.txt"
expect_completion "$work/backup.prm " -- tavi-cli get-params "$work/back"
expect_completion "@$work/hosts.txt " -- tavi-cli --hosts "@$work/ho"
# Every option of the program is offered before a command.
"$prefix/bin/tavi-cli" --help | declared_options | grep -- '^--' >"$work/help.long"
complete_words tavi-cli -- >"$work/offered"
missing=$(comm -23 "$work/help.long" "$work/offered")
[ -z "$missing" ] || fail "bash completion does not offer: $(echo $missing)"

if [ "$failures" -ne 0 ]; then
  echo "$failures check(s) failed" >&2
  exit 1
fi
echo "install tree: all checks passed"
