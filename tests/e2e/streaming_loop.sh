#!/usr/bin/env bash
# Whole runs through our loopback driver at 16, 24 and 32 bits: the recording
# is the playback, converted there and back, delayed by the loop's latency,
# with exactly the padded playback length; the whole output and the driver's
# calls of each run; and the runs in which the driver loses or repeats blocks.
here=$(cd "$(dirname "$0")" && pwd)
. "$here/lib.sh"
. "$here/streaming_lib.sh"

id() { printf '{5E2E51%02d-0000-4000-8000-00000000E2E5}' "$1"; }
device "E2E Loop 16" "$(id 1)" sampleType=16 freeRunning=1
device "E2E Loop 24" "$(id 2)" sampleType=17 freeRunning=1 latency=150
device "E2E Loop 32" "$(id 3)" sampleType=18 freeRunning=1 latency=128
device "E2E Loop 64" "$(id 4)" sampleType=16 freeRunning=1 latency=40 inputs=64 outputs=64
device "E2E Loop Real Time" "$(id 5)" latency=1000 strictTiming=0
device "E2E Loop Early Plain" "$(id 6)" sampleType=17 freeRunning=1 earlySwitch=1 \
    plainBufferSwitch=1
device "E2E Loop Latency News" "$(id 7)" sampleType=16 freeRunning=1 message=6 messageAt=3
device "E2E Loop Skip" "$(id 8)" freeRunning=1 slipSkipAt=3
device "E2E Loop Repeat" "$(id 9)" sampleType=17 freeRunning=1 slipRepeatAt=2
device "E2E Loop Reset" "$(id 10)" freeRunning=1 message=3 messageAt=2
device "E2E Loop Resync" "$(id 11)" sampleType=16 freeRunning=1 message=5 messageAt=1
device "E2E Loop Late Host" "$(id 12)" strictTiming=1 lateSwitchAt=3 lateSwitchBlocks=2
install_devices

LOST='Warning: 1 buffer(s) lost or repeated by the driver; the recording may be out of step!
'

# loop_case NAME DEVICE BITS LOOP INPUTS OUTPUTS PLAY BUFFER PLAY_FIRST REC_COUNT
#           REC_FIRST [CODE WARNING]: one run, its output, its driver calls and
# its recording (LOOP is the loop's latency in frames).
loop_case() {
    local name=$1 dev=$2 bits=$3 loop=$4 inputs=$5 outputs=$6 play=$7 buffer=$8
    local play_first=$9 rec_count=${10} rec_first=${11} code=${12:-0} warning=${13:-}
    local channels rate failed_before=$failures
    channels=$(od -An -tu2 -j22 -N2 "$play" | tr -d ' ')
    rate=$(od -An -tu4 -j24 -N4 "$play" | tr -d ' ')
    rm -f rec.wav "$trace"
    setup_text "$dev" "$inputs" "$outputs" "$buffer" "$rate"
    buffers_text "$buffer" "$loop" "$bits"
    expect_stream "$name" "$code" "$SETUP$BUFFERS$STARTED" \
        "$STOPPED${warning}Done!
" "$dev" "$buffer" "$play" "$play_first" rec.wav "$rec_count" "$rec_first" || return 1
    local started=start
    [ "$dev" = "E2E Loop Early Plain" ] && started=$'start\nearlySwitch'
    expect_trace "$name" "$(opened_calls "$dev" "$rate" "$buffer" "$rec_count" "$rec_first" \
        "$channels" "$play_first")
$started
stop
disposeBuffers
release
"
    if ! why=$(check_loop "$play" rec.wav $((bits / 8)) "$loop" "$buffer" "$play_first" \
        "$rec_first" "$rec_count" 2>&1); then
        echo "FAIL $name: $why"
        failures=$((failures + 1))
        return 1
    fi
    [ "$failures" = "$failed_before" ] && echo "ok   $name"
}

make_test_wav stereo.wav 2 48000 1000
make_test_wav stereo44.wav 2 44100 1000
make_test_wav stereo96.wav 2 96000 1000
make_test_wav short.wav 2 48000 100
make_test_wav held600.wav 2 48000 1000 600
make_test_wav wide.wav 64 48000 200

# Bit depths, channel ranges, buffers that do and do not divide 1000 frames,
# loop latencies of one buffer, of whole buffers and of neither.
loop_case "16 bits, third input hears nothing" "E2E Loop 16" 16 256 8 8 \
    stereo.wav 256 1 3 1
loop_case "16 bits, buffer divides the file, playback from output 2" "E2E Loop 16" 16 250 8 8 \
    stereo.wav 250 2 2 1
loop_case "24 bits, latency of one and a half buffers, around the played outputs" \
    "E2E Loop 24" 24 150 8 8 stereo.wav 100 3 4 2
loop_case "24 bits, data chunk shorter than declared plays silence" "E2E Loop 24" 24 150 8 8 \
    held600.wav 128 1 2 1
loop_case "32 bits, latency of two buffers, record from input 3" "E2E Loop 32" 32 128 8 8 \
    stereo44.wav 64 2 1 3
loop_case "32 bits, no record channel" "E2E Loop 32" 32 128 8 8 stereo.wav 64 1 0 1
loop_case "32 bits, latency beyond the whole recording" "E2E Loop 32" 32 128 8 8 \
    short.wav 16 1 2 1
loop_case "64 channels each way" "E2E Loop 64" 16 40 64 64 wide.wav 32 1 64 1
loop_case "first switch before start returns, plain buffer switch" "E2E Loop Early Plain" \
    24 200 8 8 stereo96.wav 200 1 2 1
loop_case "latency change announced during the run" "E2E Loop Latency News" 16 64 8 8 \
    stereo.wav 64 1 2 1

# In real time: half a second at 44100 Hz in 50 buffers, with a loop of 1000
# frames; the progress line shows while it plays.
make_test_wav realtime.wav 2 44100 22050
if loop_case "real time" "E2E Loop Real Time" 32 1000 8 8 realtime.wav 441 1 2 1 &&
    [ "$progress_lines" -lt 2 ]; then
    echo "FAIL real time: $progress_lines progress line(s) in half a second"
    failures=$((failures + 1))
fi

# A sample position that jumps or stands still and a reset or resync request
# each count one block lost or repeated; the material itself stays in step.
loop_case "sample position skips a buffer" "E2E Loop Skip" 32 256 8 8 stereo.wav 256 1 2 1 \
    15 "$LOST"
loop_case "sample position repeats a buffer" "E2E Loop Repeat" 24 64 8 8 stereo.wav 64 1 2 1 \
    15 "$LOST"
loop_case "reset request during the run" "E2E Loop Reset" 32 100 8 8 stereo.wav 100 1 2 1 \
    15 "$LOST"
loop_case "resync request during the run" "E2E Loop Resync" 16 128 8 8 stereo.wav 128 1 2 1 \
    15 "$LOST"

# In real time, a switch that returns after two more deadlines have passed:
# the device goes on without the host, and the run says how many blocks it lost.
# Periods of 50 ms, so that a busy machine does not add a late switch of its own.
make_test_wav late.wav 2 48000 24000
rm -f rec.wav "$trace"
setup_text "E2E Loop Late Host" 8 8 2400 48000
buffers_text 2400 2400 32
if expect_stream "host late by two blocks" 15 "$SETUP$BUFFERS$STARTED" \
    "${STOPPED}Warning: 2 buffer(s) lost or repeated by the driver; the recording may be out of step!
Done!
" "E2E Loop Late Host" 2400 late.wav 1 rec.wav 2 1; then
    if grep -q '^stop late=1 ' "$trace"; then
        echo "ok   host late by two blocks"
    else
        echo "FAIL host late by two blocks: the driver's stop says $(grep '^stop' "$trace")"
        failures=$((failures + 1))
    fi
fi

finish
