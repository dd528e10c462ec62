#!/bin/busybox sh
# /init of the kernel test's initramfs. Runs as PID 1 in the QEMU guest: mounts the pseudo file
# systems, loads the HID modules, creates virtual receivers through /dev/uhid and runs the
# project's programs against them. It judges nothing itself: every output goes to the serial
# console as lines "KT|<scenario>|<stream>|<text>", which the host reads (run.sh).
#
# Layout of the initramfs: /bin/busybox, /modules/*.ko, /kt/bin/{rcprog-cli,
# rcprog-virtual-receiver,rcprog-hidraw-probe,rcprog-kernel-station,rcprog-search-bench},
# /kt/configs/*.ini, /kt/scenarios (one scenario name per line, in the order to run), /etc/passwd
# and /etc/group with an unprivileged "user", plus the shared libraries of the programs at their
# paths.

/bin/busybox --install -s /bin
export PATH=/bin:/kt/bin
mkdir -p /proc /sys /dev /tmp
mount -t proc proc /proc
mount -t sysfs sysfs /sys
mount -t devtmpfs devtmpfs /dev
mount -t tmpfs tmpfs /tmp
# Qt looks for a writable home and runtime folder; keep it quiet and self-contained.
export HOME=/tmp QT_QPA_PLATFORM=offscreen XDG_RUNTIME_DIR=/tmp

say() { echo "KT|$1|$2|$3"; }

# emit SCENARIO STREAM FILE: the file's lines as KT lines.
emit() {
    [ -f "$3" ] || return 0
    while IFS= read -r line || [ -n "$line" ]; do
        echo "KT|$1|$2|$line"
    done <"$3"
}

finish() {
    say all "done" ok
    sync
    poweroff -f
    sleep 5
}

say boot start "$(uname -r)"
for m in hid hid-generic uhid; do
    if ! insmod "/modules/$m.ko" 2>/tmp/insmod.err; then
        say boot insmod-failed "$m: $(cat /tmp/insmod.err)"
    fi
done
# /dev/uhid is a misc device: devtmpfs adds it when the module registers it.
i=0
while [ ! -e /dev/uhid ] && [ $i -lt 100 ]; do usleep 20000; i=$((i + 1)); done
if [ -e /dev/uhid ]; then say boot uhid yes; else say boot uhid no; fi

VR_PIDS=""

# start_vr SCENARIO TAG ARGS...: starts a virtual receiver in the background and waits until its
# hidraw node exists. Its stdout (the output reports) goes to /tmp/SCENARIO.TAG.out.
start_vr() {
    sc=$1 tag=$2
    shift 2
    rcprog-virtual-receiver "$@" >"/tmp/$sc.$tag.out" 2>"/tmp/$sc.$tag.err" &
    pid=$!
    VR_PIDS="$VR_PIDS $pid"
    eval "PID_$tag=$pid"
    n=0
    node=""
    while [ $n -lt 500 ]; do
        node=$(sed -n 's/.*ready:.* node \(\/dev\/hidraw[0-9]*\).*/\1/p' "/tmp/$sc.$tag.err")
        [ -n "$node" ] && [ -e "$node" ] && break
        kill -0 $pid 2>/dev/null || break
        usleep 20000
        n=$((n + 1))
    done
    say "$sc" "$tag-node" "${node:-none}"
}

# stop_vrs SCENARIO TAGS...: stops the receivers, then emits what each one printed.
stop_vrs() {
    sc=$1
    shift
    for tag in "$@"; do
        eval "pid=\$PID_$tag"
        kill -TERM "$pid" 2>/dev/null
    done
    for tag in "$@"; do
        eval "pid=\$PID_$tag"
        wait "$pid"
        say "$sc" "$tag-exit" "$?"
        emit "$sc" "$tag" "/tmp/$sc.$tag.out"
        emit "$sc" "$tag-stderr" "/tmp/$sc.$tag.err"
    done
    VR_PIDS=""
}

# run_cmd SCENARIO SECONDS CMD...: runs a command with a time limit and emits its output and
# exit status (143 when the limit ended it).
run_cmd() {
    sc=$1 limit=$2
    shift 2
    timeout -s TERM "$limit" "$@" >"/tmp/$sc.cmd.out" 2>"/tmp/$sc.cmd.err"
    status=$?
    emit "$sc" out "/tmp/$sc.cmd.out"
    emit "$sc" err "/tmp/$sc.cmd.err"
    say "$sc" exit "$status"
}

# start_others SCENARIO COUNT: COUNT virtual HID devices of another maker (tags o0, o1, ...),
# each with a product ID of its own.
start_others() {
    i=0
    while [ $i -lt "$2" ]; do
        start_vr "$1" "o$i" --vendor 0x1209 --product $((0x1000 + i)) --name "Other device $i"
        i=$((i + 1))
    done
}

# other_tags COUNT: the tags start_others gave.
other_tags() {
    i=0
    while [ $i -lt "$1" ]; do
        printf 'o%s ' $i
        i=$((i + 1))
    done
}

# wait_for_line FILE REGEX SECONDS: waits until a line of FILE matches REGEX; false on time-out.
wait_for_line() {
    n=0
    while [ $n -lt $(($3 * 10)) ]; do
        grep -Eq "$2" "$1" 2>/dev/null && return 0
        usleep 100000
        n=$((n + 1))
    done
    return 1
}

first_config() {
    for f in /kt/configs/*.ini; do
        [ -f "$f" ] && echo "$f" && return
    done
}

CONFIG1=$(first_config)

scenario() {
    sc=$1
    say "$sc" begin "$(cut -d' ' -f1 /proc/uptime)"
    case "$sc" in
    probe-basic)
        start_vr "$sc" rx --name "Virtual receiver A"
        run_cmd "$sc" 20 rcprog-hidraw-probe --writes 1
        stop_vrs "$sc" rx
        ;;
    probe-two)
        # A device with the same vendor and another product, created first.
        start_vr "$sc" other --product 0xF232 --name "Other product"
        start_vr "$sc" rx --name "Virtual receiver B"
        run_cmd "$sc" 20 rcprog-hidraw-probe
        stop_vrs "$sc" other rx
        ;;
    probe-length16)
        start_vr "$sc" rx --report-length 16 --name "Sixteen"
        run_cmd "$sc" 20 rcprog-hidraw-probe --writes 1
        stop_vrs "$sc" rx
        ;;
    probe-descriptor4096)
        # The kernel hands over at most 4095 descriptor bytes through the ioctl.
        start_vr "$sc" rx --descriptor-size 4096 --name "Large descriptor"
        run_cmd "$sc" 20 rcprog-hidraw-probe --writes 1
        stop_vrs "$sc" rx
        ;;
    probe-unplug)
        start_vr "$sc" rx --unplug-after 2 --name "Unplugged"
        run_cmd "$sc" 20 rcprog-hidraw-probe --writes 6
        stop_vrs "$sc" rx
        ;;
    example:*)
        file=/kt/configs/${sc#example:}
        start_vr "$sc" rx --name "Virtual receiver"
        run_cmd "$sc" 30 rcprog-cli program "$file" --wait 10
        stop_vrs "$sc" rx
        ;;
    second-device)
        start_vr "$sc" other --product 0xF232 --name "Other product"
        start_vr "$sc" rx --name "Virtual receiver"
        run_cmd "$sc" 30 rcprog-cli program "$CONFIG1" --wait 10
        stop_vrs "$sc" other rx
        ;;
    other-only)
        start_vr "$sc" other --product 0xF232 --name "Other product"
        run_cmd "$sc" 30 rcprog-cli program "$CONFIG1" --wait 1
        stop_vrs "$sc" other
        ;;
    unplug:*)
        start_vr "$sc" rx --unplug-after "${sc#unplug:}" --name "Virtual receiver"
        run_cmd "$sc" 30 rcprog-cli program "$CONFIG1" --wait 10
        stop_vrs "$sc" rx
        ;;
    stalled:*)
        start_vr "$sc" rx --fail-after "${sc#stalled:}" --name "Virtual receiver"
        run_cmd "$sc" 30 rcprog-cli program "$CONFIG1" --wait 10
        stop_vrs "$sc" rx
        ;;
    composite)
        # The keyboard interface with the receiver's IDs comes first.
        start_vr "$sc" rx --with-keyboard --name "Virtual receiver"
        run_cmd "$sc" 30 rcprog-cli program "$CONFIG1" --wait 10
        stop_vrs "$sc" rx
        ;;
    swap)
        # Receiver A takes a whole pass, then is removed and B created at once: within one
        # poll of the window's own monitor, under its programming thread in automatic mode.
        n=$(rcprog-cli dump "$CONFIG1" | grep -c '^W ')
        start_vr "$sc" rx --name "Virtual receiver A" --replug-after "$n" \
            --replug-name "Virtual receiver B"
        run_cmd "$sc" 90 rcprog-kernel-station "$CONFIG1" --passes 2 --seconds 80
        stop_vrs "$sc" rx
        ;;
    quiet)
        start_others "$sc" 32
        start_vr "$sc" rx --name "Virtual receiver"
        run_cmd "$sc" 30 rcprog-cli program "$CONFIG1" --wait 10
        stop_vrs "$sc" $(other_tags 32) rx
        ;;
    devices)
        start_vr "$sc" rx --with-keyboard --name "Virtual receiver"
        start_vr "$sc" other --product 0xF232 --name "Other product"
        run_cmd "$sc" 20 rcprog-cli devices
        stop_vrs "$sc" rx other
        ;;
    bench)
        start_others "$sc" 64
        run_cmd "$sc" 120 rcprog-search-bench --passes 31
        stop_vrs "$sc" $(other_tags 64)
        ;;
    all)
        # Three receivers with different report lengths, programmed at once.
        start_vr "$sc" rx --name "Receiver 8"
        start_vr "$sc" rx16 --report-length 16 --name "Receiver 16"
        start_vr "$sc" rx64 --report-length 64 --name "Receiver 64"
        run_cmd "$sc" 30 rcprog-cli program "$CONFIG1" --all --wait 10 --log "/tmp/$sc.log"
        stop_vrs "$sc" rx rx16 rx64
        emit "$sc" log "/tmp/$sc.log"
        ;;
    each)
        # A station: two receivers plugged in one after the other, more than a poll apart, then
        # SIGTERM ends it with its summary.
        rcprog-cli program "$CONFIG1" --each --wait 20 --log "/tmp/$sc.log" \
            >"/tmp/$sc.cmd.out" 2>"/tmp/$sc.cmd.err" &
        cli=$!
        start_vr "$sc" rx --name "First receiver"
        wait_for_line "/tmp/$sc.cmd.out" '^#1 ' 30 || say "$sc" error "no line for the first receiver"
        stop_vrs "$sc" rx
        sleep 2
        start_vr "$sc" rx2 --name "Second receiver"
        wait_for_line "/tmp/$sc.cmd.out" '^#2 ' 30 || say "$sc" error "no line for the second receiver"
        kill -TERM "$cli"
        wait "$cli"
        status=$?
        stop_vrs "$sc" rx2
        emit "$sc" out "/tmp/$sc.cmd.out"
        emit "$sc" err "/tmp/$sc.cmd.err"
        emit "$sc" log "/tmp/$sc.log"
        say "$sc" exit "$status"
        ;;
    access-denied)
        # An unprivileged user cannot open the root-only hidraw node.
        start_vr "$sc" rx --name "Virtual receiver"
        run_cmd "$sc" 30 su -s /bin/sh user -c "exec rcprog-cli program '$CONFIG1' --wait 1"
        stop_vrs "$sc" rx
        ;;
    *)
        say "$sc" error "unknown scenario"
        ;;
    esac
    # uhid drops output reports that do not fit its queue while the receiver is not reading.
    say "$sc" queue-full "$(dmesg -c 2>/dev/null | grep -c 'Output queue is full')"
    say "$sc" end "$(cut -d' ' -f1 /proc/uptime)"
}

while IFS= read -r sc || [ -n "$sc" ]; do
    [ -n "$sc" ] && scenario "$sc"
done </kt/scenarios

finish
