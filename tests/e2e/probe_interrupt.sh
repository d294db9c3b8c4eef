#!/usr/bin/env bash
# Ctrl+C (SIGINT; under Wine it arrives as Ctrl+C at the console handler)
# while the probe asks a slow driver about its rates: the probe stops asking,
# releases the driver without creating buffers, and ends with exit code 130.
. "$(dirname "$0")/lib.sh"

bin=$(dirname "$program")
if [ -n "$runner" ]; then driver=$bin/tandem_test_driver.dll; else driver=$bin/tandem_test_driver.so; fi
log=$work/driver.log
clsid='{5A1E0021-7D3B-4C2A-9E11-0123456789AB}'
{
    echo 'Windows Registry Editor Version 5.00'
    printf '[HKEY_CLASSES_ROOT\\CLSID\\%s]\n"TestTag"="S"\n"TestName"="Slow Driver"\n' "$clsid"
    printf '"TestLog"="%s"\n"TestRateDelay"=dword:000001f4\n' "$(regpath "$log")"
    printf '[HKEY_CLASSES_ROOT\\CLSID\\%s\\InprocServer32]\n@="%s"\n' "$clsid" "$(regpath "$driver")"
    printf '[HKEY_LOCAL_MACHINE\\SOFTWARE\\ASIO\\Probe Slow]\n"CLSID"="%s"\n' "$clsid"
} >drivers.reg
if [ -n "$runner" ]; then
    "$runner" regedit /S "$(winpath "$work/drivers.reg")"
    printf 'Windows Registry Editor Version 5.00\n[-HKEY_LOCAL_MACHINE\\SOFTWARE\\ASIO\\Probe Slow]\n[-HKEY_CLASSES_ROOT\\CLSID\\%s]\n' \
        "$clsid" >remove.reg
    trap '"$runner" regedit /S "$(winpath "$work/remove.reg")"' EXIT
    "$runner" "$program" "Probe Slow" >"$work/out" 2>"$work/err" &
else
    export XDG_CONFIG_HOME=$work/config
    mkdir -p config/tandemwav
    cp drivers.reg config/tandemwav/registry.reg
    "$program" "Probe Slow" >"$work/out" 2>"$work/err" </dev/null &
fi
pid=$!
for _ in $(seq 200); do
    grep -q canSampleRate "$log" 2>/dev/null && break
    sleep 0.05
done
kill -INT $pid
wait $pid
status=$?
tr -d '\r' <"$work/out" >"$work/out.lf"
if [ "$status" != 130 ] || ! grep -qx "Interrupted; the driver was released." "$work/out.lf"; then
    echo "FAIL interrupt: exit code $status"
    cat "$work/out.lf"
    failures=$((failures + 1))
fi
# Asked about a rate or two at most, then released; no buffers, no start.
if [ "$(tail -n 1 "$log")" != "S destroy" ] || grep -qE 'createBuffers|start|setSampleRate' "$log" ||
    [ "$(grep -c canSampleRate "$log")" -gt 2 ]; then
    echo "FAIL interrupt: driver calls"
    cat "$log"
    failures=$((failures + 1))
fi
[ "$failures" = 0 ] && echo "ok   interrupted probe"
finish
