#!/usr/bin/env bash
# Validates the desktop entry with desktop-file-validate (package desktop-file-utils). Exits 77
# (skipped) when the tool is missing.
set -uo pipefail
ENTRY=${1:?usage: check-desktop-entry.sh DESKTOPFILE}
[ -f "$ENTRY" ] || { echo "FAIL: no desktop entry $ENTRY" >&2; exit 1; }
if ! command -v desktop-file-validate >/dev/null 2>&1; then
  echo "SKIPPED: desktop-file-validate not found; install the package desktop-file-utils" >&2
  exit 77
fi
# desktop-file-validate exits 0 on hints too; hints and warnings are shown, errors fail.
out=$(desktop-file-validate "$ENTRY" 2>&1)
rc=$?
[ -n "$out" ] && echo "$out"
if [ $rc -ne 0 ] || grep -q 'error:' <<<"$out"; then
  echo "FAIL: desktop-file-validate rejects $ENTRY" >&2
  exit 1
fi
echo "$ENTRY: valid"
