#!/usr/bin/env bash
# tandemwav-measure run through the JACK driver on the private JACK server of
# the test fixture, wired as a loopback: output 1 to inputs 1 and 2. The
# looped pair's delay is one period; input 2, which nothing feeds, is reported
# below its noise and does not fail the run.
#   measure_jack.sh RUNNER MEASURE NEWLINE WORKDIR DRIVER_MODULE SERVER_NAME
module=$5
server=$6
source "$(dirname "$0")/lib.sh"
here=$(cd "$(dirname "$0")" && pwd)

clsid='{6C1D4A52-93E7-4B0F-A2C5-1E8F0D3B7AA4}'
mkdir -p "$work/config/tandemwav"
cat >"$work/config/tandemwav/registry.reg" <<REG
Windows Registry Editor Version 5.00

[HKEY_LOCAL_MACHINE\\SOFTWARE\\ASIO\\JACK Measure Test]
"CLSID"="$clsid"
"Description"="JACK Measure Test"

[HKEY_CLASSES_ROOT\\CLSID\\$clsid\\InprocServer32]
@="$module"

[HKEY_LOCAL_MACHINE\\SOFTWARE\\tandemwav\\jack\\$clsid]
"name"="JACK Measure Test"
"connect"="loopback"
"server"="$server"
"client"="tandemwav-measure-e2e"
REG
export XDG_CONFIG_HOME=$work/config

period=256
# An xrun on a busy machine may move one take: one retry.
for attempt in 1 2; do
    timeout 120 "$program" run "JACK Measure Test" --outputs 1 --inputs 1-2 --buffer $period \
        --from 50 --seconds 2 --dir jack >"$work/out" 2>"$work/err" </dev/null
    status=$?
    [ "$status" = 0 ] && python3 "$here/measure_run_check.py" jack/results.json pairs \
        --delay 1:1:$period --below 1:2 >"$work/check" && break
    echo "note attempt $attempt: exit code $status; $(cat "$work/check" 2>/dev/null)"
    status=1
done
if [ "$status" = 0 ]; then
    echo "ok   JACK loopback: delay of one period on the looped pair, input 2 below its noise"
else
    echo "FAIL JACK run"; cat "$work/out"
    failures=$((failures + 1))
fi
finish
