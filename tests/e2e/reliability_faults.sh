#!/usr/bin/env bash
# Misbehaving drivers and lost sync, through the loopback device's faults:
# a buffer pointer left null, a bad half index, switches that come too early,
# slipping or repeated sample positions and reset/resync requests. Every case
# checks the exit code, the messages, the driver's calls where they matter and
# the recording itself.
here=$(cd "$(dirname "$0")" && pwd)
. "$here/lib.sh"
. "$here/reliability_lib.sh"

FAST=$(dword freeRunning 1)
loopback_device clean "Reliability Clean" 1 "$FAST"
loopback_device nullfirst "Reliability Null First" 2 "$FAST" "$(dword nullBuffer 1)"
loopback_device nulllast "Reliability Null Last" 3 "$FAST" "$(dword nullBuffer 4)"
loopback_device badhalf "Reliability Bad Half" 4 "$FAST" "$(dword badHalfAt 3)"
loopback_device skip "Reliability Skip" 5 "$FAST" "$(dword slipSkipAt 4)"
loopback_device repeat "Reliability Repeat" 6 "$FAST" "$(dword slipRepeatAt 4)"
loopback_device plainskip "Reliability Plain Skip" 7 "$FAST" "$(dword slipSkipAt 5)" \
    "$(dword plainBufferSwitch 1)"
loopback_device reset "Reliability Reset" 8 "$FAST" "$(dword message 3)" "$(dword messageAt 2)"
loopback_device resync "Reliability Resync" 9 "$FAST" "$(dword message 5)" "$(dword messageAt 6)"
loopback_device latencies "Reliability Latencies" 10 "$FAST" "$(dword message 6)" \
    "$(dword messageAt 2)"
loopback_device early "Reliability Early" 11 "$FAST" "$(dword earlySwitch 1)"
loopback_device created "Reliability Created" 12 "$FAST" "$(dword createBuffersSwitch 1)"
loopback_device realtime "Reliability Real Time" 13 "$(dword earlySwitch 1)" "$(dword strictTiming 0)"
install_devices

# 2000 frames: eight buffers of 256, the last one padded.
make_float_wav play.wav 2 48000 2000
FRAMES=2048

# The whole output of a run on device NAME up to the streaming, as a clean run
# prints it.
set_up_text() {
    printf '%sASIO Driver correctly initialized: %s\n' "$BANNER" "$1"
    printf 'Available driver channel: 8 inputs; 8 outputs\nPermitted buffer size: 16 to 8192\n'
    printf 'Buffer Size set to 256 sample\nSampleRate set to 48000\n'
    printf 'ASIO driver latency: input: 256, output: 0\nASIO native data fomat: LSB Integer 32bits\n'
    printf '\n\nPlay & Record Started!\n\n'
}
STOPPED='

Play & Record Stopped!

Converting and storing recorded data...
'

# expect_streamed NAME DEVICE CODE LOST: the run's whole output, progress lines
# left out, is that of a run that streamed to the end, with the warning for
# LOST blocks when LOST is not 0.
expect_streamed() {
    local name=$1 device=$2 code=$3 lost=$4 warning=''
    [ "$lost" = 0 ] ||
        warning="Warning: $lost buffer(s) lost or repeated by the driver; the recording may be out of step!
"
    local text
    text=$(set_up_text "$device" && echo .) # keeps the trailing line ends
    expected_bytes "${text%.}$STOPPED${warning}Done!
" >"$work/expected"
    perl -0pe 's/-?\d+ ms \/ -?\d+ samples     \r//g' "$work/out" >"$work/out.plain"
    expect_status "$name" "$code"
    if ! cmp -s "$work/expected" "$work/out.plain"; then
        fail_case "$name" "output differs"
        diff <(od -c "$work/expected") <(od -c "$work/out.plain") | head -10
    fi
}

# streamed_case NAME TAG DEVICE CODE LOST [EXACT_FRAMES]
streamed_case() {
    local name=$1 tag=$2 device=$3 code=$4 lost=$5 exact=${6:-}
    local before=$failures
    rm -f rec.wav
    run_program "$device" 256 play.wav 1 rec.wav 2 1
    expect_streamed "$name" "$device" "$code" "$lost"
    check_recording rec.wav play.wav 256 $FRAMES 2 "$exact" || fail_case "$name" "recording"
    # A device that switches from inside start notes it there.
    local early=()
    [ "$tag" != early ] && [ "$tag" != realtime ] || early=(earlySwitch)
    expect_trace_after "$name" "$tag" start "${early[@]}" stop disposeBuffers release
    [ "$failures" != "$before" ] || echo "ok   $name"
}

streamed_case "clean run" clean "Reliability Clean" 0 0
# The driver's block 3 never reaches the host, so from the host's block 3 on
# the outputs hold what the driver took from a half the host did not fill.
streamed_case "bad half index" badhalf "Reliability Bad Half" 15 1 768
streamed_case "sample position skips a block" skip "Reliability Skip" 15 1
streamed_case "sample position repeats a block" repeat "Reliability Repeat" 15 1
streamed_case "skip seen through getSamplePosition" plainskip "Reliability Plain Skip" 15 1
streamed_case "reset request" reset "Reliability Reset" 15 1
streamed_case "resync request" resync "Reliability Resync" 15 1
streamed_case "latency change is no loss" latencies "Reliability Latencies" 0 0
# The stores are complete before start, so a switch from inside start is the
# run's first block; one from inside createBuffers must play silence, record
# nothing and not count, or the recording would come out one block short.
streamed_case "switch from inside start" early "Reliability Early" 0 0
streamed_case "switch from inside createBuffers" created "Reliability Created" 0 0
expect_trace_after "switch from inside createBuffers" created "createBuffers 4 256" \
    createBuffersSwitch "getChannelInfo 0 1" "getChannelInfo 1 1" "getChannelInfo 0 0" \
    "getChannelInfo 1 0" getLatencies start stop disposeBuffers release
streamed_case "real-time clock with a switch inside start" realtime "Reliability Real Time" 0 0

# A buffer pointer left null by a driver that reports success: refused before
# anything could write through it, and the driver released without disposal.
NULL_TEXT='Error: Failed to create ASIO buffer for selected input!'
for which in First Last; do
    before=$failures
    tag=null${which,,}
    name="null buffer pointer in the ${which,,} entry"
    device="Reliability Null $which"
    rm -f rec.wav
    run_program "$device" 256 play.wav 1 rec.wav 2 1
    expect_status "$name" 9
    expect_tail "$name" "Available driver channel: 8 inputs; 8 outputs
Permitted buffer size: 16 to 8192
Buffer Size set to 256 sample
SampleRate set to 48000
$NULL_TEXT"
    # The buffers the driver did hand out are disposed before it goes.
    expect_trace_after "$name" "$tag" "createBuffers 4 256" disposeBuffers release
    [ ! -e rec.wav ] || fail_case "$name" "left a record file"
    [ "$failures" != "$before" ] || echo "ok   $name"
done
finish
