#!/usr/bin/env bash
# tandemwav-measure's answer to every bad input (each its own exit code, none
# leaving results that claim to be complete: samples that are not numbers, a
# response later than the sweep file holds, too long a tail among them), and
# recordings from other recorders: PCM 16, 24 (extensible) and 32-bit, float
# 64-bit, clipped.
#   measure_files.sh RUNNER MEASURE NEWLINE WORKDIR
. "$(dirname "$0")/lib.sh"

fail() {
    echo "FAIL $1"
    failures=$((failures + 1))
}

# expect_code NAME CODE ARGS...: the exit code, and a message that starts with Error:
expect_code() {
    local name=$1 code=$2
    shift 2
    run_program "$@"
    if [ "$status" != "$code" ]; then
        fail "$name: exit code $status, expected $code"
        cat "$work/out" "$work/err"
    elif ! grep -aq '^Error: ' "$work/out" "$work/err"; then
        fail "$name: no error message"
    else
        echo "ok   $name"
    fi
}

# wav_variant SOURCE TARGET KIND [GAIN RATE FRAMES]: the first channel of a
# canonical float file rewritten as KIND (pcm16, pcm24x, pcm32, float64,
# float32, pcm8), scaled by GAIN, declared at RATE and cut to FRAMES.
wav_variant() {
    python3 - "$@" <<'PY'
import struct, sys
src, dst, kind = sys.argv[1:4]
gain = float(sys.argv[4]) if len(sys.argv) > 4 else 1.0
data = open(src, "rb").read()
channels, rate = struct.unpack("<HI", data[22:28])
rate = int(sys.argv[5]) if len(sys.argv) > 5 else rate
x = struct.unpack("<%df" % ((len(data) - 44) // 4), data[44:])[::channels]
if len(sys.argv) > 6:
    x = x[: int(sys.argv[6])]
x = [v * gain for v in x]
def pcm(bits):
    top = 2 ** (bits - 1)
    return [max(-top, min(top - 1, round(v * top))) for v in x]
if kind == "pcm16":
    tag, bits, body = 1, 16, struct.pack("<%dh" % len(x), *pcm(16))
elif kind == "pcm24x":
    tag, bits = 0xFFFE, 24
    body = b"".join(struct.pack("<i", v)[:3] for v in pcm(24))
elif kind == "pcm32":
    tag, bits, body = 1, 32, struct.pack("<%di" % len(x), *pcm(32))
elif kind == "pcm8":
    tag, bits, body = 1, 8, bytes(128 + v for v in pcm(8))
elif kind == "float64":
    tag, bits, body = 3, 64, struct.pack("<%dd" % len(x), *x)
else:
    tag, bits, body = 3, 32, struct.pack("<%df" % len(x), *x)
block = bits // 8
fmt = struct.pack("<HHIIHH", tag, 1, rate, rate * block, block, bits)
if tag == 0xFFFE:
    guid = struct.pack("<H", 1) + bytes.fromhex("000000001000800000aa00389b71")
    fmt += struct.pack("<HHI", 22, bits, 4) + guid
chunks = b"fmt " + struct.pack("<I", len(fmt)) + fmt
chunks += b"LIST" + struct.pack("<I", 4) + b"INFO"  # a chunk readers must skip
chunks += b"data" + struct.pack("<I", len(body)) + body
open(dst, "wb").write(b"RIFF" + struct.pack("<I", 4 + len(chunks)) + b"WAVE" + chunks)
PY
}

json_field() { # FILE EXPRESSION
    python3 -c 'import json,sys; d=json.load(open(sys.argv[1])); print(eval(sys.argv[2]))' "$@"
}

# Usage and sweep settings.
expect_code "no command" 1
expect_code "unknown option" 1 sweep s.wav --loud
expect_code "not a number" 1 sweep s.wav --seconds five
# --help after a command is that command's usage alone; with --json a usage
# error is one document, as the probe's are.
run_program run --help
[ "$status" = 0 ] && grep -q '^  tandemwav-measure run "<driver>" --outputs' "$work/out" &&
    ! grep -q 'measure sweep' "$work/out" && echo "ok   run --help" || fail "run --help: exit code $status"
run_program run "No Driver" --json --outputs 1
[ "$status" = 1 ] && python3 -c 'import json,sys; d=json.load(open(sys.argv[1])); sys.exit(not (d["exitCode"] == 1 and d["error"] == "run needs --outputs and --inputs" and d["usage"].startswith("Usage:\n  tandemwav-measure sweep")))' "$work/out" &&
    echo "ok   usage error as JSON" || fail "usage error with --json: exit code $status"
expect_code "band above 0.93 of half the rate" 23 sweep high.wav --rate 44100 --to 21000
[ -e high.wav ] || [ -e high.json ] && fail "a refused sweep left a file"
expect_code "channel outside the file" 24 sweep s.wav --channels 2 --on 3
expect_code "band upside down" 24 sweep s.wav --from 500 --to 100

run_program sweep sweep.wav --seconds 1 --from 100
[ "$status" = 0 ] || fail "sweep: exit code $status"
frames=$(json_field sweep.json 'd["frames"]')
silence=$(json_field sweep.json 'd["silenceBeforeFrames"]')

# Recordings from other recorders, the sweep itself as the device's answer:
# read whatever the format, delay 0, the response peaking in the recording
# where the sweep starts in the file.
for kind in pcm16 pcm24x pcm32 float64; do
    wav_variant sweep.wav "rec-$kind.wav" "$kind" 0.5
    run_program analyze sweep.wav "rec-$kind.wav"
    if [ "$status" = 0 ] && [ "$(json_field "rec-$kind-measure/results.json" \
        '(d["complete"], d["channels"][0]["delayFrames"], d["channels"][0]["peakRecordingFrame"], round(d["channels"][0]["response"][9]["db"], 1))')" = "(True, 0, $silence, -6.0)" ]; then
        echo "ok   recording in $kind"
    else
        fail "recording in $kind: exit code $status"
        cat "$work/out"
    fi
done

# results.json's fields in the documented order.
[ "$(json_field rec-pcm16-measure/results.json '",".join(d) + " " + ",".join(d["channels"][0])')" = \
    "complete,rate,sweep,sweepFile,recording,date,programVersion,harmonicsCounted,clippedSamples,channels input,belowNoise,delayFrames,peakRecordingFrame,snrDb,noiseFloorDb,impulseResponse,frd,csv,peak,clippedSamples,response,harmonics,thd" ] &&
    echo "ok   results.json's fields in order" || fail "results.json's fields: $(head -c 300 rec-pcm16-measure/results.json)"

# The example sweep shipped beside sweep.wav is one of ours: analysed as its
# own recording, it is the loop of delay 0.
example=$(cd "$(dirname "$0")/../../examples" && pwd)
run_program analyze "$example/measure-sweep.wav" "$example/measure-sweep.wav" --dir example
[ "$status" = 0 ] && [ "$(json_field example/results.json '(d["complete"], d["channels"][0]["delayFrames"])')" = "(True, 0)" ] &&
    echo "ok   the shipped example sweep analyses" || fail "the shipped example sweep: exit code $status"

# What was analysed, when and by which version, in results.json and at the
# head of the page, where no field is left as a dash; both files on the
# console, joined with the separator the folder given uses (on Windows
# Z:\...\header\results.json, not Z:\...\header/results.json).
header=$(winpath "$work/header")
separator=/
[ -n "$runner" ] && separator='\'
run_program analyze sweep.wav rec-pcm16.wav --dir "$header"
printf '%s\n' "$(json_field header/results.json '"%s|%s|%s|%s" % (d["sweepFile"], d["recording"], d["date"][:2], d["programVersion"][:1].isdigit())')" >"$work/header.txt"
[ "$status" = 0 ] && grep -qE '^/.*sweep\.wav\|/.*rec-pcm16\.wav\|20\|True$|^[A-Za-z]:\\.*sweep\.wav\|[A-Za-z]:\\.*rec-pcm16\.wav\|20\|True$' "$work/header.txt" &&
    grep -q '<h1>Measurement report: .*rec-pcm16.wav</h1>' header/report.html &&
    grep -q '<tr><th>Sweep file</th><td>.*sweep.wav</td></tr><tr><th>Recording</th><td>.*rec-pcm16.wav</td>' header/report.html &&
    grep -q '<tr><th>Program</th><td>tandemwav-measure [0-9]' header/report.html &&
    ! grep -q $'\xe2\x80\x94' header/report.html &&
    [ "$(tr -d '\r' <"$work/out" | tail -n 2)" = "Results: $header${separator}results.json
Report: $header${separator}report.html" ] &&
    echo "ok   analyze names its files, date and version" ||
    fail "analyze's header: $(cat "$work/header.txt") $(tail -n 2 "$work/out")"

# The two files the wrong way round: the first must be the sweep played.
expect_code "sweep and recording swapped" 20 analyze rec-pcm16.wav sweep.wav
grep -aq 'the first file must be the sweep that was played' "$work/out" ||
    fail "swapped files: $(cat "$work/out")"

# A results folder whose parent is missing says so.
expect_code "results folder's parent missing" 14 analyze sweep.wav rec-pcm16.wav --dir nowhere/dut
grep -aq 'Unable to make the folder nowhere.dut: the folder nowhere does not exist' "$work/out" ||
    fail "missing parent: $(cat "$work/out")"

# A recording whose samples lie past 2 GiB into the file (a 3 GiB chunk
# before them, sparse on disk), as a long recording's end does: read on
# Windows too, where long, which fseek takes, is 32 bits.
python3 - sweep.wav far.wav <<'PY'
import struct, sys
data = open(sys.argv[1], "rb").read()
skip = 3 << 30
with open(sys.argv[2], "wb") as out:
    out.write(b"RIFF" + struct.pack("<I", 0xFFFFFFFF) + b"WAVE" + data[12:36])
    out.write(b"JUNK" + struct.pack("<I", skip))
    out.seek(skip, 1)
    out.write(data[36:])
PY
run_program analyze sweep.wav far.wav
if [ "$status" = 0 ] && [ "$(json_field far-measure/results.json \
    '(d["complete"], d["channels"][0]["delayFrames"])')" = "(True, 0)" ]; then
    echo "ok   recording read past 2 GiB"
else
    fail "recording read past 2 GiB: exit code $status"
    cat "$work/out"
fi
rm -f far.wav

# Clipped: figures, a warning, exit 0, the count in the results.
wav_variant sweep.wav clipped.wav pcm16 6
run_program analyze sweep.wav clipped.wav --json
clipped=$(python3 -c 'import json,sys; d=json.load(open(sys.argv[1])); print(d["complete"] and d["clippedSamples"])' "$work/out")
if [ "$status" = 0 ] && [ "$clipped" -gt 0 ] && grep -aq '^Warning: .*clipped' "$work/err"; then
    echo "ok   clipped recording"
else
    fail "clipped recording: exit code $status, clipped $clipped"
fi

expect_code "recording at another rate" 21 analyze sweep.wav "$(wav_variant sweep.wav r44.wav float32 1 44100; echo r44.wav)"
expect_code "recording shorter than the sweep" 22 analyze sweep.wav \
    "$(wav_variant sweep.wav short.wav float32 1 48000 $((frames - 1)); echo short.wav)"
expect_code "sample format not read" 3 analyze sweep.wav "$(wav_variant sweep.wav rec8.wav pcm8; echo rec8.wav)"
echo "not a WAV file" >text.wav
expect_code "recording that is not WAV" 2 analyze sweep.wav text.wav
expect_code "recording missing" 2 analyze sweep.wav missing.wav
cp sweep.wav orphan.wav
expect_code "sweep without its parameters" 20 analyze orphan.wav rec-pcm16.wav

# Calibration files that cannot be used, each refused with the file, the
# line and what is wrong; a reference the recording does not have, or that
# does not respond.
printf '* a comment\n# another\n\n' >empty.cal
printf 'Freq dB\n100 1\n1000 0\n500 -1\n' >falling.cal
printf '"Sens"\n0 1\n1000 0\n' >zero.cal
printf '100 1\n1000 0 x\n' >word.cal
printf '100 1 10\n1000 0\n' >phase.cal
for bad in "missing.cal:is missing" "empty.cal:holds no points" \
    "falling.cal, line 4:does not rise" "zero.cal, line 2:not above 0 Hz" \
    "word.cal, line 2:is not a point" "phase.cal, line 2:no phase"; do
    file=${bad%%[,:]*}
    expect_code "calibration file $file" 27 analyze sweep.wav rec-pcm16.wav --cal "1=$file"
    grep -aqF "Error: The calibration file ${bad%%:*}:" "$work/out" && grep -aqF "${bad#*:}" "$work/out" ||
        fail "calibration file $file: $(cat "$work/out")"
done
expect_code "reference channel missing" 1 analyze sweep.wav rec-pcm16.wav --reference 2
expect_code "cal channel 0" 1 analyze sweep.wav rec-pcm16.wav --cal 0=empty.cal
wav_variant sweep.wav silent.wav float32 0
expect_code "reference below its noise" 16 analyze sweep.wav silent.wav --reference 1
grep -aq "^Error: The reference, channel 1, is below its noise" "$work/out" ||
    fail "reference below its noise: $(cat "$work/out")"

# Nothing came back: an earlier complete result in the folder is replaced by
# the failure, and --json prints it.
wav_variant sweep.wav silent.wav float32 0
mkdir -p silent-measure && cp rec-pcm16-measure/results.json silent-measure/
expect_code "no channel responds" 16 analyze sweep.wav silent.wav
[ "$(json_field silent-measure/results.json '(d["complete"], d["error"].startswith("Error: No"))')" = "(False, True)" ] ||
    fail "no channel responds: the old results still claim to be complete"
run_program analyze sweep.wav silent.wav --json
[ "$status" = 16 ] && [ "$(json_field "$work/out" 'd["complete"]')" = False ] ||
    fail "no channel responds: --json does not print the failure"

# Noise alone is no signal, wherever its largest sample falls; also after a
# 60-s sweep, whose linear response's stretch is longer than the silence after
# it (the last four seeds put the noise's peak where nothing followed it).
noise_file() { # SWEEP SEED
    python3 - "$1" noise.wav "$2" <<'PY'
import random, struct, sys
data = open(sys.argv[1], "rb").read()
random.seed(int(sys.argv[3]))
frames = (len(data) - 44) // 4
body = struct.pack("<%df" % frames, *(random.gauss(0, 10 ** (-70 / 20)) for _ in range(frames)))
open(sys.argv[2], "wb").write(data[:44] + body)
PY
}
run_program sweep long.wav --rate 8000 --to 3000 --seconds 60
quiet=0
for case in sweep:20 sweep:21 sweep:22 sweep:23 sweep:24 sweep:25 sweep:26 sweep:30 \
    long:1 long:3 long:9 long:11; do
    noise_file "${case%:*}.wav" "${case#*:}"
    run_program analyze "${case%:*}.wav" noise.wav
    [ "$status" = 16 ] && quiet=$((quiet + 1))
done
[ "$quiet" = 12 ] && echo "ok   noise alone is no signal" || fail "noise alone: $quiet of 12 runs found no signal"

# sweep_variant SOURCE TARGET CHANNELS DELAY [FRAME:CHANNEL:VALUE ...]: the
# sweep file's first channel on every channel of a float file as long as it,
# delayed by DELAY frames, with the given samples set (nan, inf, -inf).
sweep_variant() {
    python3 - "$@" <<'PY'
import struct, sys
src, dst, channels, delay = sys.argv[1], sys.argv[2], int(sys.argv[3]), int(sys.argv[4])
data = open(src, "rb").read()
width = struct.unpack("<H", data[22:24])[0]
x = struct.unpack("<%df" % ((len(data) - 44) // 4), data[44:])[::width]
x = ([0.0] * delay + list(x))[: len(x)]
samples = [v for v in x for _ in range(channels)]
for change in sys.argv[5:]:
    frame, channel, value = change.split(":")
    samples[int(frame) * channels + int(channel) - 1] = float(value)
rate = struct.unpack("<I", data[24:28])[0]
body = struct.pack("<%df" % len(samples), *samples)
fmt = struct.pack("<HHIIHH", 3, channels, rate, rate * 4 * channels, 4 * channels, 32)
open(dst, "wb").write(b"RIFF" + struct.pack("<I", 36 + len(body)) + b"WAVEfmt " +
                      struct.pack("<I", 16) + fmt + b"data" + struct.pack("<I", len(body)) + body)
PY
}

# Samples that are not numbers: refused with their count, channel and first
# frame; an earlier complete result in the folder replaced by the failure.
sweep_variant sweep.wav nan.wav 1 0 1000:1:nan
mkdir -p nan-measure && cp rec-pcm16-measure/results.json nan-measure/
expect_code "a NaN sample" 26 analyze sweep.wav nan.wav
grep -aq 'holds 1 sample(s) that are not numbers (NaN or infinite), the first on channel 1 at frame 1000!' "$work/out" &&
    [ "$(json_field nan-measure/results.json 'd["complete"]')" = False ] ||
    fail "a NaN sample: $(cat "$work/out")"
sweep_variant sweep.wav inf.wav 2 0 700:2:inf 701:2:-inf 900:1:inf
expect_code "infinite samples" 26 analyze sweep.wav inf.wav
grep -aq 'holds 3 sample(s) .*, the first on channel 2 at frame 700!' "$work/out" ||
    fail "infinite samples: $(cat "$work/out")"

# The longest round trip the file holds, its silence after the sweep less
# 10 ms, is found to the frame in a recording exactly as long as the file; a
# response as late as the whole silence is refused, naming that round trip.
after=$(json_field sweep.json 'd["silenceAfterFrames"]')
longest=$((after - 480))
sweep_variant sweep.wav edge.wav 1 $longest
run_program analyze sweep.wav edge.wav
[ "$status" = 0 ] && [ "$(json_field edge-measure/results.json 'd["channels"][0]["delayFrames"]')" = $longest ] &&
    echo "ok   the longest round trip found to the frame" ||
    fail "the longest round trip: exit code $status, $(cat "$work/out")"
sweep_variant sweep.wav late.wav 1 "$after"
expect_code "a response as late as the silence after the sweep" 16 analyze sweep.wav late.wav
grep -aq "longest round trip the sweep file holds, $longest frames" "$work/out" ||
    fail "late response: $(cat "$work/out")"
run_program sweep tail.wav --seconds 1 --from 100 --tail 2.5
[ "$status" = 0 ] && [ "$(json_field tail.json '(d["tail"], d["silenceAfterFrames"])')" = "(2.5, 120000)" ] &&
    echo "ok   sweep --tail recorded" || fail "sweep --tail: exit code $status"
expect_code "a tail beyond 60 s" 24 sweep tail.wav --tail 61

# Results that cannot be written: the folder is a file, or results.json a
# folder. No results.json, no file left behind.
touch taken
expect_code "results folder is a file" 14 analyze sweep.wav rec-pcm16.wav --dir taken
mkdir -p blocked/results.json
expect_code "results.json is a folder" 14 analyze sweep.wav rec-pcm16.wav --dir blocked
[ -z "$(find blocked -name '.tandemwav-*' -o -name '*.tmp')" ] || fail "a temporary file was left behind"
[ -d blocked/results.json ] || fail "results.json that is a folder was touched"
finish
