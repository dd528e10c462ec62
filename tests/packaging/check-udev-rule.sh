#!/usr/bin/env bash
# Checks the receiver's udev rule: every line parses as udev rule syntax (with `udevadm verify`
# where this udev has it, and always with the checks below), one rule matches the receiver's
# hidraw nodes by USB ID and tags them "uaccess", the file sorts before the seat rules that act on
# that tag, and nothing sets a mode, owner or group.
set -uo pipefail
# With --mutants, also checks that broken copies of the rule are rejected, so that each check
# is known to be able to fail.
if [ "${1:-}" = --mutants ]; then
  RULE=${2:?usage: check-udev-rule.sh [--mutants] RULEFILE}
  "$0" "$RULE" || exit 1
  dir=$(mktemp -d)
  trap 'rm -rf "$dir"' EXIT
  rule=$(cat "$RULE")
  mutant() { # NAME SED-EXPRESSION: a copy of the rule changed by the expression must fail
    local file="$dir/$1"
    printf '%s\n' "$rule" | sed "$2" >"$file"
    if "$0" "$file" >/dev/null 2>&1; then
      echo "FAIL: a rule changed by '$2' ($1) was accepted" >&2
      return 1
    fi
  }
  status=0
  mutant 70-mode.rules 's/TAG+="uaccess"/TAG+="uaccess", MODE="0666"/' || status=1
  mutant 70-group.rules 's/TAG+="uaccess"/GROUP="plugdev"/' || status=1
  mutant 70-upper.rules 's/f231/F231/' || status=1
  mutant 70-vendor.rules 's/ATTRS{idVendor}=="04b4", //' || status=1
  mutant 70-assign.rules 's/ATTRS{idProduct}=="f231"/ATTRS{idProduct}="f231"/' || status=1
  mutant 70-split.rules 's/, TAG+="uaccess"/\nTAG+="uaccess"/' || status=1
  mutant 70-quote.rules 's/"uaccess"/"uaccess/' || status=1
  mutant 70-kernel.rules 's/KERNEL=="hidraw\*", //' || status=1
  mutant 99-late.rules '' || status=1
  [ $status -eq 0 ] && echo "broken copies of the rule: all rejected"
  exit $status
fi
RULE=${1:?usage: check-udev-rule.sh [--mutants] RULEFILE}

errors=0
fail() {
  echo "FAIL: $*" >&2
  errors=$((errors + 1))
}

[ -f "$RULE" ] || { echo "FAIL: no rule file $RULE" >&2; exit 1; }

# 73-seat-late.rules turns the uaccess tag into an ACL; a rule that sorts after it tags too late.
name=$(basename "$RULE")
if [[ $name =~ ^([0-9]+)-.+\.rules$ ]]; then
  [ $((10#${BASH_REMATCH[1]})) -lt 73 ] || fail "$name sorts after 73-seat-late.rules"
else
  fail "$name is not named NN-name.rules"
fi

if command -v udevadm >/dev/null 2>&1 && udevadm verify --help >/dev/null 2>&1; then
  echo "udevadm verify:"
  udevadm verify --resolve-names=never "$RULE" || fail "udevadm verify rejects $RULE"
else
  echo "udevadm verify is not available here (udev older than 253 or not installed);" \
       "checking the syntax with the rules below only"
fi

# One key of a rule: NAME, NAME{attribute}; matches use == or !=, assignments =, +=, -= or :=.
match_keys='ACTION|DEVPATH|KERNEL|KERNELS|NAME|SYMLINK|SUBSYSTEM|SUBSYSTEMS|DRIVER|DRIVERS|ATTR|SYSCTL|ATTRS|TAG|TAGS|TEST|PROGRAM|RESULT|ENV|CONST'
assign_keys='NAME|SYMLINK|OWNER|GROUP|MODE|TAG|ATTR|SYSCTL|ENV|RUN|LABEL|GOTO|IMPORT|OPTIONS|SECLABEL'
key_re="^(($match_keys)(\\{[^}\"]+\\})?(==|!=)|($assign_keys)(\\{[^}\"]+\\})?(=|\\+=|-=|:=))\"[^\"]*\"$"

receiver_rules=0
lineno=0
while IFS= read -r line || [ -n "$line" ]; do
  lineno=$((lineno + 1))
  # Comments and blank lines; a rule continued with a backslash is not used here.
  [[ $line =~ ^[[:space:]]*(#.*)?$ ]] && continue
  [[ $line == *\\ ]] && { fail "line $lineno: continued lines are not expected"; continue; }
  rest=$line
  keys=()
  while [ -n "$rest" ]; do
    # The next key: up to the closing quote of its value.
    if [[ $rest =~ ^[[:space:]]*([A-Z_]+(\{[^}\"]+\})?[^\"[:space:]]*\"[^\"]*\")[[:space:]]*(,[[:space:]]*|$)(.*)$ ]]; then
      key=${BASH_REMATCH[1]}
      rest=${BASH_REMATCH[4]}
      [[ $key =~ $key_re ]] || fail "line $lineno: not a udev key: $key"
      keys+=("$key")
    else
      fail "line $lineno: cannot parse: $rest"
      break
    fi
  done
  for key in "${keys[@]}"; do
    [[ $key =~ ^(MODE|OWNER|GROUP) ]] && fail "line $lineno: sets $key; access comes from the uaccess tag only"
  done
  # All of the receiver's matches and the tag must be keys of one rule (one line).
  has() {
    local k
    for k in "${keys[@]}"; do [ "$k" = "$1" ] && return 0; done
    return 1
  }
  if has 'ATTRS{idVendor}=="04b4"' && has 'ATTRS{idProduct}=="f231"'; then
    receiver_rules=$((receiver_rules + 1))
    has 'SUBSYSTEM=="hidraw"' || fail "line $lineno: does not match SUBSYSTEM==\"hidraw\""
    has 'KERNEL=="hidraw*"' || fail "line $lineno: does not match KERNEL==\"hidraw*\""
    has 'TAG+="uaccess"' || fail "line $lineno: does not add TAG+=\"uaccess\""
  elif has 'TAG+="uaccess"'; then
    fail "line $lineno: tags devices other than the receiver 04b4:f231"
  fi
done <"$RULE"

# The IDs are compared with sysfs text, which is lower-case hex.
grep -Eiq 'idVendor}=="04b4"' "$RULE" && ! grep -q 'idVendor}=="04b4"' "$RULE" \
  && fail "the vendor ID must be written in lower case"
grep -Eiq 'idProduct}=="f231"' "$RULE" && ! grep -q 'idProduct}=="f231"' "$RULE" \
  && fail "the product ID must be written in lower case"
[ "$receiver_rules" -eq 1 ] \
  || fail "expected one rule matching ATTRS{idVendor}==\"04b4\" and ATTRS{idProduct}==\"f231\", found $receiver_rules"
grep -q 'MODE' "$RULE" && fail "the rule mentions MODE"

if [ "$errors" -ne 0 ]; then
  echo "$RULE: $errors problem(s)" >&2
  exit 1
fi
echo "$RULE: ok"
