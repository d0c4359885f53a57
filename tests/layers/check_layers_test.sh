#!/usr/bin/env bash
# scripts/check-layers against our tree (it must pass) and against copies of it with one include
# planted that crosses a layer (each must fail, naming the file, the line and the include).
set -euo pipefail
repo="$(cd "$(dirname "$0")/../.." && pwd)"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
"$repo/scripts/check-layers" "$repo" >/dev/null

failed=0
# Plants LINE at the end of FILE in a fresh copy of the tree; the check must fail and say WORDS.
expect_refused() {
  local file="$1" line="$2" words="$3"
  rm -rf "$work/tree"
  mkdir -p "$work/tree"
  cp -r "$repo/src" "$work/tree/src"
  printf '%s\n' "$line" >>"$work/tree/src/$file"
  local at
  at="$(wc -l <"$work/tree/src/$file")"
  if "$repo/scripts/check-layers" "$work/tree" 2>"$work/err" >/dev/null; then
    echo "FAIL: $line in src/$file passed" >&2
    failed=1
  elif ! grep -qF "src/$file:$at: $words" "$work/err"; then
    echo "FAIL: $line in src/$file was refused without naming it:" >&2
    cat "$work/err" >&2
    failed=1
  fi
}

expect_refused core/files/head_rank.h '#include <QString>' 'the core includes <QString> (Qt'
expect_refused core/protocol/exchange.cpp '#include <sys/socket.h>' 'the core includes <sys/socket.h>'
expect_refused core/ui/seams.h '#include "os/posix/posix_file.h"' 'the core includes "os/posix/posix_file.h"'
expect_refused os/posix/file_io.cpp '#include "core/protocol/operations.h"' \
  'the operating-system layer includes "core/protocol/operations.h"'
expect_refused os/socket_common.cpp '#include "core/operations/restart.h"' \
  'the operating-system layer includes "core/operations/restart.h"'
expect_refused frontends/cli/main.cpp '#include "frontends/qt/main_dialog.h"' \
  'the cli front end includes "frontends/qt/main_dialog.h"'
expect_refused frontends/win32/main.cpp '#include "frontends/cli/cli_run.h"' \
  'the win32 front end includes "frontends/cli/cli_run.h"'
exit "$failed"
