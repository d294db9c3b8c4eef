#!/usr/bin/env bash
# tandemwav-measure interface through loopback devices with a model inside,
# each figure held to its closed form: a polynomial's THD+N (against level up
# to the level that clips, and against frequency), SMPTE and CCIF IMD and
# -50 dB crosstalk on two pairs; a -80 dB noise's levels and dynamic range
# with --quick; a bit-exact loop at the analysis's floor; takes that keep
# losing blocks; unequal channel counts; --json; the page in a browser.
#   measure_interface.sh RUNNER MEASURE NEWLINE WORKDIR LOOPBACK_MODULE
. "$(dirname "$0")/lib.sh"
. "$(dirname "$0")/streaming_lib.sh"
here=$(cd "$(dirname "$0")" && pwd)

id() { printf '{1F7E2F%02d-0000-4000-8000-00000000AC32}' "$1"; }
# The model's loop is 1000 frames shorter at every second start, so its tone
# takes come back 21 ms sooner than its sweeps: still read within the tones.
device "Interface Model" "$(id 1)" freeRunning=1 dutPolynomial="1 0.01 0.02" dutCrosstalkDb="-50" \
    latencySequence="1256 256"
# The noise device slips a block at its second start, the first tone take,
# which is taken again.
device "Interface Noise" "$(id 2)" freeRunning=1 dutNoiseDb="-80" slipSkipAt=20 faultStarts=2
device "Interface Exact" "$(id 3)" freeRunning=1
device "Interface Late" "$(id 4)" freeRunning=1 slipSkipAt=4
install_devices

fail() {
    echo "FAIL $1"
    failures=$((failures + 1))
}

check() {
    python3 "$here/measure_interface_check.py" "$@" || fail "$1 $2"
}

run_program interface "Interface Model" --outputs 1-2 --inputs 1-2 --dir model
if [ "$status" = 0 ]; then
    check model/results.json polynomial 1,0.01,0.02 -50 48000 1256
    grep -aq '^  IMD, SMPTE' "$work/out" || fail "model: the summary on standard output"
else
    fail "model: exit code $status"; cat "$work/out"
fi

run_program interface "Interface Noise" --outputs 1 --inputs 1 --quick --dir noise
if [ "$status" = 0 ]; then
    check noise/results.json noise -80 48000
    python3 -c 'import json,sys; r=json.load(open(sys.argv[1])); sys.exit(0 if r["retakes"] == 1 and [(t["take"], t["lostBlocks"]) for t in r["takes"]] == [("sweep", [0]), ("tones", [1, 0])] else 1)' \
        noise/results.json && grep -aq '^Output 1, tone take: 1 block(s) lost or repeated; taking it again (attempt 2 of 4)' \
        "$work/out" && echo "ok   a damaged tone take retaken" || fail "noise: the retake"
else
    fail "noise: exit code $status"; cat "$work/out"
fi

# With --json, standard output holds results.json and nothing else.
run_program interface "Interface Exact" --outputs 3 --inputs 3 --quick --json --dir exact
if [ "$status" = 0 ] && tr -d '\r' <"$work/out" | cmp -s - exact/results.json; then
    check exact/results.json floor
else
    fail "exact: exit code $status, or standard output is not results.json"
fi

# A device that loses a block in every take: retaken, then refused with no figure.
: >"$trace"
run_program interface "Interface Late" --outputs 1 --inputs 1 --quick --dir late
[ "$status" = 15 ] && grep -aq '^Error: Output 1, repeat 1 lost or repeated blocks in all 4 attempt(s)' \
    "$work/out" && [ ! -e late/results.json ] && [ "$(grep -c '^start' "$trace")" = 4 ] &&
    echo "ok   lost blocks in every attempt" ||
    fail "lost blocks: exit code $status $(cat "$work/out")"

run_program interface "Interface Exact" --outputs 1-2 --inputs 1
[ "$status" = 1 ] && grep -aq 'as many' "$work/out" && echo "ok   unequal counts refused" ||
    fail "unequal counts: exit code $status"

# The pages as a browser shows them, where there is one: every plot of the
# full measurement on two pairs (a noiseless model has no noise to plot), and
# the noise spectrum of the quick one.
if [ -z "$runner" ] && command -v chromium >/dev/null && [ -s model/report.html ]; then
    . "$here/report_browser_lib.sh"
    render_page "$work/model/report.html" "$work/model-dom.html" "$work/model.png"
    check "$work/model-dom.html" page 2 response,thdn-level,thdn-frequency,smpte,ccif,crosstalk
    python3 "$here/report_page_check.py" screenshot "$work/model.png" &&
        echo "ok   the page's screenshot is not blank" || fail "the page's screenshot"
    render_page "$work/noise/report.html" "$work/noise-dom.html" "$work/noise.png"
    check "$work/noise-dom.html" page 1 response,noise
fi
finish
