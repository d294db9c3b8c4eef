#!/usr/bin/env bash
# tandemwav-measure run through loopback devices with a model inside: a 2 x 4
# crosstalk matrix at -50 dB, repeats of a noisy device averaged (6 dB for 4),
# a repeat whose delay differs named and left out, a take that lost a block
# taken again (and with no retake allowed, the run ended with the outputs
# measured so far kept), a loop longer than the sweep file holds refused and
# measured with a longer tail, the longest round trip found to the frame,
# Ctrl+C during the second output, a second Ctrl+C while the driver does not return from stop, the
# refusals with their codes, a reference input dividing the average, and
# the report redrawn.
#   measure_run.sh RUNNER MEASURE NEWLINE WORKDIR LOOPBACK_MODULE
. "$(dirname "$0")/lib.sh"
. "$(dirname "$0")/streaming_lib.sh"
here=$(cd "$(dirname "$0")" && pwd)

id() { printf '{4EA5E1%02d-0000-4000-8000-00000000AC24}' "$1"; }
device "Run Crosstalk" "$(id 1)" freeRunning=1 dutCrosstalkDb="-50"
device "Run Noise" "$(id 2)" freeRunning=1 dutNoiseDb="-60"
device "Run Late" "$(id 3)" freeRunning=1 dutNoiseDb="-60" latencySequence="256 256 296 256"
device "Run Realtime" "$(id 4)" outputs=2 inputs=2
device "Run Broken" "$(id 5)" dutFilter="0.5 x"
device "Run Clip" "$(id 6)" freeRunning=1 sampleType=16 dutPolynomial="0.5 2" slipSkipAt=20 \
    faultStarts=1
device "Run Hung Stop" "$(id 7)" deadDevice=1 hangIn=stop
# A late switch loses one block in the first start only; a slip of the
# position (on a device free of timing) one in the second start only.
device "Run Retake" "$(id 8)" outputs=2 inputs=2 lateSwitchAt=5 faultStarts=1
device "Run Damaged" "$(id 9)" outputs=2 inputs=2 freeRunning=1 slipSkipAt=20 faultStarts=2
# A loop longer than the default silence after a 1-s sweep (29323 frames),
# reported as 500 frames, through a device whose second harmonic comes back
# early enough (L ln 2 = 5323 frames sooner) to pass for the response; and
# loops at the longest round trip that 1 s of silence holds (48000 less
# 10 ms) and one frame beyond it.
device "Run Long Loop" "$(id 10)" freeRunning=1 latency=31000 hiddenLatency=30500 \
    dutPolynomial="1 0.5 0.3"
device "Run Reported Loop" "$(id 13)" freeRunning=1 latency=40000
device "Run Edge" "$(id 11)" freeRunning=1 latency=47520
device "Run Past Edge" "$(id 12)" freeRunning=1 latency=47521
# Output 1 to input 1 straight and to input 2 through a filter and 137
# frames of flight, both through the interface's filter.
device "Run Reference" "$(id 14)" freeRunning=1 outputs=2 inputs=2 inputSources="1 1" \
    dutInputs="2" dutFilter="0.5 1 0.5" dutInputDelays="0 137" interfaceFilter="0.8 0.3 -0.1"
device "Run Two Loops" "$(id 15)" freeRunning=1 outputs=2 inputs=2
install_devices

fail() {
    echo "FAIL $1"
    failures=$((failures + 1))
}

# check NAME KIND ARGS...: measure_run_check.py on NAME/results.json.
check() {
    local name=$1
    shift
    if python3 "$here/measure_run_check.py" "$name/results.json" "$@"; then
        echo "ok   $name $1"
    else
        fail "$name $1"
    fi
}

# run_ok NAME ARGS...: a run into folder NAME that must succeed.
run_ok() {
    local name=$1
    shift
    run_program run "$@" --dir "$name"
    [ "$status" = 0 ] || { fail "$name: exit code $status"; cat "$work/out" "$work/err"; return 1; }
}

run_ok crosstalk "Run Crosstalk" --outputs 1-2 --inputs 1-4 --from 50 --seconds 2 --gate 10 \
    --smooth 6 &&
    check crosstalk crosstalk --off -50 --within 0.5 &&
    check crosstalk pairs --delay 1:1:256,1:2:256,2:2:256,2:4:256 &&
    [ -s crosstalk/report.html ] && [ -s crosstalk/ir-o2-i4.wav ] || fail "crosstalk: files"
# The console: each direct pair with its response (plain, gated and smoothed)
# and THD lines, the others without; one repeat, so no averaging gain.
tr -d '\r' <"$work/out" >"$work/crosstalk.out"
[ "$(grep -A4 -E '^Output (1 -> input 1|2 -> input 2):' "$work/crosstalk.out" | grep -cE '^  (response 50 to 20000 Hz: |THD at 9[0-9]{2} Hz: )')" = 4 ] &&
    [ "$(grep -A4 -E '^Output (1 -> input 1|2 -> input 2):' "$work/crosstalk.out" | grep -cE '^  (gated|smoothed) response 1[0-9.]* to 20000 Hz: ')" = 4 ] &&
    [ "$(grep -A1 '^Output 1 -> input 2:' "$work/crosstalk.out" | grep -c '^  ')" = 0 ] &&
    ! grep -q 'Averaging gain' "$work/crosstalk.out" &&
    echo "ok   the run's console: direct pairs' response and THD, no gain for one repeat" ||
    fail "the run's console: $(cat "$work/crosstalk.out")"
python3 -c 'import json,sys; print(",".join(json.load(open(sys.argv[1]))))' crosstalk/results.json |
    grep -qx complete,rate,sweep,device,driver,buffer,latencies,lostBlocks,date,programVersion,gateMs,smoothing,harmonicsCounted,clippedSamples,repeats,averagingGainDb,excludedRepeats,takes,pairs,crosstalk &&
    echo "ok   the run's results.json fields in order" || fail "the run's results.json fields out of order"

# The run's own page as a browser shows it, where there is one: every pair's
# plots with their axes, and a matrix of 2 x 4 cells.
if [ -z "$runner" ] && command -v chromium >/dev/null && [ -s crosstalk/report.html ]; then
    . "$here/report_browser_lib.sh"
    render_page "$work/crosstalk/report.html" "$work/crosstalk-dom.html" "$work/crosstalk.png"
    python3 "$here/report_page_check.py" dom "$work/crosstalk-dom.html" 2 4 "" &&
        python3 "$here/report_page_check.py" screenshot "$work/crosstalk.png" &&
        echo "ok   the run's page in a browser" || fail "the run's page in a browser"
fi

: >"$trace"
run_ok noise "Run Noise" --outputs 1 --inputs 1 --from 50 --seconds 2 --repeats 4 &&
    check noise repeats --gain 6 --within 1 &&
    check noise pairs --delay 1:1:256
# The console rounds as the page does: the figures of results.json.
python3 - noise/results.json "$work/out" <<'PY' && echo "ok   console and page round alike" || fail "console rounding"
import json, sys
r = json.load(open(sys.argv[1]))
out = open(sys.argv[2], newline="").read()
wanted = ["SNR %.1f dB" % r["pairs"][0]["snrDb"], "Averaging gain: %.1f dB" % r["averagingGainDb"]]
missing = [w for w in wanted if w not in out]
print("\n".join("FAIL not on the console: " + w for w in missing))
sys.exit(1 if missing else 0)
PY
# The driver made, given buffers and released once, started once per repeat.
[ "$(grep -Eo '^(create|createBuffers|start|release)\b' "$trace" | sort | uniq -c | tr -s ' \n' ' ')" = \
    " 1 create 1 createBuffers 1 release 4 start " ] && echo "ok   noise: one driver, one start per repeat" ||
    fail "noise: driver calls $(grep -Eo '^(create|createBuffers|start|release)\b' "$trace" | sort | uniq -c | tr -s ' \n' ' ')"
# Progress: which output, which repeat, time left, on standard error.
grep -q '^Output 1, repeat 4 (take 4 of 4), about [0-9]* s left' "$work/err" ||
    fail "noise: progress on standard error"

# The third start's loop is 40 frames longer: that repeat is named and left
# out, and the gain is that of three repeats.
run_ok late "Run Late" --outputs 1 --inputs 1 --from 50 --seconds 2 --repeats 4 &&
    check late repeats --gain 4.77 --within 1 --excluded 1:3:296 &&
    grep -aq "Repeat 3 of output 1 left out: its delay, 296 frames, differs from the others'" "$work/out" ||
    fail "late: repeat named with its delay"

# A 16-bit device driven past full scale on the positive side only (its
# largest code reads 1 - 2^-15): counted, with a warning, and exit 0. Its
# first attempt slips a block and is taken again. Its input 2 receives
# nothing but zeros: "silent" on the console and the page.
run_ok clip "Run Clip" --outputs 1 --inputs 1-2 --from 100 --seconds 1 --level 0 &&
    python3 -c 'import json,sys; d=json.load(open(sys.argv[1])); sys.exit(0 if d["clippedSamples"] > 1000 and d["takes"][0]["attempts"] == 2 else 1)' \
        clip/results.json && grep -aq '^Warning: .*clipped' "$work/out" &&
    grep -aq '^Output 1, repeat 1: [0-9]* block(s) lost or repeated; taking it again' "$work/out" &&
    echo "ok   clipped on a 16-bit device, a take retaken" || fail "clipped on a 16-bit device: $(head -c 400 clip/results.json)"
tr -d '\r' <"$work/out" | grep -xF -e 'Output 1 -> input 2: silent' -e 'Crosstalk output 1 -> input 2: silent' |
    wc -l | grep -qx 2 && grep -q '<td colspan="5">silent</td>' clip/report.html &&
    echo "ok   a silent input is silent everywhere" || fail "silent input: $(cat "$work/out")"
# The page of that run, in a browser where there is one, shows both: the
# samples clipped, the blocks lost and the take taken again.
if [ -z "$runner" ] && command -v chromium >/dev/null && [ -s clip/report.html ]; then
    . "$here/report_browser_lib.sh"
    render_page "$work/clip/report.html" "$work/clip-dom.html" "$work/clip.png"
    python3 "$here/report_page_check.py" events "$work/clip-dom.html" \
        $(python3 -c 'import json,sys; d=json.load(open(sys.argv[1])); print(d["clippedSamples"], d["lostBlocks"])' clip/results.json) \
        1:1:2 && echo "ok   the page of a run that clipped and retook a take, in a browser" ||
        fail "the clipped and retaken run's page in a browser"
fi

# With --json, standard output holds results.json and nothing else (with the
# system's line ends).
run_program run "Run Crosstalk" --outputs 1 --inputs 1 --from 50 --seconds 1 --dir json --json
python3 -c 'import json,sys; r=json.load(open(sys.argv[1])); sys.exit(0 if r["complete"] and r["pairs"] else 1)' \
    "$work/out" && tr -d '\r' <"$work/out" | cmp -s - json/results.json &&
    echo "ok   json on standard output" ||
    fail "json on standard output"

# Ctrl+C during the second output, into a folder that holds a complete run:
# exit 130, the driver stopped and released, nothing left that claims to be
# complete.
cp -r crosstalk interrupted
: >"$trace"
if [ -n "$runner" ]; then
    "$runner" "$program" run "Run Realtime" --outputs 1-2 --inputs 1-2 --seconds 2 \
        --dir interrupted >"$work/out" 2>"$work/err" &
else
    "$program" run "Run Realtime" --outputs 1-2 --inputs 1-2 --seconds 2 --dir interrupted \
        >"$work/out" 2>"$work/err" </dev/null &
fi
pid=$!
for _ in $(seq 600); do
    [ "$(grep -c '^start' "$trace")" -ge 2 ] && break
    sleep 0.05
done
sleep 0.3
kill -INT $pid
wait $pid
status=$?
calls=$(grep -v '^getSamplePosition' "$trace" | sed -E 's/^stop .*/stop/' | tail -n 3 | tr '\n' ' ')
if [ "$status" = 130 ] && grep -aq '^Interrupted; the driver was released.' "$work/out" &&
    [ "$calls" = "stop disposeBuffers release " ] && [ "$(grep -c '^start' "$trace")" = 2 ] &&
    python3 -c 'import json,sys; sys.exit(1 if json.load(open(sys.argv[1]))["complete"] else 0)' \
        interrupted/results.json && grep -q 'id="incomplete"' interrupted/report.html; then
    echo "ok   Ctrl+C during the second output"
else
    fail "Ctrl+C: exit code $status, calls $calls, output $(tr -d '\r' <"$work/out")"
fi

# A second Ctrl+C while the driver does not return from stop ends the run; with
# --json the line goes to standard error, which holds the messages then.
said="Interrupted again; the driver did not return and was not released."
second_interrupt run "Run Hung Stop" --outputs 1 --inputs 1 --seconds 1 --dir hung
[ "$status" = 130 ] && [ "$(cat "$work/out.lf")" = "$said" ] &&
    [ "$(tail -n 1 "$trace" | tr -d '\r')" = "hang stop" ] &&
    second_interrupt run "Run Hung Stop" --outputs 1 --inputs 1 --seconds 1 --dir hung --json &&
    [ "$status" = 130 ] && [ ! -s "$work/out" ] && tr -d '\r' <"$work/err" | grep -qxF "$said" &&
    echo "ok   second Ctrl+C, driver hung in stop" ||
    fail "second Ctrl+C, driver hung in stop: exit code $status, output $(cat "$work/out.lf")"

# json_of FILE EXPRESSION: the expression over results.json as d.
json_of() {
    python3 -c 'import json,sys; d=json.load(open(sys.argv[1])); print(eval(sys.argv[2]))' "$@"
}

# A first attempt that loses a block is taken again at once, said on standard
# output, listed in results.json and on the page; the run ends clean. Periods
# of 50 ms, so that a busy machine seldom adds a late switch of its own.
run_ok retake "Run Retake" --outputs 1-2 --inputs 1-2 --from 100 --seconds 1 --buffer 2400 &&
    [ "$(json_of retake/results.json '(d["complete"], d["takes"][0]["output"], d["takes"][0]["repeat"], d["takes"][0]["attempts"] >= 2, d["takes"][0]["lostBlocks"][0] >= 1, d["takes"][0]["lostBlocks"][-1], len(d["takes"]))')" =         "(True, 1, 1, True, True, 0, 2)" ] &&
    grep -aq '^Output 1, repeat 1: [0-9]* block(s) lost or repeated; taking it again (attempt 2 of 4)' "$work/out" &&
    grep -q 'id="retakes"><th>Retakes</th><td>output 1 repeat 1: ' retake/report.html &&
    check retake pairs --delay 1:1:2400,2:2:2400 --below 1:2,2:1 ||
    fail "retake: $(head -c 600 retake/results.json)"

# No retake allowed, the second output's take damaged: code 15, naming it;
# the first output kept in full in results.json, which says it is incomplete.
run_program run "Run Damaged" --outputs 1-2 --inputs 1-2 --from 100 --seconds 1 --retakes 0 \
    --dir damaged
if [ "$status" = 15 ] &&
    grep -aq '^Error: Output 2, repeat 1 lost or repeated blocks in all 1 attempt(s) (blocks lost: [1-9]' "$work/out" &&
    [ "$(json_of damaged/results.json '(d["complete"], d["error"][:15], sorted({p["output"] for p in d["pairs"]}), d["missingOutputs"], [t["attempts"] for t in d["takes"]], d["takes"][0]["lostBlocks"])')" =         "(False, 'Error: Output 2', [1], [2], [1, 1], [0])" ] &&
    [ -s damaged/ir-o1-i1.wav ] && grep -q 'id="incomplete"' damaged/report.html &&
    grep -q 'Not measured: output(s) 2\.' damaged/report.html; then
    echo "ok   damaged take: code 15, the first output kept"
else
    fail "damaged take: exit code $status, $(cat "$work/out") $(head -c 400 damaged/results.json)"
fi

# A loop longer than the silence after the sweep is refused, naming the
# longest round trip and --tail; with a longer tail it is measured exactly.
run_program run "Run Long Loop" --outputs 1 --inputs 1 --from 100 --seconds 1 --level -3 --dir long
[ "$status" = 16 ] && grep -aq 'longest round trip the sweep file holds, 28843 frames' "$work/out" &&
    grep -aq -- '--tail SECONDS' "$work/out" &&
    [ "$(json_of long/results.json 'd["complete"]' 2>/dev/null)" != True ] &&
    echo "ok   long loop refused" || fail "long loop: exit code $status, $(cat "$work/out")"
run_ok long-tail "Run Long Loop" --outputs 1 --inputs 1 --from 100 --seconds 1 --level -3 \
    --tail 0.9 && check long-tail pairs --delay 1:1:31000
# A loop that the driver reports in full needs no --tail: the silence covers it.
run_ok reported "Run Reported Loop" --outputs 1 --inputs 1 --from 100 --seconds 1 &&
    check reported pairs --delay 1:1:40000
# The longest round trip 1 s of silence holds is found to the frame; one
# frame more is refused.
run_ok edge "Run Edge" --outputs 1 --inputs 1 --from 100 --seconds 1 --tail 1 &&
    check edge pairs --delay 1:1:47520
run_program run "Run Past Edge" --outputs 1 --inputs 1 --from 100 --seconds 1 --tail 1 --dir past
[ "$status" = 16 ] && grep -aq 'holds, 47520 frames (990.0 ms)' "$work/out" &&
    echo "ok   one frame past the longest round trip refused" ||
    fail "one frame past the longest round trip: exit code $status, $(cat "$work/out")"

# Refusals, each with the probe's code where it has one, and a message.
refuse() {
    local name=$1 code=$2 text=$3
    shift 3
    run_program run "$@" --dir "refused-$code"
    if [ "$status" = "$code" ] && grep -aq -- "$text" "$work/out" && [ ! -e "refused-$code/results.json" ]; then
        echo "ok   refused: $name"
    else
        fail "refused $name: exit code $status, expected $code"; cat "$work/out"
    fi
}
refuse "no such driver" 4 'Failed to load ASIO driver Nobody' Nobody --outputs 1 --inputs 1
refuse "driver name in the wrong case" 4 '^Did you mean "Run Crosstalk"?' "run CROSSTALK" --outputs 1 --inputs 1
refuse "driver that cannot be used" 5 'Malformed dutFilter' "Run Broken" --outputs 1 --inputs 1
refuse "output outside the device" 6 'Run Realtime has 2 outputs and 2 inputs' \
    "Run Realtime" --outputs 2-3 --inputs 1
refuse "input outside the device" 6 'channel settings' "Run Realtime" --outputs 1 --inputs 9
refuse "rate refused" 8 'cannot run at 32000 Hz' "Run Crosstalk" --outputs 1 --inputs 1 --rate 32000 --to 10000
refuse "band beyond the rate" 23 'Error: ' "Run Crosstalk" --outputs 1 --inputs 1 --rate 44100 --to 21000
refuse "an output that reaches no chosen input" 16 'No signal came back from output 2 to inputs 1 to 1' \
    "Run Noise" --outputs 2 --inputs 1 --from 50 --seconds 1
run_program run "Run Crosstalk" --outputs 1 --inputs 1 --repeats 0
[ "$status" = 1 ] && echo "ok   refused: no repeats" || fail "repeats 0: exit code $status"
run_program run "Run Crosstalk" --outputs 1 --inputs 1 --retakes 101
[ "$status" = 1 ] && echo "ok   refused: too many retakes" || fail "retakes 101: exit code $status"
refuse "a tail too short for the sweep" 24 'tail' "Run Crosstalk" --outputs 1 --inputs 1 --tail 0.1
# A gate past the 58 ms a one-second sweep keeps after the peak, refused
# before the first take; a gate or a smoothing outside what is offered.
refuse "a gate longer than the response kept" 24 'A gate of 100 ms reaches past the linear response' \
    "Run Crosstalk" --outputs 1 --inputs 1 --seconds 1 --gate 100
grep -q '^Output 1, repeat' "$work/err" && fail "a gate too long: refused only after the takes"
for bad in "--gate 0.5" "--gate 501" "--smooth 4"; do
    run_program run "Run Crosstalk" --outputs 1 --inputs 1 $bad
    [ "$status" = 1 ] && grep -aq -- "${bad% *} takes" "$work/out" && echo "ok   refused: $bad" ||
        fail "$bad: exit code $status"
done

# run --reference divides the repeats' average by input 1: input 2 is the
# filter alone, 138 frames after input 1; the crosstalk stays the pairs' own.
printf '# flat\n20 0\n20000 0\n' >flat.cal
run_ok reference "Run Reference" --outputs 1 --inputs 1-2 --from 100 --seconds 1 --repeats 2 \
    --reference 1 --cal flat.cal &&
    python3 - reference/results.json <<'PY' && echo "ok   run --reference" || fail "run --reference"
import cmath, json, math, os, sys
r = json.load(open(sys.argv[1]))
ref, pair = r["pairs"]
fir = lambda taps, hz: abs(sum(b * cmath.exp(-2j * math.pi * hz * n / r["rate"]) for n, b in enumerate(taps)))
gain = lambda hz: fir([0.5, 1, 0.5], hz)
worst = max(abs(p["db"] - 20 * math.log10(gain(p["hz"]))) for p in pair["response"] if 200 <= p["hz"] <= 16000)
# Input 2, the louder, is the direct path; input 1's crosstalk is the
# interface against the interface and filter, undivided.
interface = lambda hz: fir([0.8, 0.3, -0.1], hz)
band = [p["hz"] for p in pair["response"]]
expected = 10 * math.log10(sum(interface(f) ** 2 for f in band) / sum((interface(f) * gain(f)) ** 2 for f in band))
own = [c for c in r["crosstalk"] if c["input"] == 1][0]["db"]
print("  relative delay %s, worst %.4f dB, crosstalk to input 1 %s dB (%.2f)" % (pair.get("relativeDelayFrames"), worst, own, expected))
sys.exit(not (r["reference"] == 1 and pair["relativeDelayFrames"] == 138 and worst < 0.05
              and "relativeDelayFrames" not in ref and abs(own - expected) < 0.05
              and [c["input"] for c in r["calibration"]] == [2]
              and os.path.getsize(os.path.join(os.path.dirname(sys.argv[1]), pair["frd"])) > 0))
PY
refuse "a reference --inputs does not record" 1 '--reference names input 3' "Run Reference" \
    --outputs 1 --inputs 1-2 --reference 3
refuse "a reference below its noise" 16 'The reference, input 1, is below its noise when output 2' \
    "Run Two Loops" --outputs 2 --inputs 1-2 --reference 1 --from 100 --seconds 1

# The report redrawn from results.json alone; a folder without one refused.
rm crosstalk/report.html
run_program report crosstalk
[ "$status" = 0 ] && grep -q 'id="crosstalk"' crosstalk/report.html &&
    echo "ok   report redrawn" || fail "report: exit code $status"
run_program report nowhere
[ "$status" = 25 ] && echo "ok   report of no results refused" || fail "report nowhere: exit code $status"
finish
