#!/usr/bin/env bash
# How a run through the loopback driver ends when it cannot go on: exit codes
# 9 to 14 with the whole output and the driver calls of each clean-up, no
# recording and no existing file touched; and a recording that cannot be
# written after the run.
here=$(cd "$(dirname "$0")" && pwd)
. "$here/lib.sh"
. "$here/streaming_lib.sh"

id() { printf '{5E2E52%02d-0000-4000-8000-00000000E2E5}' "$1"; }
device "E2E Exit Create" "$(id 1)" failCreateBuffers=1
device "E2E Exit Info" "$(id 2)" failChannelInfoFrom=1
device "E2E Exit Null" "$(id 3)" nullBuffer=3
device "E2E Exit Float" "$(id 4)" sampleType=19
device "E2E Exit Big Endian" "$(id 5)" sampleType=0
device "E2E Exit Start" "$(id 6)" failStart=1 sampleType=16
device "E2E Exit Wide" "$(id 7)" inputs=64
device "E2E Exit Plain" "$(id 8)" strictTiming=0
device "E2E Exit Negative Inputs" "$(id 9)" reportInputs=4294967295
device "E2E Exit Zero Minimum" "$(id 10)" reportBufferMin=0
device "E2E Exit Negative Maximum" "$(id 11)" reportBufferMax=4294967295
device "E2E Exit Odd Values" "$(id 12)" freeRunning=1 hiddenLatency=300 \
    reportBufferPreferred=0 reportBufferGranularity=4294967289
install_devices

make_test_wav stereo.wav 2 48000 1000
printf 'an earlier recording' >keep.wav

# expect_untouched NAME: no rec.wav was made, keep.wav still holds its text, and
# no new file for a recording was left behind.
expect_untouched() {
    if [ -e rec.wav ] || [ "$(cat keep.wav)" != 'an earlier recording' ] ||
        [ -n "$(find . -maxdepth 1 -name '.tandemwav-*.tmp')" ]; then
        echo "FAIL $1: a record file was created or changed"
        failures=$((failures + 1))
    fi
}

# refused NAME CODE DEVICE MESSAGE EXPECTED_CALLS ARGS...: the run ends before
# the driver starts, with the set-up output of DEVICE (8 inputs and outputs,
# buffer as in ARGS, 48000 Hz) followed by MESSAGE, and exactly those calls.
refused() {
    local name=$1 code=$2 dev=$3 message=$4 calls=$5 inputs=8
    shift 5
    [ "$dev" = "E2E Exit Wide" ] && inputs=64
    rm -f "$trace"
    setup_text "$dev" "$inputs" 8 "$2" 48000
    expect_run "$name" "$code" "$SETUP$message" "$@"
    expect_trace "$name" "$calls"
    expect_untouched "$name"
}

# The calls of a set-up that reached getLatencies on DEVICE with buffer 256,
# recording 2 inputs from 1 and playing a stereo file from output 1.
opened() { opened_calls "$1" 48000 256 2 1 2 1; }
# Up to createBuffers with 4 entries of 256 frames.
created() { opened "$1" | sed '/^getChannelInfo/,$d'; }

CREATE_FAILED='Error: Failed to create ASIO buffer for selected input!'
refused "buffer creation refused" 9 "E2E Exit Create" "$CREATE_FAILED" \
    "$(created "E2E Exit Create")
release
" "E2E Exit Create" 256 stereo.wav 1 rec.wav 2 1
refused "channel description refused from channel 1" 9 "E2E Exit Info" "$CREATE_FAILED" \
    "$(created "E2E Exit Info")
getChannelInfo 0 1
getChannelInfo 1 1
disposeBuffers
release
" "E2E Exit Info" 256 stereo.wav 1 rec.wav 2 1
refused "driver leaves a buffer pointer null" 9 "E2E Exit Null" "$CREATE_FAILED" \
    "$(created "E2E Exit Null")
disposeBuffers
release
" "E2E Exit Null" 256 stereo.wav 1 rec.wav 2 1

# A driver's numbers that would be bounds if taken as unsigned: a negative
# channel count, limits that admit no length. Refused at their stage.
initialised() {
    printf '%sASIO Driver correctly initialized: %s\nAvailable driver channel: %s inputs; 8 outputs\n' \
        "$BANNER" "$1" "$2"
}
asked() { opened "$1" | sed -n "1,/^$2/p"; }
expect_run "negative input count" 6 "$(initialised "E2E Exit Negative Inputs" -1)
Error: Wrong input/output channel settings!" "E2E Exit Negative Inputs" 256 stereo.wav 1 rec.wav 2 1
expect_trace "negative input count" "$(asked "E2E Exit Negative Inputs" getChannels)
release
"
expect_untouched "negative input count"
for limits in "Zero Minimum:0 to 8192" "Negative Maximum:16 to -1"; do
    dev="E2E Exit ${limits%%:*}"
    expect_run "buffer limits $limits" 7 "$(initialised "$dev" 8)
Permitted buffer size: ${limits#*:}
Error: Unable to set ASIO buffer size to 256!" "$dev" 256 stereo.wav 1 rec.wav 2 1
    expect_trace "buffer limits $limits" "$(asked "$dev" getBufferSize)
release
"
    expect_untouched "buffer limits $limits"
done
# Values tandemwav does not use as bounds pass; printed ones as given.
run_program "E2E Exit Odd Values" 256 stereo.wav 1 rec.wav 2 1
if [ "$status" = 0 ] && tr -d '\r' <"$work/out" | grep -qx 'ASIO driver latency: input: 256, output: -300'; then
    echo "ok   values only printed or not used"
else
    echo "FAIL values only printed or not used: exit code $status"
    failures=$((failures + 1))
fi
rm -f rec.wav "$trace"

NATIVE=$'Error: ASIO native format not supported!\n\n'
buffers_text 256 256 32
LATENCY=${BUFFERS%%$'\n'*}$'\n'
refused "native type Float32LSB" 10 "E2E Exit Float" "$LATENCY$NATIVE" \
    "$(opened "E2E Exit Float")
disposeBuffers
release
" "E2E Exit Float" 256 stereo.wav 1 rec.wav 2 1
refused "native type Int16MSB" 10 "E2E Exit Big Endian" "$LATENCY$NATIVE" \
    "$(opened "E2E Exit Big Endian")
disposeBuffers
release
" "E2E Exit Big Endian" 256 stereo.wav 1 rec.wav 2 1

buffers_text 256 256 16
refused "start refused" 11 "E2E Exit Start" "${BUFFERS}Error: Failed to start ASIO driver!

" "$(opened "E2E Exit Start")
start
disposeBuffers
release
" "E2E Exit Start" 256 stereo.wav 1 rec.wav 2 1
refused "start refused, existing record file" 11 "E2E Exit Start" \
    "${BUFFERS}Error: Failed to start ASIO driver!

" "$(opened "E2E Exit Start")
start
disposeBuffers
release
" "E2E Exit Start" 256 stereo.wav 1 keep.wav 2 1

# header_only FILE CHANNELS DATA_SIZE: a float header declaring DATA_SIZE bytes
# of samples it does not hold.
header_only() {
    perl -e 'my ($file, $channels, $size) = @ARGV;
        open(my $out, ">:raw", $file) or die;
        print $out "RIFF", pack("V", (36 + $size) & 0xFFFFFFFF), "WAVEfmt ", pack("V", 16),
            pack("vvVVvv", 3, $channels, 48000, 48000 * $channels * 4, $channels * 4, 32),
            "data", pack("V", $size);' "$@"
}
# 1073741820 frames, padded to 2^30 frames of 4 bytes: a 4 GiB block.
header_only huge.wav 1 $((0xFFFFFFF0))
# 2^24 frames on 64 channels: 4 GiB of recording.
header_only long.wav 1 $((4 << 24))
# 357913938 frames on 3 channels fit the size fields (4294967256 bytes); padded
# to buffers of 16 frames they do not.
header_only padded.wav 1 $((4 * 357913938))

# Refusals after the native format is known: the buffers are disposed of and
# the driver released, and nothing is loaded.
past_format() {
    local name=$1 code=$2 dev=$3 message=$4 buffer=$5 rec_count=$6
    local play=$7 rec=$8 inputs=8 channels
    [ "$dev" = "E2E Exit Wide" ] && inputs=64
    channels=$(od -An -tu2 -j22 -N2 "$play" | tr -d ' ')
    rm -f "$trace"
    setup_text "$dev" "$inputs" 8 "$buffer" 48000
    buffers_text "$buffer" "$buffer" 32
    expect_run "$name" "$code" "$SETUP$BUFFERS$message" \
        "$dev" "$buffer" "$play" 1 "$rec" "$rec_count" 1
    expect_trace "$name" "$(opened_calls "$dev" 48000 "$buffer" "$rec_count" 1 "$channels" 1)
disposeBuffers
release
"
    expect_untouched "$name"
}

MEMORY='Error: Not enough memory for playback and recording!'
TOO_LARGE='Error: Recording too large for a WAV file!'
past_format "playback block of 4 GiB" 12 "E2E Exit Plain" "$MEMORY" 64 0 huge.wav rec.wav
past_format "recording of 64 channels beyond the size fields" 13 "E2E Exit Wide" "$TOO_LARGE" \
    256 64 long.wav rec.wav
past_format "recording beyond the size fields once padded" 13 "E2E Exit Plain" "$TOO_LARGE" \
    16 3 padded.wav rec.wav

# The record file is tried before the driver starts, without creating or
# truncating anything.
UNWRITABLE='Error: Unable to write output WAV file'
past_format "record file in a missing directory" 14 "E2E Exit Plain" \
    "$UNWRITABLE missing/rec.wav!" 256 2 stereo.wav missing/rec.wav
[ ! -e missing ] || { echo "FAIL missing directory was created"; failures=$((failures + 1)); }
mkdir adir
past_format "record file is a directory" 14 "E2E Exit Plain" "$UNWRITABLE adir!" \
    256 2 stereo.wav adir
rmdir adir 2>/dev/null || { echo "FAIL the directory was changed"; failures=$((failures + 1)); }
cp keep.wav readonly.wav
chmod a-w readonly.wav
if [ ! -w readonly.wav ]; then
    past_format "record file read-only" 14 "E2E Exit Plain" "$UNWRITABLE readonly.wav!" \
        256 2 stereo.wav readonly.wav
    cmp -s keep.wav readonly.wav || {
        echo "FAIL the read-only file was changed"
        failures=$((failures + 1))
    }
else
    echo "skip record file read-only: permissions do not bind this user"
fi

# run_in_background ARGS...: starts the program and waits until the driver has
# been started; the program's id in $background.
run_in_background() {
    rm -f "$trace"
    if [ -n "$runner" ]; then
        "$runner" "$program" "$@" >"$work/out" 2>"$work/err" &
    else
        "$program" "$@" >"$work/out" 2>"$work/err" </dev/null &
    fi
    background=$!
    local waited
    for ((waited = 0; waited < 200; waited++)); do
        grep -qx start "$trace" 2>/dev/null && return 0
        sleep 0.05
    done
    return 1
}

# A record file that goes away during the run: the recording cannot be
# written, and the run does not claim to be done.
make_test_wav second.wav 2 48000 48000
mkdir recdir
setup_text "E2E Exit Plain" 8 8 480 48000
buffers_text 480 480 32
if ! run_in_background "E2E Exit Plain" 480 second.wav 1 recdir/rec.wav 2 1; then
    echo "FAIL record directory removed during the run: the driver was not started"
    failures=$((failures + 1))
    wait "$background"
else
    rm -r recdir
    wait "$background"
    status=$?
    judge_stream "record directory removed during the run" 14 "$SETUP$BUFFERS$STARTED" \
        "${STOPPED}$UNWRITABLE recdir/rec.wav!" && echo "ok   record directory removed during the run"
    expect_trace "record directory removed during the run" \
        "$(opened_calls "E2E Exit Plain" 48000 480 2 1 2 1)
start
stop
disposeBuffers
release
"
fi

finish
