#!/usr/bin/env bash
# The kernel test: boots a Debian kernel under QEMU (software emulation) with an initramfs that
# holds busybox, the HID modules, rcprog-virtual-receiver, rcprog-hidraw-probe, rcprog-cli, the
# headless station (the window's threads without a window) and the search benchmark against
# hidapi, runs every scenario in one boot (guest-init.sh), and judges the serial log here on the
# host.
#
# Usage: tests/kernel/run.sh [BUILD_DIR]     (default: $RCPROG_BUILD_DIR, else <repo>/build)
#
# BUILD_DIR is a normal CMake build of the project: rcprog-cli is taken from BUILD_DIR/cli and
# the station from BUILD_DIR/tests/kernel/station. The virtual receiver, the probe and the search
# benchmark are taken from BUILD_DIR too when the build has them, and built on their own under
# BUILD_DIR/kernel-test/tools otherwise (the benchmark needs hidapi, which this test installs for
# it alone). Downloads are cached in
# BUILD_DIR/kernel-test/cache, so a second run needs no network.
#
# Environment:
#   RCPROG_KERNEL_TEST_BUDGET  seconds for the whole test after the host tools are installed
#                              (default 480)
#   RCPROG_KERNEL_TEST_STRICT  1: a skip (no kernel or QEMU to be had) fails the run
#   RCPROG_KERNEL_TEST_ONLY    space-separated scenario names to run instead of all
#   RCPROG_KERNEL_TEST_LOG     judge this serial log of an earlier run instead of booting
#
# Ends with a line "N passed, N failed" (", 1 skipped" when skipped) and exits non-zero on failure.

set -u

HERE=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
REPO=$(cd "$HERE/../.." && pwd)
BUILD=${1:-${RCPROG_BUILD_DIR:-$REPO/build}}
case "$BUILD" in /*) ;; *) BUILD=$(pwd)/$BUILD ;; esac
WORK=$BUILD/kernel-test
CACHE=$WORK/cache
BUDGET=${RCPROG_KERNEL_TEST_BUDGET:-480}
STRICT=${RCPROG_KERNEL_TEST_STRICT:-0}

PASSED=0
FAILED=0

log() { echo "kernel-test: $*"; }

skip() {
    echo
    echo "**********************************************************************"
    echo "*** KERNEL TEST SKIPPED: $*"
    echo "*** The Linux hidraw backend was NOT tested against a real kernel."
    echo "**********************************************************************"
    if [ "$STRICT" = 1 ]; then
        echo "0 passed, 1 failed"
        exit 1
    fi
    echo "0 passed, 0 failed, 1 skipped"
    exit 0
}

fatal() {
    log "FAIL: $*"
    echo "0 passed, 1 failed"
    exit 1
}

as_root() {
    if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi
}

APT_UPDATED=0
apt_update_once() {
    [ $APT_UPDATED = 1 ] && return 0
    APT_UPDATED=1
    as_root apt-get -o DPkg::Lock::Timeout=300 update -qq >"$WORK/apt-update.log" 2>&1
}

apt_install() {
    local env=(env DEBIAN_FRONTEND=noninteractive)
    if ! as_root "${env[@]}" apt-get -o DPkg::Lock::Timeout=300 install -y -qq "$@" \
        >"$WORK/apt-install.log" 2>&1; then
        apt_update_once
        as_root "${env[@]}" apt-get -o DPkg::Lock::Timeout=300 install -y -qq "$@" \
            >"$WORK/apt-install.log" 2>&1
    fi
}

mkdir -p "$WORK" "$CACHE" || fatal "cannot create $WORK"

# ---------------------------------------------------------------------------------------------
# Host tools.
need=()
command -v qemu-system-x86_64 >/dev/null || need+=(qemu-system-x86)
dpkg -s busybox-static >/dev/null 2>&1 || need+=(busybox-static)
command -v cpio >/dev/null || need+=(cpio)
command -v xz >/dev/null || need+=(xz-utils)
command -v gzip >/dev/null || need+=(gzip)
# hidapi, only for the search benchmark against hid_enumerate.
dpkg -s libhidapi-dev >/dev/null 2>&1 || need+=(libhidapi-dev)
command -v pkg-config >/dev/null || need+=(pkg-config)
if [ ${#need[@]} -gt 0 ]; then
    log "installing ${need[*]}"
    apt_install "${need[@]}" || skip "apt-get could not install ${need[*]} (see $WORK/apt-install.log)"
fi
command -v qemu-system-x86_64 >/dev/null || skip "qemu-system-x86_64 is not available"
BUSYBOX=/bin/busybox
if [ ! -x "$BUSYBOX" ] || ldd "$BUSYBOX" >/dev/null 2>&1; then
    skip "no static busybox at $BUSYBOX"
fi

START=$SECONDS
remaining() { echo $((BUDGET - (SECONDS - START))); }

# ---------------------------------------------------------------------------------------------
# The kernel: the package that linux-image-amd64 currently depends on, downloaded (not
# installed) and cached; only vmlinuz and the three HID modules are unpacked.
kernel_package() {
    apt-cache depends linux-image-amd64 2>/dev/null \
        | awk '$1 == "Depends:" && $2 ~ /^linux-image-/ { print $2; exit }'
}
KPKG=$(kernel_package)
if [ -z "$KPKG" ]; then
    apt_update_once
    KPKG=$(kernel_package)
fi
DEB=""
if [ -n "$KPKG" ]; then
    DEB=$(ls -t "$CACHE/${KPKG}"_*.deb 2>/dev/null | head -n 1)
    if [ -z "$DEB" ]; then
        log "downloading $KPKG"
        rm -rf "$CACHE/download"
        mkdir -p "$CACHE/download"
        # apt's download sandbox user may not write here; the download still works as root.
        (cd "$CACHE/download" && apt-get download "$KPKG" >"$WORK/apt-download.log" 2>&1) \
            || { apt_update_once && (cd "$CACHE/download" && apt-get download "$KPKG" \
                >"$WORK/apt-download.log" 2>&1); }
        if ls "$CACHE/download/${KPKG}"_*.deb >/dev/null 2>&1; then
            # The new kernel replaces the one cached before.
            rm -rf "$CACHE"/linux-image-*
            mv "$CACHE/download/${KPKG}"_*.deb "$CACHE/"
        fi
        rm -rf "$CACHE/download"
        DEB=$(ls -t "$CACHE/${KPKG}"_*.deb 2>/dev/null | head -n 1)
    fi
fi
if [ -z "$DEB" ]; then
    # No package index to ask: a kernel cached by an earlier run still serves.
    DEB=$(ls -t "$CACHE"/linux-image-*.deb 2>/dev/null | head -n 1)
    [ -n "$DEB" ] && log "using the cached $(basename "$DEB"): the package index could not be read"
fi
if [ -z "$DEB" ]; then
    [ -n "$KPKG" ] || skip "apt cannot tell which kernel package linux-image-amd64 depends on"
    skip "apt-get download $KPKG failed (see $WORK/apt-download.log)"
fi

KDIR=$CACHE/$(basename "$DEB" .deb)
if [ ! -f "$KDIR/.unpacked" ]; then
    log "unpacking $(basename "$DEB")"
    rm -rf "$KDIR"
    mkdir -p "$KDIR/x" "$KDIR/modules"
    dpkg-deb --fsys-tarfile "$DEB" \
        | tar -x -C "$KDIR/x" --wildcards './boot/vmlinuz-*' '*/drivers/hid/hid.ko*' \
            '*/drivers/hid/hid-generic.ko*' '*/drivers/hid/uhid.ko*' \
        || skip "cannot unpack $DEB"
    cp "$KDIR"/x/boot/vmlinuz-* "$KDIR/vmlinuz" || skip "no vmlinuz in $DEB"
    for m in hid hid-generic uhid; do
        src=$(find "$KDIR/x" -path "*/drivers/hid/$m.ko*" | head -n 1)
        [ -n "$src" ] || skip "no $m module in $DEB"
        # busybox insmod may not read compressed modules: decompress here.
        case "$src" in
        *.ko) cp "$src" "$KDIR/modules/$m.ko" ;;
        *.ko.xz) xz -dc "$src" >"$KDIR/modules/$m.ko" ;;
        *.ko.gz) gzip -dc "$src" >"$KDIR/modules/$m.ko" ;;
        *.ko.zst)
            command -v zstd >/dev/null || apt_install zstd
            zstd -qdc "$src" >"$KDIR/modules/$m.ko" ;;
        *) skip "unknown module format $src" ;;
        esac || skip "cannot decompress $src"
    done
    rm -rf "$KDIR/x"
    touch "$KDIR/.unpacked"
fi

# ---------------------------------------------------------------------------------------------
# The programs that go into the guest.
build_tool() { # NAME SOURCE_DIR: prints the path of the binary
    local name=$1 src=$2 dir=$WORK/tools/$1
    if [ ! -f "$dir/CMakeCache.txt" ]; then
        cmake -S "$src" -B "$dir" -DCMAKE_BUILD_TYPE=Release >"$WORK/tools-$name.log" 2>&1 \
            || return 1
    fi
    cmake --build "$dir" -j2 >>"$WORK/tools-$name.log" 2>&1 || return 1
    echo "$dir/$name"
}
VR=$BUILD/usb/virtual-receiver/rcprog-virtual-receiver
[ -x "$VR" ] || VR=$(build_tool rcprog-virtual-receiver "$REPO/usb/virtual-receiver") \
    || fatal "building rcprog-virtual-receiver failed (see $WORK/tools-rcprog-virtual-receiver.log)"
PROBE=$BUILD/tests/kernel/probe/rcprog-hidraw-probe
[ -x "$PROBE" ] || PROBE=$(build_tool rcprog-hidraw-probe "$REPO/tests/kernel/probe") \
    || fatal "building rcprog-hidraw-probe failed (see $WORK/tools-rcprog-hidraw-probe.log)"
CLI=$BUILD/cli/rcprog-cli
HAVE_CLI=0
[ -x "$CLI" ] && HAVE_CLI=1
STATION=$BUILD/tests/kernel/station/rcprog-kernel-station
HAVE_STATION=0
[ -x "$STATION" ] && HAVE_STATION=1
BENCH=$BUILD/tests/kernel/search-bench/rcprog-search-bench
[ -x "$BENCH" ] || BENCH=$(build_tool rcprog-search-bench "$REPO/tests/kernel/search-bench") \
    || BENCH=""
[ -n "$BENCH" ] && [ ! -x "$BENCH" ] && BENCH=""

# The bundled examples, and what rcprog-cli dump says each of them sends.
CONFIGS=()
for f in "$REPO"/configfiles/*.ini; do
    [ -f "$f" ] && CONFIGS+=("$f")
done

# ---------------------------------------------------------------------------------------------
# Scenarios, in the order the guest runs them.
SCENARIOS=(probe-basic probe-two probe-length16 probe-descriptor4096 probe-unplug)
if [ $HAVE_CLI = 1 ] && [ ${#CONFIGS[@]} -gt 0 ]; then
    for f in "${CONFIGS[@]}"; do SCENARIOS+=("example:$(basename "$f")"); done
    SCENARIOS+=(second-device other-only unplug:1 unplug:10 stalled:3 access-denied)
    SCENARIOS+=(composite quiet devices all each)
    [ $HAVE_STATION = 1 ] && SCENARIOS+=(swap)
fi
[ -n "$BENCH" ] && SCENARIOS+=(bench)
if [ -n "${RCPROG_KERNEL_TEST_ONLY:-}" ]; then
    read -r -a SCENARIOS <<<"$RCPROG_KERNEL_TEST_ONLY"
fi

# ---------------------------------------------------------------------------------------------
# The initramfs.
ROOT=$WORK/root
rm -rf "$ROOT"
mkdir -p "$ROOT"/{bin,etc,modules,proc,sys,dev,tmp,kt/bin,kt/configs}
cp "$BUSYBOX" "$ROOT/bin/busybox"
cp "$KDIR"/modules/*.ko "$ROOT/modules/"
cp "$HERE/guest-init.sh" "$ROOT/init"
chmod 755 "$ROOT/init"
chmod 1777 "$ROOT/tmp"
# An unprivileged user for the access-denied scenario.
printf 'root:x:0:0:root:/tmp:/bin/sh\nuser:x:1000:1000:user:/tmp:/bin/sh\n' >"$ROOT/etc/passwd"
printf 'root:x:0:\nuser:x:1000:\n' >"$ROOT/etc/group"

# add_program BINARY: the binary into /kt/bin, its shared libraries and loader at their paths.
add_program() {
    local bin=$1 lib
    cp "$bin" "$ROOT/kt/bin/" || return 1
    ldd "$bin" >/dev/null 2>&1 || return 0 # static
    for lib in $(ldd "$bin" | awk '/=> \// { print $3 } /^[ \t]*\/[^ ]+ \(/ { print $1 }'); do
        [ -e "$ROOT$lib" ] && continue
        mkdir -p "$ROOT$(dirname "$lib")"
        cp -L "$lib" "$ROOT$lib" || return 1
    done
}
add_program "$VR" || fatal "cannot copy $VR"
add_program "$PROBE" || fatal "cannot copy $PROBE"
if [ $HAVE_CLI = 1 ]; then
    add_program "$CLI" || fatal "cannot copy $CLI and its libraries"
fi
if [ $HAVE_STATION = 1 ]; then
    add_program "$STATION" || fatal "cannot copy $STATION and its libraries"
fi
if [ -n "$BENCH" ]; then
    add_program "$BENCH" || fatal "cannot copy $BENCH and its libraries (hidapi, libudev)"
fi
for f in "${CONFIGS[@]}"; do cp "$f" "$ROOT/kt/configs/"; done
printf '%s\n' "${SCENARIOS[@]}" >"$ROOT/kt/scenarios"

INITRD=$WORK/initramfs.cpio.gz
(cd "$ROOT" && find . -print | LC_ALL=C sort | cpio -o -H newc -R 0:0 --quiet) | gzip -1 >"$INITRD" \
    || fatal "cannot build the initramfs"
log "initramfs $(du -h "$INITRD" | cut -f1) ($(du -sh "$ROOT" | cut -f1) unpacked), ${#SCENARIOS[@]} scenarios"

# ---------------------------------------------------------------------------------------------
# Boot.
boot_guest() {
    local limit start
    limit=$(($(remaining) - 5))
    [ "$limit" -ge 30 ] || fatal "the time budget is used up before the boot ($((SECONDS - START)) s)"
    log "booting $(basename "$KDIR") under QEMU (limit ${limit} s)"
    start=$SECONDS
    timeout -k 5 "$limit" qemu-system-x86_64 -machine pc -accel tcg -cpu max -smp 1 -m 512 \
        -nodefaults -no-user-config -nographic -serial stdio -monitor none -no-reboot \
        -kernel "$KDIR/vmlinuz" -initrd "$INITRD" \
        -append "console=ttyS0 panic=-1 loglevel=3 rdinit=/init" </dev/null >"$LOG" 2>&1
    QEMU_STATUS=$?
    log "guest ran $((SECONDS - start)) s, QEMU exit status $QEMU_STATUS; log: $LOG"
}

LOG=$WORK/serial.log
QEMU_STATUS="(not run)"
if [ -n "${RCPROG_KERNEL_TEST_LOG:-}" ]; then
    LOG=$RCPROG_KERNEL_TEST_LOG
    log "judging $LOG"
else
    boot_guest
fi

# ---------------------------------------------------------------------------------------------
# Judging.
CLEAN=$WORK/serial.clean
tr -d '\r' <"$LOG" | sed 's/\x1b\[[0-9;?]*[A-Za-z]//g; s/\x1bc//g' >"$CLEAN"

# kt SCENARIO STREAM: the texts of that scenario's lines of that stream.
kt() {
    awk -v sc="$1" -v st="$2" '
        { i = index($0, "KT|"); if (i == 0) next; line = substr($0, i) }
        {
            n = split(line, f, "|")
            if (n < 4 || f[2] != sc || f[3] != st) next
            prefix = length(f[1]) + length(f[2]) + length(f[3]) + 4
            print substr(line, prefix)
        }' "$CLEAN"
}

ERRORS=()
verdict() { # NAME
    if [ ${#ERRORS[@]} -eq 0 ]; then
        PASSED=$((PASSED + 1))
        echo "PASS  $1"
    else
        FAILED=$((FAILED + 1))
        echo "FAIL  $1"
        local e
        for e in "${ERRORS[@]}"; do echo "        - $e"; done
    fi
    ERRORS=()
}

# dump_reports FILE [N] [R]: what rcprog-cli dump says N passes (default 1) of FILE send back to
# back, as the programming thread sends them for N requests, to a receiver with R payload bytes
# per report (default 8): the reports, one per line.
dump_reports() {
    "$CLI" dump "$1" --passes "${2:-1}" --report-length "${3:-8}" 2>/dev/null | sed -n 's/^W //p'
}

# dump_last_pass FILE N [R]: of those, the reports of the N-th pass alone.
dump_last_pass() {
    "$CLI" dump "$1" --passes "$2" --report-length "${3:-8}" 2>/dev/null \
        | awk -v k="$2" '/^# pass / { p = $3 } p == k && /^W / { print substr($0, 3) }'
}

# node_of SCENARIO TAG [keyboard]: the number of the hidraw node a virtual receiver announced
# (of its keyboard device when asked).
node_of() {
    if [ "${3:-}" = keyboard ]; then
        kt "$1" "$2-stderr" | sed -n 's/.*ready:.* keyboard node \/dev\/hidraw\([0-9]*\),.*/\1/p' | head -n 1
    else
        kt "$1" "$2-stderr" | sed -n 's/.*ready:.* node \/dev\/hidraw\([0-9]*\)$/\1/p' | head -n 1
    fi
}

has_line() { # SCENARIO STREAM REGEX
    kt "$1" "$2" | grep -Eq "$3"
}
value_of() { # SCENARIO STREAM KEY: the value of KEY=... in the first line that has it
    kt "$1" "$2" | sed -n "s/.*\b$3=\([^ ]*\).*/\1/p" | head -n 1
}

# same_reports SCENARIO TAG EXPECTED-FILE [COUNT]: what receiver TAG printed equals the expected
# reports (the first COUNT of them when given).
same_reports() {
    local sc=$1 tag=$2 want=$3 count=${4:-} got=$WORK/got.txt exp=$WORK/exp.txt
    kt "$sc" "$tag" >"$got"
    if [ -n "$count" ]; then head -n "$count" "$want" >"$exp"; else cp "$want" "$exp"; fi
    if [ -n "$count" ] && [ "$(wc -l <"$exp")" -lt "$count" ]; then
        ERRORS+=("the dump has fewer than $count reports")
        return
    fi
    if ! cmp -s "$got" "$exp"; then
        local first
        first=$(diff <(nl -ba "$exp") <(nl -ba "$got") | grep -m1 '^[<>]')
        ERRORS+=("receiver '$tag' got $(wc -l <"$got") reports, expected $(wc -l <"$exp"); first difference: $first")
    fi
}

check_fds() { # SCENARIO
    local before after search open
    before=$(value_of "$1" out before)
    search=$(value_of "$1" out afterSearch)
    open=$(value_of "$1" out whileOpen)
    after=$(value_of "$1" out afterClose)
    if [ -z "$before" ] || [ -z "$search" ] || [ -z "$open" ] || [ -z "$after" ]; then
        ERRORS+=("the probe printed no fd counts")
        return
    fi
    [ "$search" = "$before" ] || ERRORS+=("a search pass left fds open: $before before, $search after")
    [ "$open" = $((before + 2)) ] || ERRORS+=("an open pass holds $((open - before)) fds, expected 2")
    [ "$after" = "$before" ] || ERRORS+=("fds left open after close: $before before, $after after")
}

check_probe_receiver() { # SCENARIO NAME LENGTH: the receiver as the probe saw it
    local sc=$1 name=$2 len=$3
    has_line "$sc" out "^interface path=/dev/hidraw[0-9]+ vendor=04B4 product=F231 inputReportLength=$((len + 1)) name=\"$name\" matched=yes$" \
        || ERRORS+=("no interface line for the receiver (04B4:F231, input length $((len + 1)), name '$name')")
    [ "$(kt "$sc" out | grep -c 'matched=yes$')" = 1 ] \
        || ERRORS+=("not exactly one interface matched")
    has_line "$sc" out '^search matched=yes accessDenied=no$' \
        || ERRORS+=("the search pass did not match")
    has_line "$sc" out "^open matched=yes reportDataLength=$len name=\"$name\" infoHandle=yes writeHandle=yes$" \
        || ERRORS+=("the open pass did not open the receiver with report data length $len and name '$name'")
    check_fds "$sc"
}

OPENING="00 03 01 00 00 00 00 00 00"

judge() { # SCENARIO
    local sc=$1 exit_status want tag
    ERRORS=()
    if ! grep -aq "KT|$sc|end|" "$CLEAN"; then
        ERRORS+=("the scenario did not finish in the guest")
        verdict "$sc"
        return
    fi
    exit_status=$(kt "$sc" exit | tail -n 1)
    case "$sc" in
    stalled:*) ;; # a receiver that stops reading fills the queue on purpose
    *)
        [ "$(kt "$sc" queue-full)" = 0 ] \
            || ERRORS+=("uhid dropped output reports (its queue was full: the receiver read too slowly)")
        ;;
    esac
    for tag in rx rx2 rx16 rx64 other; do
        if has_line "$sc" "$tag-node" 'none'; then ERRORS+=("receiver '$tag' got no hidraw node"); fi
    done
    case "$sc" in
    probe-basic)
        [ "$exit_status" = 0 ] || ERRORS+=("the probe exited with $exit_status")
        check_probe_receiver "$sc" "Virtual receiver A" 8
        has_line "$sc" out '^write n=1 ok=yes$' \
            || ERRORS+=("the report write failed")
        [ "$(kt "$sc" rx)" = "$OPENING" ] || ERRORS+=("the receiver did not get exactly the opening report: $(kt "$sc" rx | head -n 3 | tr '\n' '/')")
        ;;
    probe-two)
        [ "$exit_status" = 0 ] || ERRORS+=("the probe exited with $exit_status")
        check_probe_receiver "$sc" "Virtual receiver B" 8
        has_line "$sc" out '^interface .* vendor=04B4 product=F232 inputReportLength=9 name="Other product" matched=no$' \
            || ERRORS+=("the other product's interface is not listed as unmatched")
        [ -z "$(kt "$sc" other)" ] || ERRORS+=("the other product received reports")
        ;;
    probe-length16)
        [ "$exit_status" = 0 ] || ERRORS+=("the probe exited with $exit_status")
        check_probe_receiver "$sc" "Sixteen" 16
        has_line "$sc" out '^write n=1 ok=yes$' \
            || ERRORS+=("the report write failed")
        [ "$(kt "$sc" rx)" = "00 03 01$(printf ' 00%.0s' $(seq 14))" ] \
            || ERRORS+=("the receiver did not get one 17-byte opening report: $(kt "$sc" rx | head -n 2 | tr '\n' '/')")
        ;;
    probe-descriptor4096)
        [ "$exit_status" = 0 ] || ERRORS+=("the probe exited with $exit_status")
        check_probe_receiver "$sc" "Large descriptor" 8
        has_line "$sc" out '^write n=1 ok=yes$' \
            || ERRORS+=("the report write failed")
        ;;
    probe-unplug)
        [ "$exit_status" = 0 ] || ERRORS+=("the probe exited with $exit_status")
        has_line "$sc" out '^write n=1 ok=yes$' \
            || ERRORS+=("write 1 failed")
        has_line "$sc" out '^write n=2 ok=yes$' \
            || ERRORS+=("write 2 failed")
        has_line "$sc" out '^write n=6 ok=no$' \
            || ERRORS+=("write 6 succeeded on an unplugged device")
        kt "$sc" out | sed -n 's/^write n=[0-9]* ok=//p' | tr '\n' ' ' | grep -Eq '^(yes )*(no )*$' \
            || ERRORS+=("a write succeeded after one had failed")
        [ "$(kt "$sc" rx | tr '\n' '/')" = "$OPENING/$OPENING/" ] \
            || ERRORS+=("the receiver did not get exactly two reports before it went")
        has_line "$sc" rx-stderr 'unplugged after 2 reports' \
            || ERRORS+=("the receiver did not unplug itself")
        check_fds "$sc"
        ;;
    example:*)
        want=$WORK/dump-${sc#example:}.txt
        dump_reports "$REPO/configfiles/${sc#example:}" >"$want"
        [ -s "$want" ] || ERRORS+=("rcprog-cli dump gave no reports on the host")
        [ "$exit_status" = 0 ] || ERRORS+=("rcprog-cli program exited with $exit_status")
        kt "$sc" out | tail -n 1 | grep -q '^result: ok' || ERRORS+=("the last line is not 'result: ok'")
        same_reports "$sc" rx "$want"
        ;;
    second-device)
        want=$WORK/dump-first.txt
        dump_reports "${CONFIGS[0]}" >"$want"
        [ "$exit_status" = 0 ] || ERRORS+=("rcprog-cli program exited with $exit_status")
        kt "$sc" out | tail -n 1 | grep -q '^result: ok' || ERRORS+=("the last line is not 'result: ok'")
        same_reports "$sc" rx "$want"
        [ -z "$(kt "$sc" other)" ] || ERRORS+=("the other product received reports")
        ;;
    other-only)
        [ "$exit_status" = 3 ] || ERRORS+=("rcprog-cli program exited with $exit_status, expected 3 (no receiver)")
        ! has_line "$sc" out '^result: ok' || ERRORS+=("a success line was printed")
        [ -z "$(kt "$sc" other)" ] || ERRORS+=("the other product received reports")
        ;;
    unplug:*)
        want=$WORK/dump-first.txt
        dump_reports "${CONFIGS[0]}" >"$want"
        [ "$exit_status" = 5 ] || ERRORS+=("rcprog-cli program exited with $exit_status, expected 5 (write failed)")
        ! has_line "$sc" out '^result: ok' || ERRORS+=("a success line was printed")
        same_reports "$sc" rx "$want" "${sc#unplug:}"
        ;;
    stalled:*)
        # A receiver that stops reading: uhid drops what does not fit its queue, so the writes
        # still return. The writer must finish, and the receiver has exactly the first reports.
        want=$WORK/dump-first.txt
        dump_reports "${CONFIGS[0]}" >"$want"
        [ "$exit_status" != 143 ] || ERRORS+=("rcprog-cli program hung on a receiver that stopped reading")
        same_reports "$sc" rx "$want" "${sc#stalled:}"
        ;;
    composite)
        # A keyboard interface with the receiver's IDs, before the configuration interface.
        want=$WORK/dump-first.txt
        dump_reports "${CONFIGS[0]}" >"$want"
        [ "$exit_status" = 0 ] || ERRORS+=("rcprog-cli program exited with $exit_status")
        kt "$sc" out | tail -n 1 | grep -q '^result: ok' || ERRORS+=("the last line is not 'result: ok'")
        same_reports "$sc" rx "$want"
        local kbd cfg
        kbd=$(node_of "$sc" rx keyboard)
        cfg=$(node_of "$sc" rx)
        if [ -z "$kbd" ] || [ -z "$cfg" ]; then
            ERRORS+=("the receiver did not announce both nodes")
        elif [ "$kbd" -ge "$cfg" ]; then
            ERRORS+=("the keyboard (hidraw$kbd) did not come before the configuration device (hidraw$cfg)")
        fi
        if has_line "$sc" rx-stderr 'keyboard output report'; then
            ERRORS+=("the keyboard device received output reports: $(kt "$sc" rx-stderr | grep -c 'keyboard output report')")
        fi
        ;;
    swap)
        # Two passes over one report buffer: A's, then B's after A was replaced within a poll.
        want=$WORK/dump-two.txt
        dump_reports "${CONFIGS[0]}" 2 >"$want"
        [ "$exit_status" = 0 ] || ERRORS+=("rcprog-kernel-station exited with $exit_status")
        local events expected_events
        events=$(kt "$sc" out | tr '\n' '/')
        expected_events='connected name="Virtual receiver A"/updated/disconnected/connected name="Virtual receiver B"/updated/'
        [ "$events" = "$expected_events" ] \
            || ERRORS+=("the threads told '$events', expected '$expected_events'")
        has_line "$sc" rx-stderr 'replugged after [0-9]+ reports' \
            || ERRORS+=("receiver A was not replaced by B")
        same_reports "$sc" rx "$want"
        ;;
    quiet)
        # 32 other devices present: polling opens none of them (each tells when it is opened).
        want=$WORK/dump-first.txt
        dump_reports "${CONFIGS[0]}" >"$want"
        [ "$exit_status" = 0 ] || ERRORS+=("rcprog-cli program exited with $exit_status")
        same_reports "$sc" rx "$want"
        local i opened=0
        for i in $(seq 0 31); do
            if has_line "$sc" "o$i-node" none; then ERRORS+=("other device o$i got no hidraw node"); fi
            if has_line "$sc" "o$i-stderr" ': opened$'; then opened=$((opened + 1)); fi
        done
        [ $opened = 0 ] || ERRORS+=("$opened of the 32 other devices were opened")
        has_line "$sc" rx-stderr ': opened$' \
            || ERRORS+=("the receiver never told of an open: the other devices' silence proves nothing")
        ;;
    devices)
        [ "$exit_status" = 0 ] || ERRORS+=("rcprog-cli devices exited with $exit_status")
        local kbd cfg oth want_lines
        kbd=$(node_of "$sc" rx keyboard)
        cfg=$(node_of "$sc" rx)
        oth=$(node_of "$sc" other)
        want_lines=$( {
            echo "$kbd /dev/hidraw$kbd  04b4:f231  9  \"Virtual receiver\"  system device  receiver"
            echo "$cfg /dev/hidraw$cfg  04b4:f231  9  \"Virtual receiver\"  ok  receiver, used by a pass"
            echo "$oth /dev/hidraw$oth  04b4:f232  9  \"Other product\"  ok"
        } | sort -n | cut -d' ' -f2-)
        [ "$(kt "$sc" out)" = "$want_lines" ] \
            || ERRORS+=("rcprog-cli devices printed '$(kt "$sc" out | tr '\n' '/')', expected '$(echo "$want_lines" | tr '\n' '/')'")
        ;;
    bench)
        local line
        [ "$exit_status" = 0 ] || ERRORS+=("rcprog-search-bench exited with $exit_status")
        line=$(kt "$sc" out | grep -E '^search-pass kernel interfaces=[0-9]+ rcprog_us=[0-9]+ hidapi_us=[0-9]+$' | head -n 1)
        if [ -z "$line" ]; then
            ERRORS+=("no benchmark line")
        else
            echo "$line"
            echo "$line" | grep -q ' interfaces=64 ' || ERRORS+=("the benchmark did not see 64 interfaces")
        fi
        ;;
    all)
        [ "$exit_status" = 0 ] || ERRORS+=("rcprog-cli program --all exited with $exit_status")
        for pair in rx:8:1 rx16:16:2 rx64:64:3; do
            tag=${pair%%:*} len=${pair#*:} n=${pair##*:}
            len=${len%%:*}
            want=$WORK/dump-all-$len.txt
            dump_reports "${CONFIGS[0]}" 1 "$len" >"$want"
            [ -s "$want" ] || ERRORS+=("rcprog-cli dump --report-length $len gave no reports on the host")
            same_reports "$sc" "$tag" "$want"
            has_line "$sc" out "^#$n ok \"Receiver $len\" /dev/hidraw[0-9]+, $(wc -l <"$want") of $(wc -l <"$want") reports, " \
                || ERRORS+=("no '#$n ok' line for the receiver with $len-byte payloads")
            has_line "$sc" log "\"product\":\"Receiver $len\".*\"reportLength\":$((len + 1)),.*\"result\":\"ok\"" \
                || ERRORS+=("no log line for the receiver with $len-byte payloads")
        done
        kt "$sc" out | tail -n 1 | grep -qx 'done: 3 ok, 0 failed' \
            || ERRORS+=("the last line is not 'done: 3 ok, 0 failed'")
        ;;
    each)
        # The second receiver gets the second pass: the report buffer carries over.
        want=$WORK/dump-first.txt
        dump_reports "${CONFIGS[0]}" >"$want"
        want2=$WORK/dump-first-2.txt
        dump_last_pass "${CONFIGS[0]}" 2 >"$want2"
        [ "$exit_status" = 0 ] || ERRORS+=("rcprog-cli program --each exited with $exit_status")
        if has_line "$sc" error .; then ERRORS+=("$(kt "$sc" error | tr '\n' ' ')"); fi
        has_line "$sc" out '^#1 ok "First receiver" /dev/hidraw[0-9]+, ' \
            || ERRORS+=("no '#1 ok' line for the first receiver")
        has_line "$sc" out '^#2 ok "Second receiver" /dev/hidraw[0-9]+, ' \
            || ERRORS+=("no '#2 ok' line for the second receiver")
        kt "$sc" out | tail -n 1 | grep -qx 'done: 2 ok, 0 failed' \
            || ERRORS+=("the last line is not 'done: 2 ok, 0 failed'")
        same_reports "$sc" rx "$want"
        same_reports "$sc" rx2 "$want2"
        [ "$(kt "$sc" log | grep -c '"result":"ok"')" = 2 ] \
            || ERRORS+=("the log does not hold two 'ok' lines")
        ;;
    access-denied)
        [ "$exit_status" = 4 ] || ERRORS+=("rcprog-cli program exited with $exit_status, expected 4 (access denied)")
        ! has_line "$sc" out '^result: ok' || ERRORS+=("a success line was printed")
        [ -z "$(kt "$sc" rx)" ] || ERRORS+=("the receiver got reports")
        ;;
    *)
        ERRORS+=("unknown scenario")
        ;;
    esac
    verdict "$sc"
}

ERRORS=()
if grep -aq 'Initramfs unpacking failed' "$CLEAN"; then
    ERRORS+=("the kernel could not unpack the initramfs (guest memory too small?)")
fi
grep -aq 'KT|boot|start|' "$CLEAN" || ERRORS+=("the guest never ran /init")
has_line boot uhid '^yes$' || ERRORS+=("/dev/uhid did not appear")
if has_line boot insmod-failed .; then ERRORS+=("insmod failed: $(kt boot insmod-failed | tr '\n' ' ')"); fi
grep -aq 'KT|all|done|ok' "$CLEAN" \
    || ERRORS+=("the guest did not finish (QEMU status $QEMU_STATUS; 124 means the time limit)")
verdict boot

for sc in "${SCENARIOS[@]}"; do judge "$sc"; done

if [ $HAVE_STATION = 0 ]; then
    ERRORS=("rcprog-kernel-station is not built at $STATION: the swap scenario did not run")
    verdict station
fi
if [ -z "$BENCH" ]; then
    ERRORS=("rcprog-search-bench could not be built (see $WORK/tools-rcprog-search-bench.log): no benchmark")
    verdict bench
fi
if [ $HAVE_CLI = 0 ]; then
    ERRORS=("rcprog-cli is not built at $CLI: the programming scenarios did not run")
    verdict rcprog-cli
elif [ ${#CONFIGS[@]} -eq 0 ]; then
    ERRORS=("no bundled examples in $REPO/configfiles: the programming scenarios did not run")
    verdict examples
fi

if [ $FAILED -gt 0 ]; then
    log "the guest's serial log: $LOG"
fi
echo "$PASSED passed, $FAILED failed"
[ $FAILED -eq 0 ]
