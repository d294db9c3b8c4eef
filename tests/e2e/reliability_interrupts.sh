#!/usr/bin/env bash
# The user's interrupt while the driver runs: SIGINT and SIGTERM, sent to the
# process this script started, on a device that never calls the host and on
# a slow real-time one. The driver must be stopped, its buffers disposed and
# it released, in that order; the recording keeps the whole buffers taken so
# far, the same number on every channel; exit code 130.
#
# Under Wine a SIGINT to the program's process arrives as Ctrl+C at its console
# control handler; SIGTERM has no Windows counterpart (Wine just ends the
# process), so only SIGINT is sent there.
#
# Before the start, an interrupt releases the driver and leaves the record file
# alone; a driver held in a call that never returns is left behind at a second
# interrupt.
here=$(cd "$(dirname "$0")" && pwd)
. "$here/lib.sh"
. "$here/reliability_lib.sh"

loopback_device dead "Reliability Dead" 31 "$(dword deadDevice 1)"
loopback_device slow "Reliability Slow" 32 "$(dword strictTiming 0)"
loopback_device slowcall "Reliability Slow Call" 33 '"hangIn"="getLatencies"' "$(dword hangMs 4000)"
loopback_device hungstop "Reliability Hung Stop" 34 "$(dword deadDevice 1)" '"hangIn"="stop"'
install_devices

BUFFER=4800 # ten buffer switches a second at 48 kHz
make_float_wav play.wav 2 48000 $((48000 * 30))

# wait_for_line FILE TEXT: until FILE has a line starting with TEXT, while
# the program runs (10 s at most).
wait_for_line() {
    local waited=0
    until grep -q "^$2" "$1" 2>/dev/null; do
        if [ $waited -ge 200 ] || ! kill -0 $pid 2>/dev/null; then
            return 1
        fi
        sleep 0.05
        waited=$((waited + 1))
    done
}

# Starts the program in the background.
start_program() {
    # Emptied here, not by the redirection below: that happens in the child,
    # perhaps after the caller has already read the last run's lines.
    : >"$work/out"
    if [ -n "$runner" ]; then
        "$runner" "$program" "$@" >"$work/out" 2>"$work/err" &
    else
        "$program" "$@" >"$work/out" 2>"$work/err" </dev/null &
    fi
    pid=$!
}

# Starts the program in the background; waits until it streams.
start_streaming() {
    start_program "$@"
    wait_for_line "$work/out" "Play & Record Started!"
}

# Waits up to 10 s for the program to end after a signal; sets $status.
await_end() {
    local waited=0
    while kill -0 $pid 2>/dev/null && [ $waited -lt 100 ]; do
        sleep 0.1
        waited=$((waited + 1))
    done
    if kill -0 $pid 2>/dev/null; then
        fail_case "$1" "still running 10 s after the interrupt"
        kill -KILL $pid
    fi
    wait $pid
    status=$?
}

# Frames in a recording, from its data size, if that is whole buffers of
# CHANNELS channels; otherwise nothing.
whole_buffer_frames() {
    perl -e '
        my ($file, $channels, $buffer) = @ARGV;
        open(my $f, "<:raw", $file) or exit 1;
        read($f, my $h, 44) == 44 or exit 1;
        my $size = unpack("V", substr($h, 40, 4));
        my $frames = $size / (4 * $channels);
        exit 1 if $size % (4 * $channels) || $frames % $buffer;
        print $frames;' "$@"
}

INTERRUPTED='

Play & Record Interrupted!

Converting and storing recorded data...
Done!
'

# interrupt_case NAME TAG DEVICE SIGNAL DELAY: the signal DELAY seconds after
# streaming has begun.
interrupt_case() {
    local name=$1 tag=$2 device=$3 signal=$4 delay=$5
    local before=$failures
    rm -f rec.wav
    if ! start_streaming "$device" $BUFFER play.wav 1 rec.wav 2 1; then
        fail_case "$name" "did not start streaming"
        kill -KILL $pid 2>/dev/null
        wait $pid
        return
    fi
    sleep "$delay"
    kill "-$signal" $pid
    # A run that ignores the signal would go on for half a minute.
    await_end "$name"
    expect_status "$name" 130
    expect_tail "$name" "$INTERRUPTED"
    expect_trace_after "$name" "$tag" start stop disposeBuffers release
    local frames
    if ! frames=$(whole_buffer_frames rec.wav 2 $BUFFER); then
        fail_case "$name" "recording is not whole buffers of two channels"
    else
        check_recording rec.wav play.wav $BUFFER "$frames" 2 || fail_case "$name" "recording"
        if [ "$tag" = slow ] && { [ "$frames" -eq 0 ] || [ "$frames" -ge $((48000 * 30)) ]; }; then
            fail_case "$name" "recording of $frames frames"
        fi
    fi
    [ "$failures" != "$before" ] || echo "ok   $name (${frames:-?} frames recorded)"
}

interrupt_case "SIGINT, dead device" dead "Reliability Dead" INT 0.3
interrupt_case "SIGINT, real-time device" slow "Reliability Slow" INT 1
if [ -z "$runner" ]; then
    interrupt_case "SIGTERM, dead device" dead "Reliability Dead" TERM 0.3
    interrupt_case "SIGTERM, real-time device" slow "Reliability Slow" TERM 0.7
fi
# While the driver is still being set up (it takes its time to tell its
# latencies): the driver is released, nothing is played, and the record file
# keeps its old content.
name="SIGINT before the start"
printf 'old take' >rec.wav
rm -f "$work/trace.slowcall"
start_program "Reliability Slow Call" $BUFFER play.wav 1 rec.wav 2 1
if wait_for_line "$work/trace.slowcall" "hang getLatencies"; then
    before=$failures
    kill -INT $pid
    await_end "$name"
    expect_status "$name" 130
    expect_tail "$name" '

Play & Record Interrupted!

Nothing was played or recorded.
'
    expect_trace_after "$name" slowcall "hang getLatencies" disposeBuffers release
    [ "$(cat rec.wav)" = "old take" ] || fail_case "$name" "the record file was touched"
    [ "$failures" != "$before" ] || echo "ok   $name"
else
    fail_case "$name" "the driver was never asked for its latencies"
    kill -KILL $pid 2>/dev/null
    wait $pid
fi

# A driver that never returns from stop: the first interrupt cannot release it,
# the second ends the program at once.
name="second SIGINT, driver hung in stop"
rm -f "$work/trace.hungstop"
if start_streaming "Reliability Hung Stop" $BUFFER play.wav 1 rec.wav 2 1; then
    before=$failures
    kill -INT $pid
    if wait_for_line "$work/trace.hungstop" "hang stop"; then
        kill -INT $pid
        await_end "$name"
        expect_status "$name" 130
        expect_tail "$name" '
Error: The ASIO driver did not return; ending without releasing it!
'
        [ "$(cat rec.wav)" = "old take" ] || fail_case "$name" "the record file was touched"
    else
        fail_case "$name" "the driver was never asked to stop"
        kill -KILL $pid 2>/dev/null
        wait $pid
    fi
    [ "$failures" != "$before" ] || echo "ok   $name"
else
    fail_case "$name" "did not start streaming"
    kill -KILL $pid 2>/dev/null
    wait $pid
fi
finish
