#!/usr/bin/env bash
# tandemwav-measure run --overlap through a loopback device with a model
# inside (a polynomial up to the fifth order, a filter, crosstalk at -50 dB and
# noise): 4 outputs x 4 inputs measured one output after another and then all
# at once give the same figures. The device runs at 192 kHz, where the cubic's
# harmonics of the sweep stay below half the rate: a digital nonlinearity's
# folded products are no order of the sweep and land wherever their time
# takes them, in another output's window when the sweeps overlap; a window that does not fit the sweep is
# refused with its code and the figures that would fit.
#   measure_overlap.sh RUNNER MEASURE NEWLINE WORKDIR LOOPBACK_MODULE
. "$(dirname "$0")/lib.sh"
. "$(dirname "$0")/streaming_lib.sh"
here=$(cd "$(dirname "$0")" && pwd)

device "Overlap Model" "{4EA5E101-0000-4000-8000-00000000AC34}" freeRunning=1 outputs=4 inputs=4 \
    sampleRates="48000,192000" sampleRate=192000 \
    dutPolynomial="1 0.2 0.1" dutFilter="0.6 0.3 0.1" dutCrosstalkDb="-50" \
    dutNoiseDb="-110"
install_devices

fail() {
    echo "FAIL $1"
    failures=$((failures + 1))
}

# An 8-s sweep (L = 1 s), orders up to the cubic's counted, a window of 0.2 s:
# the outputs one gap apart. (Interleaved outputs, two to a group, need a
# 12-s sweep here; their arrangement is held by test_overlap_plan, and what
# a partner's ringing does to the crosstalk pairs is in docs/measure.md.)
sweep=(--outputs 1-4 --inputs 1-4 --seconds 8 --to 16000 --level -10 --harmonics 3)
run_program run "Overlap Model" "${sweep[@]}" --dir in-turn
[ "$status" = 0 ] || fail "one output after another: exit code $status $(cat "$work/out")"
for window in 0.2; do
    run_program run "Overlap Model" "${sweep[@]}" --overlap --ir-seconds $window --dir overlap-$window
    [ "$status" = 0 ] || fail "overlapping: exit code $status $(cat "$work/out")"
    if python3 "$here/measure_overlap_check.py" in-turn/results.json overlap-$window/results.json \
        $window; then
        echo "ok   overlapping sweeps, a window of $window s: the figures of one output after another"
    else
        fail "overlapping sweeps' figures, a window of $window s"
    fi
done
tr -d '\r' <"$work/out" >"$work/overlap.out"
grep -qE '^Overlapping sweeps: 4 outputs in one take per repeat, [0-9]+ frames .*, 1 output\(s\) to a group$' "$work/overlap.out" &&
    grep -qE '^The run took [0-9.]+ s; one output after another would take about [0-9.]+ s$' \
        "$work/overlap.out" && grep -q '^Every output, repeat 1 (take 1 of 1)' "$work/err" &&
    [ -s overlap-0.2/report.html ] && [ -s overlap-0.2/ir-o4-i3.wav ] &&
    echo "ok   the overlapping run's summary, progress and files" ||
    fail "the overlapping run's summary: $(cat "$work/overlap.out" "$work/err")"

# Refused before anything plays: L ln 2 = 0.194 s holds no 0.3-s window.
run_program run "Overlap Model" --outputs 1-4 --inputs 1-4 --from 50 --seconds 2 --rate 48000 \
    --to 20000 --overlap --dir refused
expected='Error: An impulse response of 0.300 s does not fit this sweep: its window and the 0.1 s before each onset must fit within L*ln 2 = 0.194 s, the time from an output'"'"'s second harmonic to its linear response!
The longest --ir-seconds this sweep allows is 0.094 s; a sweep of at least 4.09 s (--seconds) makes room for 0.300 s.'
[ "$status" = 28 ] && [ "$(tr -d '\r' <"$work/out")" = "$expected" ] &&
    [ ! -e refused/results.json ] &&
    echo "ok   a window that does not fit refused" ||
    fail "window that does not fit: exit code $status, $(cat "$work/out")"
run_program run "Overlap Model" --outputs 1 --inputs 1 --ir-seconds 0.2
[ "$status" = 1 ] && grep -q -- '--ir-seconds needs --overlap' "$work/out" &&
    echo "ok   --ir-seconds without --overlap refused" || fail "--ir-seconds alone: exit code $status"
finish
