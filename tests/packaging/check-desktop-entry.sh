#!/usr/bin/env bash
# Validates the desktop entry with desktop-file-validate (package desktop-file-utils), and the
# station's launcher that the entry's comment describes: the entry with the keys given there
# ("#   Key=Value") set. Exits 77 (skipped) when the tool is missing.
set -uo pipefail
ENTRY=${1:?usage: check-desktop-entry.sh DESKTOPFILE}
[ -f "$ENTRY" ] || { echo "FAIL: no desktop entry $ENTRY" >&2; exit 1; }
if ! command -v desktop-file-validate >/dev/null 2>&1; then
  echo "SKIPPED: desktop-file-validate not found; install the package desktop-file-utils" >&2
  exit 77
fi
WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT

# desktop-file-validate exits 0 on hints too; hints and warnings are shown, errors fail.
validate() { # FILE WHAT
  local out rc
  out=$(desktop-file-validate "$1" 2>&1)
  rc=$?
  [ -n "$out" ] && echo "$out"
  if [ $rc -ne 0 ] || grep -q 'error:' <<<"$out"; then
    echo "FAIL: desktop-file-validate rejects $2" >&2
    return 1
  fi
  echo "$2: valid"
}
validate "$ENTRY" "$ENTRY" || exit 1

mapfile -t keys < <(sed -n 's/^#   \([A-Za-z]*=.*\)$/\1/p' "$ENTRY")
if [ ${#keys[@]} -eq 0 ]; then
  echo "FAIL: the entry's comment shows no station's launcher (lines '#   Key=Value')" >&2
  exit 1
fi
station="$WORK/rcprog-station.desktop"
cp "$ENTRY" "$station"
for kv in "${keys[@]}"; do
  key=${kv%%=*}
  if grep -q "^$key=" "$station"; then
    k="$key" v="$kv" awk '{ if (index($0, ENVIRON["k"] "=") == 1) print ENVIRON["v"]; else print }' \
      "$station" >"$station.new" && mv "$station.new" "$station"
  else
    echo "$kv" >>"$station" # the entry has one group, so this line is in it
  fi
done
for kv in "${keys[@]}"; do
  grep -qxF "$kv" "$station" || { echo "FAIL: the station's launcher lacks $kv" >&2; exit 1; }
done
grep -Eq '^Exec=rcprog( .*)? --automatic' "$station" && grep -Eq '^Exec=rcprog .*--select [^ ]+' "$station" \
  || { echo "FAIL: the station's launcher does not start rcprog with --select NAME --automatic" >&2; exit 1; }
validate "$station" "the station's launcher of the comment" || exit 1
