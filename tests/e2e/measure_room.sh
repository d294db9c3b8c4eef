#!/usr/bin/env bash
# Room acoustics through tandemwav on loopback devices whose model holds a
# room of known decay: the sweep played and recorded by tandemwav, analysed
# with --room, and the impulse response it wrote analysed again by `room`.
# The figures are held to the model's closed forms and to the scatter a
# decay of noise has in each band; a noise floor 55 dB below the decay's
# start leaves T30, one 40 dB below it leaves T20 only.
#   measure_room.sh RUNNER MEASURE NEWLINE WORKDIR LOOPBACK_MODULE TANDEMWAV
. "$(dirname "$0")/lib.sh"
. "$(dirname "$0")/streaming_lib.sh"
tandemwav=${6:?tandemwav is the sixth argument}
here=$(cd "$(dirname "$0")" && pwd)

# The deconvolved noise stands this far below dutNoiseDb with the sweep
# below (-12 dBFS, 50 Hz to 20 kHz reported, 10 s), and the tail's first
# mean square E_r / (tau * rate) 44.4 dB below the direct sound's at
# T = 0.8 s, -10 dB and 48 kHz: the floors 55 and 40 dB below the tail's start.
id() { printf '{4EA5E0%02d-0000-4000-8000-0000000AC0C0}' "$1"; }
ROOM="freeRunning=1 dutReverbSeconds=0.8 dutReverbDb=-10"
# shellcheck disable=SC2086
device "Room" "$(id 1)" $ROOM
# shellcheck disable=SC2086
device "Room Floor 55" "$(id 2)" $ROOM dutNoiseDb=-63.2
# shellcheck disable=SC2086
device "Room Floor 40" "$(id 3)" $ROOM dutNoiseDb=-48.2
install_devices

run_program sweep sweep.wav --from 50 --seconds 10
[ "$status" = 0 ] || { echo "FAIL sweep: exit code $status"; cat "$work/out"; exit 1; }

# take NAME DEVICE: played and recorded by tandemwav, analysed with --room.
take() {
    local name=$1 dev=$2
    if [ -n "$runner" ]; then
        "$runner" "$tandemwav" "$dev" 256 sweep.wav 1 "$name.wav" 1 1 >"$work/play" 2>&1
    else
        "$tandemwav" "$dev" 256 sweep.wav 1 "$name.wav" 1 1 >"$work/play" 2>&1 </dev/null
    fi || { echo "FAIL $name: tandemwav exit code $?"; tail -c 300 "$work/play"; return 1; }
    run_program analyze sweep.wav "$name.wav" --room
    [ "$status" = 0 ] || { echo "FAIL $name: analyze exit code $status"; cat "$work/out"; return 1; }
}

judge() {
    local name=$1
    shift
    if python3 "$here/measure_room_check.py" "$@"; then
        echo "ok   $name"
    else
        echo "FAIL $name"
        failures=$((failures + 1))
    fi
}

if take plain "Room"; then
    grep -q '^  broadband ' "$work/out" || { echo "FAIL plain: no room table"; failures=$((failures + 1)); }
    judge "closed forms and bounds" plain-measure/results.json plain
    # The response analyze wrote, analysed alone, gives the same figures.
    run_program room plain-measure/ir-1.wav --dir ir-room
    [ "$status" = 0 ] || { echo "FAIL room: exit code $status"; cat "$work/out"; failures=$((failures + 1)); }
    judge "room on ir-1.wav as analyze --room" ir-room/results.json same plain-measure/results.json
    grep -q 'id="channel-1-room-table"' ir-room/report.html &&
        grep -q 'class="plot decay"' ir-room/report.html &&
        grep -q 'id="pair-i1-room-table"' plain-measure/report.html ||
        { echo "FAIL pages: no room table or decay plot"; failures=$((failures + 1)); }
else
    failures=$((failures + 1))
fi
take floor55 "Room Floor 55" && judge "floor 55 dB: T30" floor55-measure/results.json floor55 ||
    failures=$((failures + 1))
take floor40 "Room Floor 40" && judge "floor 40 dB: T20 alone" floor40-measure/results.json floor40 ||
    failures=$((failures + 1))

# run --room: the same room through the measurement's own device run, its
# silence after the sweep 2 s as --room-seconds asks, and the response kept
# that long (2 s of 4-byte frames).
run_program run "Room" --outputs 1 --inputs 1 --room --room-seconds 2 --from 50 --seconds 10 \
    --dir run-room
if [ "$status" = 0 ]; then
    judge "run --room" run-room/results.json plain
    [ "$(wc -c <run-room/ir-o1-i1.wav)" -ge $((44 + 4 * 96000)) ] && echo "ok   run --room-seconds 2" ||
        { echo "FAIL run --room-seconds 2: a shorter response"; failures=$((failures + 1)); }
else
    echo "FAIL run --room: exit code $status"; cat "$work/out"; failures=$((failures + 1))
fi

# A response with no decay in it: noise a twentieth of a second long.
python3 - <<'PY'
import random, struct, wave
w = wave.open("short.wav", "wb")
w.setnchannels(1); w.setsampwidth(2); w.setframerate(48000)
w.writeframes(b"".join(struct.pack("<h", int(random.gauss(0, 3000))) for _ in range(2400)))
w.close()
PY
run_program room short.wav
if [ "$status" = 16 ] && grep -q 'holds no decay' "$work/out"; then
    echo "ok   no decay: 16"
else
    echo "FAIL no decay: exit code $status"; cat "$work/out"; failures=$((failures + 1))
fi
run_program room short.wav --bands fifth
[ "$status" = 1 ] && echo "ok   --bands fifth: 1" || { echo "FAIL --bands fifth: $status"; failures=$((failures + 1)); }
finish
