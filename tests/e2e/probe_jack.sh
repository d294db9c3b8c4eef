#!/usr/bin/env bash
# tandemwav-probe on the JACK driver against the test's private JACK server
# (48000 Hz, period 256): the server's rate is the one accepted, its period
# the one buffer length, and the printed command line records; a port wired
# to itself brings the signal back one period later, every run.
#   probe_jack.sh RUNNER PROBE NEWLINE WORKDIR JACK_MODULE SERVER_NAME TANDEMWAV
module=$5
server=$6
tandemwav=$7
source "$(dirname "$0")/lib.sh"

clsid='{6C1D4A52-93E7-4B0F-A2C5-1E8F0D3B7A93}'
mkdir -p "$work/config/tandemwav"
cat >"$work/config/tandemwav/registry.reg" <<REG
Windows Registry Editor Version 5.00

[HKEY_LOCAL_MACHINE\\SOFTWARE\\ASIO\\JACK Probe Test]
"CLSID"="$clsid"

[HKEY_CLASSES_ROOT\\CLSID\\$clsid\\InprocServer32]
@="$module"

[HKEY_LOCAL_MACHINE\\SOFTWARE\\tandemwav\\jack\\$clsid]
"name"="JACK Probe Test"
"connect"="loopback"
"server"="$server"
"client"="tandemwav-probe-e2e"
REG
export XDG_CONFIG_HOME=$work/config

# No server of that name: one message of ours, nothing from libjack.
sed "s/\"server\"=\"$server\"/\"server\"=\"$server-absent\"/" "$work/config/tandemwav/registry.reg" \
    >"$work/absent.reg"
mkdir -p "$work/absent/tandemwav" && mv "$work/absent.reg" "$work/absent/tandemwav/registry.reg"
XDG_CONFIG_HOME=$work/absent run_program "JACK Probe Test"
if [ "$status" = 5 ] && [ ! -s "$work/err" ] && [ "$(cat "$work/out")" = "Error: Failed to initialize ASIO driver!
Driver message: JACK: no JACK server \"$server-absent\" is running; start one first" ]; then
    echo "ok   no server: one message of ours"
else
    echo "FAIL no server: exit code $status"
    cat "$work/out" "$work/err"
    failures=$((failures + 1))
fi

# No server named in the settings: the message names the one libjack was
# sent to, JACK_DEFAULT_SERVER's.
grep -v '^"server"=' "$work/config/tandemwav/registry.reg" >"$work/absent/tandemwav/registry.reg"
XDG_CONFIG_HOME=$work/absent JACK_DEFAULT_SERVER=$server-unnamed run_program "JACK Probe Test"
if [ "$status" = 5 ] &&
    grep -qF "Driver message: JACK: no JACK server \"$server-unnamed\" is running" "$work/out"; then
    echo "ok   no server: the one from JACK_DEFAULT_SERVER named"
else
    echo "FAIL no server from JACK_DEFAULT_SERVER: exit code $status"
    cat "$work/out"
    failures=$((failures + 1))
fi

run_program --json "JACK Probe Test"
cp "$work/out" "$work/json"
run_program "JACK Probe Test"
cp "$work/out" "$work/text"
python3 - "$work/json" <<'PY' || failures=$((failures + 1))
import json, sys
doc = json.load(open(sys.argv[1]))
b, r = doc["bufferSize"], doc["sampleRate"]
problems = []
if r["accepted"] != [48000] or r["current"] != 48000:
    problems.append("rates %s, current %s" % (r["accepted"], r["current"]))
if (b["min"], b["max"], b["preferred"]) != (256, 256, 256):
    problems.append("buffer %s" % b)
if not doc["verdict"]["usable"]:
    problems.append("verdict %s" % doc["verdict"]["reason"])
for p in problems:
    print("FAIL jack: " + p)
sys.exit(1 if problems else 0)
PY
python3 "$(dirname "$0")/probe_check.py" "$work/text" "$work/json" ||
    { echo "FAIL jack: JSON and text differ"; failures=$((failures + 1)); }

line=$(sed -n 's/^  tandemwav "JACK Probe Test" /"JACK Probe Test" /p' "$work/text")
[ "$line" = '"JACK Probe Test" 256 play.wav 1 record.wav 8 1' ] ||
    { echo "FAIL jack: command line $line"; failures=$((failures + 1)); }
make_float_wav play.wav 2 48000 2000
program=$tandemwav run_program "JACK Probe Test" 256 play.wav 1 record.wav 8 1
# 15: recorded, but the loaded machine made JACK miss a cycle; the set-up the
# probe suggested was admitted all the same.
[ "$status" = 0 ] || [ "$status" = 15 ] || { echo "FAIL jack: the printed command line ended with $status"; failures=$((failures + 1)); }

run_program --json "JACK Probe Test" --latency 1:1 --runs 3
python3 - "$work/out" <<'PY' || { echo "FAIL jack latency: exit code $status"; cat "$work/out"; failures=$((failures + 1)); }
import json, sys
doc = json.load(open(sys.argv[1]))
# Even when a loaded machine makes JACK miss cycles (the runs' lostBlocks),
# a port wired to itself returns each block one period later.
runs = [r["frames"] for r in doc["runs"]]
sys.exit(0 if runs == [256] * 3 and doc["reported"]["total"] == 256 else 1)
PY
[ "$failures" = 0 ] && echo "ok   jack probe"

# Unwired ports (connect=none): --wait plays the first run again until the
# loop, wired by hand here once the ports exist, answers.
sed -e 's/"connect"="loopback"/"connect"="none"/' -e 's/tandemwav-probe-e2e/tandemwav-probe-wait/' \
    "$work/config/tandemwav/registry.reg" >"$work/unwired.reg"
mv "$work/unwired.reg" "$work/config/tandemwav/registry.reg"
"$program" --json "JACK Probe Test" --latency 1:1 --runs 3 --wait 60 >"$work/out" 2>"$work/err" \
    </dev/null &
pid=$!
wired=no
for _ in $(seq 300); do
    if JACK_DEFAULT_SERVER=$server jack_connect tandemwav-probe-wait:out_1 \
        tandemwav-probe-wait:in_1 2>/dev/null; then
        wired=yes
        break
    fi
    sleep 0.1
done
wait $pid
status=$?
python3 - "$work/out" <<'PY' && [ "$wired" = yes ] && echo "ok   --wait for a loop wired by hand" ||
import json, sys
doc = json.load(open(sys.argv[1]))
sys.exit(0 if [r["frames"] for r in doc["runs"]] == [256] * 3 else 1)
PY
    { echo "FAIL --wait: exit code $status, wired $wired"; cat "$work/out"; failures=$((failures + 1)); }
finish
