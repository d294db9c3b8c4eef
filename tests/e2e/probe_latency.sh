#!/usr/bin/env bash
# tandemwav-probe --latency through loopback devices of known loops: the
# measured round trip is the configured loop in every run at every latency,
# buffer length and rate; a device that hides part of its latency gets the
# difference named exactly; a loop to another channel gives "no signal" and
# no number; Ctrl+C during a run hands the driver back, and a second one ends
# the probe when the driver does not return.
#   probe_latency.sh RUNNER PROBE NEWLINE WORKDIR LOOPBACK_MODULE
. "$(dirname "$0")/lib.sh"
. "$(dirname "$0")/streaming_lib.sh"

for latency in 0 777 3000; do
    device "Latency $latency" "{C0FFEE30-0000-4000-8000-00000000$(printf '%04d' "$latency")}" \
        latency=$latency freeRunning=1
done
device "Latency Hidden" '{C0FFEE30-0000-4000-8000-0000000000A1}' latency=777 hiddenLatency=11 \
    freeRunning=1
device "Latency Realtime" '{C0FFEE30-0000-4000-8000-0000000000A2}' latency=777 strictTiming=0
device "Latency Float" '{C0FFEE30-0000-4000-8000-0000000000A3}' sampleType=19
device "Latency No Buffers" '{C0FFEE30-0000-4000-8000-0000000000A4}' failCreateBuffers=1
device "Latency No Start" '{C0FFEE30-0000-4000-8000-0000000000A5}' failStart=1
device "Latency Dead" '{C0FFEE30-0000-4000-8000-0000000000A6}' deadDevice=1
device "Latency Long" '{C0FFEE30-0000-4000-8000-0000000000A7}' latency=64000 freeRunning=1
device "Latency Long Hidden" '{C0FFEE30-0000-4000-8000-0000000000A8}' latency=64000 \
    hiddenLatency=63000 freeRunning=1
device "Latency Hung Stop" '{C0FFEE30-0000-4000-8000-0000000000A9}' deadDevice=1 hangIn=stop
install_devices

fail() {
    echo "FAIL $1"
    failures=$((failures + 1))
}

# Every combination: the loops run free, so each takes a fraction of a second,
# under Wine too.
buffers=(32 256 1024)
rates=(44100 48000 96000)
latencies=(0 777 3000)
: >"$work/matrix"
for l in 0 1 2; do
    for b in 0 1 2; do
        for r in 0 1 2; do
            run_program --json "Latency ${latencies[l]}" --latency 3:3 --buffer "${buffers[b]}" \
                --rate "${rates[r]}" --runs 3
            [ "$status" = 0 ] || fail "latency ${latencies[l]}, buffer ${buffers[b]}, rate ${rates[r]}: exit code $status"
            printf '%s %s %s ' "${latencies[l]}" "${buffers[b]}" "${rates[r]}" >>"$work/matrix"
            tr -d '\r\n' <"$work/out" >>"$work/matrix"
            echo >>"$work/matrix"
        done
    done
done
python3 - "$work/matrix" <<'PY' || failures=$((failures + 1))
import json, sys
bad = 0
for line in open(sys.argv[1]):
    latency, buffer, rate, doc = line.split(" ", 3)
    loop = max(int(latency), int(buffer))  # never less than one buffer
    doc = json.loads(doc)
    runs = [r["frames"] for r in doc["runs"]]
    facts = (runs, doc["reported"]["total"], doc["underReportedBy"], doc["verdict"],
             doc["bufferFrames"], doc["sampleRate"])
    if facts != ([loop] * 3, loop, 0, "the driver reports the round trip exactly",
                 int(buffer), int(rate)):
        print("FAIL latency %s buffer %s rate %s: %s" % (latency, buffer, rate, facts))
        bad += 1
sys.exit(1 if bad else 0)
PY
[ "$failures" = 0 ] && echo "ok   matrix of loops, buffers and rates"

rm -f "$trace"
run_program "Latency Hidden" --latency 1:1
tr -d '\r' <"$work/out" >"$work/text"
grep -qx "Reported by the driver: input 256 + output 510 = 766 frames (15.958 ms)" "$work/text" &&
    grep -qx "Measured round trip: 777 frames (16.188 ms), the same in every run" "$work/text" &&
    grep -qx "Verdict: the driver reports 11 frames less than the loop takes" "$work/text" &&
    [ "$(grep -c '^Run [123]: 777 frames (16.188 ms), signal-to-noise' "$work/text")" = 3 ] &&
    [ "$status" = 0 ] && echo "ok   under-reporting driver" ||
    { fail "under-reporting driver: exit code $status"; cat "$work/text"; }
# Three runs on one set of buffers, all handed back at the end.
[ "$(grep -c '^start' "$trace")" = 3 ] && [ "$(tail -n 2 "$trace" | tr '\n' ' ')" = "disposeBuffers release " ] ||
    fail "under-reporting driver: driver calls $(tr '\n' ' ' <"$trace")"

# A loop longer than a second: found where the driver reports it; where it
# hides it, past the window, never as a smaller figure; found again within a
# window given by hand.
run_program --json "Latency Long" --latency 1:1 --rate 48000
python3 -c 'import json,sys; d=json.load(open(sys.argv[1])); sys.exit([r["frames"] for r in d["runs"]] != [64000] * 3)' \
    "$work/out" && echo "ok   a reported loop of 64000 frames" ||
    { fail "a reported loop of 64000 frames: exit code $status"; cat "$work/out"; }
expect_run "a loop past the window" 16 "Error: No signal came back from output 1 to input 1 within 1.021 s: it came back after 64000 frames (1.333 s), so the window was too short; give --max-latency 3!
Round trips up to 1.021 s were looked for; a longer loop needs --max-latency SECONDS.
" "Latency Long Hidden" --latency 1:1 --rate 48000
run_program "Latency Long Hidden" --latency 1:1 --rate 48000 --max-latency 2
tr -d '\r' <"$work/out" >"$work/text"
grep -qx "Measured round trip: 64000 frames (1333.333 ms), the same in every run" "$work/text" &&
    [ "$status" = 0 ] && echo "ok   a loop within --max-latency" ||
    { fail "a loop within --max-latency: exit code $status"; cat "$work/text"; }

expect_run "no signal" 16 "Error: No signal came back from output 1 to input 2 (the input stayed silent)!
Check the cable or loop from output 1 to input 2, the channel numbers, and that the input is not muted.
Round trips up to 1.005 s were looked for; a longer loop needs --max-latency SECONDS.
" "Latency 0" --latency 1:2 --runs 1
run_program --json "Latency 0" --latency 1:2
python3 -c 'import json,sys; d=json.load(open(sys.argv[1])); sys.exit(d["exitCode"] != 16 or "runs" in d)' \
    "$work/out" || fail "no signal: JSON"
# expect_code CODE DEVICE ARGS...: the exit code, and the driver handed back.
expect_code() {
    local code=$1
    rm -f "$trace"
    run_program "$2" --latency 1:1 --runs 1 "${@:3}"
    [ "$status" = "$code" ] && [ "$(tail -n 1 "$trace")" = release ] ||
        fail "$2 $*: exit code $status, last driver call $(tail -n 1 "$trace")"
}
before=$failures
expect_code 6 "Latency 0" --latency 9:1
expect_code 7 "Latency 0" --buffer 8
expect_code 8 "Latency 0" --rate 22050
expect_code 9 "Latency No Buffers"
expect_code 10 "Latency Float"
expect_code 11 "Latency No Start"
expect_code 16 "Latency Dead" --rate 96000
[ "$failures" = "$before" ] && echo "ok   failures end with their codes, the driver handed back"

# Real time: 100 runs would take minutes; Ctrl+C once the first has started.
rm -f "$trace"
if [ -n "$runner" ]; then
    "$runner" "$program" "Latency Realtime" --latency 1:1 --runs 100 >"$work/out" 2>"$work/err" &
else
    "$program" "Latency Realtime" --latency 1:1 --runs 100 >"$work/out" 2>"$work/err" </dev/null &
fi
pid=$!
for _ in $(seq 200); do
    grep -q '^start' "$trace" 2>/dev/null && break
    sleep 0.05
done
kill -INT $pid
wait $pid
status=$?
tr -d '\r' <"$work/out" >"$work/out.lf"
if [ "$status" = 130 ] && [ "$(cat "$work/out.lf")" = "Interrupted; the driver was released." ] &&
    [ "$(untimed_stop <"$trace" | tail -n 3 | tr '\n' ' ')" = "stop disposeBuffers release " ]; then
    echo "ok   interrupted measurement"
else
    fail "interrupted measurement: exit code $status, driver calls $(tr '\n' ' ' <"$trace")"
fi

# A second Ctrl+C while the driver does not return from stop ends the probe,
# in its own words and, with --json, as a JSON document.
said="Interrupted again; the driver did not return and was not released"
second_interrupt "Latency Hung Stop" --latency 1:1
[ "$status" = 130 ] && [ "$(cat "$work/out.lf")" = "$said." ] &&
    [ "$(tail -n 1 "$trace" | tr -d '\r')" = "hang stop" ] &&
    second_interrupt --json "Latency Hung Stop" --latency 1:1 && [ "$status" = 130 ] &&
    python3 -c 'import json,sys; d=json.load(open(sys.argv[1])); sys.exit(d["exitCode"] != 130 or d["error"] != sys.argv[2])' \
        "$work/out.lf" "$said" &&
    echo "ok   second interrupt, driver hung in stop" ||
    fail "second interrupt, driver hung in stop: exit code $status, output $(cat "$work/out.lf")"
finish
