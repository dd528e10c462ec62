#!/usr/bin/env bash
# Builds the Debian package from a build folder with CPack and checks what an operator gets: the
# package's name, version and dependencies, every file in its place (unpacked with dpkg-deb -x
# into a scratch root, never installed into the system), the installed copies equal to the
# sources, the copyright file, the changelog and the manual pages, the unpacked rcprog-cli
# running on the system's Qt with an installed example, and lintian's verdict (no error, no
# warning). Exits 77 (skipped) when a packaging tool (lintian among them) is missing.
set -uo pipefail
usage="usage: check-deb.sh CPACK BUILD-DIR SOURCE-DIR VERSION"
CPACK=${1:?$usage}
BUILD=${2:?$usage}
SOURCE=${3:?$usage}
VERSION=${4:?$usage}

errors=0
fail() {
  echo "FAIL: $*" >&2
  errors=$((errors + 1))
}
fatal() {
  echo "FAIL: $*" >&2
  exit 1
}
# RCPROG_REQUIRE_PACKAGE_TOOLS=1 (scripts/test, which installs them) turns a skip into a failure.
skip() {
  [ "${RCPROG_REQUIRE_PACKAGE_TOOLS:-}" = 1 ] && fatal "$*"
  echo "SKIPPED: $*" >&2
  exit 77
}

command -v dpkg-deb >/dev/null 2>&1 || skip "dpkg-deb not found (package dpkg)"
command -v dpkg-shlibdeps >/dev/null 2>&1 \
  || skip "dpkg-shlibdeps not found; install the package dpkg-dev"
[ -x "$CPACK" ] || skip "cpack not found at $CPACK"
[ -f "$BUILD/CPackConfig.cmake" ] || fatal "$BUILD/CPackConfig.cmake missing: packaging/ is not part of the build"

WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT

# The package, built into the scratch folder so that the build folder stays as it is.
if ! (cd "$WORK" && "$CPACK" -G DEB --config "$BUILD/CPackConfig.cmake" -B "$WORK/out") \
  >"$WORK/cpack.log" 2>&1; then
  cat "$WORK/cpack.log" >&2
  fatal "cpack -G DEB failed"
fi
shopt -s nullglob
debs=("$WORK"/out/*.deb)
[ ${#debs[@]} -eq 1 ] || { cat "$WORK/cpack.log" >&2; fatal "expected one .deb, got ${#debs[@]}"; }
DEB=${debs[0]}
echo "package: $(basename "$DEB")"

field() { dpkg-deb -f "$DEB" "$1"; }
[ "$(field Package)" = rcprog ] || fail "Package is '$(field Package)', not rcprog"
[ "$(field Version)" = "$VERSION" ] || fail "Version is '$(field Version)', not $VERSION"
arch=$(dpkg --print-architecture)
[ "$(field Architecture)" = "$arch" ] || fail "Architecture is '$(field Architecture)', not $arch"

# Depends: the names of all alternatives, without version constraints.
depends=$(field Depends)
echo "Depends: $depends"
mapfile -t depend_names < <(tr ',|' '\n\n' <<<"$depends" | sed -E 's/\(.*\)//; s/:[a-z0-9]+//; s/[[:space:]]//g' | sed '/^$/d')
depends_on() {
  local d
  for d in "${depend_names[@]}"; do [ "$d" = "$1" ] && return 0; done
  return 1
}
for p in libqt6core6 libqt6gui6 libqt6widgets6 qt6-qpa-plugins libc6 libstdc++6; do
  depends_on "$p" || fail "Depends lacks $p"
done

# The description: a synopsis, then an extended description that does not repeat it, in lines
# that start with one space and no stray character.
synopsis=$(field Description | head -n1)
[ "$synopsis" = "$(sed -n 's/^project(.*DESCRIPTION "\([^"]*\)".*/\1/p' "$SOURCE/CMakeLists.txt")" ] \
  || fail "the synopsis '$synopsis' is not the project's description"
dpkg-deb -I "$DEB" control >"$WORK/control"
sed -n '/^Description:/,/^[^ ]/p' "$WORK/control" | sed '1d; /^[^ ]/d' >"$WORK/extended"
[ -s "$WORK/extended" ] || fail "the package has no extended description"
grep -qxF " $synopsis" "$WORK/extended" && fail "the extended description repeats the synopsis"
grep -nv '^ [^ ;]' "$WORK/extended" | sed 's/^/  /' | grep . && fail "extended description lines that do not start with one space and a word (above)"
awk 'length > 80 { exit 1 }' "$WORK/extended" || fail "extended description lines longer than 80 characters"

ROOT="$WORK/root"
dpkg-deb -x "$DEB" "$ROOT" || fatal "dpkg-deb -x failed"
dpkg-deb -c "$DEB" >"$WORK/contents" || fatal "dpkg-deb -c failed"

PROGRAMS=(rcprog rcprog-cli rcprog-sim)
for p in "${PROGRAMS[@]}"; do
  f="$ROOT/usr/bin/$p"
  if [ ! -f "$f" ]; then fail "usr/bin/$p missing"; continue; fi
  grep -Eq "^-rwxr-xr-x .* \./usr/bin/$p\$" "$WORK/contents" || fail "usr/bin/$p is not mode 0755"
done
# Nothing but the three programs in bin/ (no test or benchmark programs).
for f in "$ROOT"/usr/bin/*; do
  case $(basename "$f") in rcprog | rcprog-cli | rcprog-sim) ;; *) fail "unexpected program usr/bin/$(basename "$f")" ;; esac
done

# The data files, each identical to its source and not executable.
same_file() { # INSTALLED SOURCE
  local rel=${1#"$ROOT"/}
  if [ ! -f "$1" ]; then
    fail "$rel missing"
  elif ! cmp -s "$1" "$2"; then
    fail "$rel differs from $2"
  elif ! grep -Eq "^-rw-r--r-- .* \./$rel\$" "$WORK/contents"; then
    fail "$rel is not mode 0644"
  fi
}
same_file "$ROOT/usr/lib/udev/rules.d/70-rcprog.rules" "$SOURCE/packaging/linux/70-rcprog.rules"
same_file "$ROOT/usr/share/applications/rcprog.desktop" "$SOURCE/packaging/linux/rcprog.desktop"
same_file "$ROOT/usr/share/icons/hicolor/scalable/apps/rcprog.svg" "$SOURCE/packaging/linux/rcprog.svg"
examples=("$SOURCE"/configfiles/*.ini)
[ ${#examples[@]} -gt 0 ] || fatal "no example configuration files in $SOURCE/configfiles"
for src in "${examples[@]}"; do
  same_file "$ROOT/usr/share/rcprog/configfiles/$(basename "$src")" "$src"
done
for f in "$ROOT"/usr/share/rcprog/configfiles/*; do
  [ -f "$SOURCE/configfiles/$(basename "$f")" ] || fail "unexpected file usr/share/rcprog/configfiles/$(basename "$f")"
done

# The desktop entry starts a program of the package and names the package's icon.
entry="$ROOT/usr/share/applications/rcprog.desktop"
if [ -f "$entry" ]; then
  exec_prog=$(sed -n 's/^Exec=\([^ ]*\).*/\1/p' "$entry" | head -n1)
  icon=$(sed -n 's/^Icon=//p' "$entry" | head -n1)
  [ -n "$exec_prog" ] && [ -x "$ROOT/usr/bin/$exec_prog" ] \
    || fail "the desktop entry's Exec '$exec_prog' is not a program of the package"
  [ -n "$icon" ] && [ -f "$ROOT/usr/share/icons/hicolor/scalable/apps/$icon.svg" ] \
    || fail "the desktop entry's Icon '$icon' is not the package's icon"
fi

# Every library the programs need directly comes from a package named in Depends.
if command -v objdump >/dev/null 2>&1; then
  for p in "${PROGRAMS[@]}"; do
    [ -f "$ROOT/usr/bin/$p" ] || continue
    for lib in $(objdump -p "$ROOT/usr/bin/$p" | awk '$1 == "NEEDED" { print $2 }'); do
      owners=$(dpkg -S "*/$lib" 2>/dev/null | sed -E 's/:.*//; s/,/ /g' | tr ' ' '\n' | sed -E 's/:[a-z0-9]+$//' | sort -u)
      provided=no
      for o in $owners; do depends_on "$o" && provided=yes; done
      [ $provided = yes ] || fail "usr/bin/$p needs $lib (from: ${owners:-no package}), which Depends does not name"
    done
  done
else
  echo "objdump not found (package binutils): library check of Depends skipped"
fi

# The copyright file in Debian's machine-readable form, with the license text of LICENSE.
copyright="$ROOT/usr/share/doc/rcprog/copyright"
if [ ! -f "$copyright" ]; then
  fail "usr/share/doc/rcprog/copyright missing"
else
  head -n1 "$copyright" | grep -qx 'Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/' \
    || fail "the copyright file is not in the machine-readable format"
  # The text is the stand-alone paragraph, the last "License: Expat".
  awk '/^License: Expat$/ { n = NR } { line[NR] = $0 } END { for (i = n + 1; i <= NR; i++) print line[i] }' \
    "$copyright" | sed 's/^ //; s/^\.$//' >"$WORK/license.packaged"
  sed '1,/^Copyright (c)/d' "$SOURCE/LICENSE" | sed '/./,$!d' >"$WORK/license.source"
  cmp -s "$WORK/license.packaged" "$WORK/license.source" \
    || fail "the license text in the copyright file differs from LICENSE"
fi
# The changelog, compressed, its top entry for this version.
changelog="$ROOT/usr/share/doc/rcprog/changelog.gz"
if [ ! -f "$changelog" ]; then
  fail "usr/share/doc/rcprog/changelog.gz missing"
elif ! gzip -t "$changelog" 2>/dev/null; then
  fail "usr/share/doc/rcprog/changelog.gz is not gzip data"
else
  top=$(gzip -dc "$changelog" | head -n1)
  [[ $top == "rcprog ($VERSION) "* ]] || fail "the changelog's top entry is '$top', not for $VERSION"
fi

# A manual page for each program, made from the program's own help: every option its --help
# names is in the page, and man finds the page by the program's name.
for p in "${PROGRAMS[@]}"; do
  page="$ROOT/usr/share/man/man1/$p.1.gz"
  if [ ! -f "$page" ]; then fail "usr/share/man/man1/$p.1.gz missing"; continue; fi
  grep -Eq "^-rw-r--r-- .* \./usr/share/man/man1/$p\.1\.gz\$" "$WORK/contents" \
    || fail "usr/share/man/man1/$p.1.gz is not mode 0644"
  gzip -t "$page" 2>/dev/null || { fail "usr/share/man/man1/$p.1.gz is not gzip data"; continue; }
  title=${p^^}
  gzip -dc "$page" | grep -qF ".TH \"${title//-/\\-}\" \"1\" " || fail "$p.1.gz has no title line for $p"
  if ! command -v man >/dev/null 2>&1; then
    echo "man not found (package man-db): the pages' text is not checked"
    continue
  fi
  found=$(MANPATH="$ROOT/usr/share/man" man -w "$p" 2>/dev/null)
  [ "$found" = "$page" ] || fail "man -w $p finds '$found', not the package's page"
  MANWIDTH=200 man -l "$page" 2>"$WORK/man.err" | col -b >"$WORK/man.txt"
  [ -s "$WORK/man.err" ] && { cat "$WORK/man.err" >&2; fail "man complains about $p.1.gz"; }
  grep -Eq "^ +$p - [a-z]" "$WORK/man.txt" || fail "$p.1.gz has no NAME line for $p"
  if "$ROOT/usr/bin/$p" --help >"$WORK/help.txt" 2>/dev/null; then
    for option in $(grep -oE -- '--[a-z][a-z-]+' "$WORK/help.txt" | sort -u); do
      grep -qF -- "$option" "$WORK/man.txt" || fail "$p.1.gz does not mention $option, which $p --help names"
    done
  else
    fail "unpacked $p --help exits non-zero"
  fi
done

# The unpacked command-line program runs on the system's libraries.
CLI="$ROOT/usr/bin/rcprog-cli"
if [ -x "$CLI" ]; then
  if ! "$CLI" --help >"$WORK/help" 2>&1; then
    fail "unpacked rcprog-cli --help exits non-zero"
  elif ! grep -q '^usage: rcprog-cli' "$WORK/help"; then
    fail "unpacked rcprog-cli --help does not print the usage"
  fi
  for f in "$ROOT"/usr/share/rcprog/configfiles/*.ini; do
    name=$(basename "$f")
    if ! "$CLI" record "$f" >"$WORK/record.installed" 2>"$WORK/record.err"; then
      cat "$WORK/record.err" >&2
      fail "unpacked rcprog-cli record $name exits non-zero"
      continue
    fi
    # The same record as the program of the build folder gives for the source file.
    "$BUILD/cli/rcprog-cli" record "$SOURCE/configfiles/$name" >"$WORK/record.built" 2>/dev/null
    grep -q '"configurationBlock": \[' "$WORK/record.installed" \
      || fail "rcprog-cli record $name prints no configuration block"
    cmp -s "$WORK/record.installed" "$WORK/record.built" \
      || fail "rcprog-cli record $name: the unpacked program prints another record than the built one"
  done
fi

# Debian's own checker: no error and no warning (informational tags are shown, not counted).
lintian_ran=no
if command -v lintian >/dev/null 2>&1; then
  lintian_ran=yes
  if ! lintian --info --display-info --fail-on error,warning "$DEB" >"$WORK/lintian.txt" 2>&1; then
    cat "$WORK/lintian.txt" >&2
    fail "lintian reports errors or warnings"
  else
    grep -v '^N:' "$WORK/lintian.txt" | grep -v 'root privileges is not recommended' || true
  fi
fi

if [ "$errors" -ne 0 ]; then
  echo "$errors problem(s) in $(basename "$DEB")" >&2
  exit 1
fi
[ $lintian_ran = yes ] || skip "everything else is fine, but lintian was not found (package lintian)"
echo "$(basename "$DEB"): ok"
