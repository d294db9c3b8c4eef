#!/usr/bin/env bash
# A configured loopback device installed with the one line its manual gives
# for this system, then found, initialised and run by the program.
. "$(dirname "$0")/lib.sh"

bin=$(dirname "$program")
clsid='{C0FFEE00-0000-4000-8000-000000000001}'
settings="HKEY_LOCAL_MACHINE\\SOFTWARE\\tandemwav\\loopback\\$clsid"

if [ -n "$runner" ]; then
    # As in cmd: reg add ... && reg add ... && regsvr32 /s tandem_loopback.dll
    "$runner" reg add "$settings" /v name /d "My Loopback" /f >/dev/null &&
        "$runner" reg add "$settings" /v inputs /t REG_DWORD /d 2 /f >/dev/null &&
        "$runner" reg add "$settings" /v freeRunning /t REG_DWORD /d 1 /f >/dev/null &&
        "$runner" regsvr32 /s "$bin/tandem_loopback.dll" &&
        "$runner" reg query "HKEY_CLASSES_ROOT\\CLSID\\$clsid\\InprocServer32" /v ThreadingModel |
        grep -q Both
    installed=$?
else
    export XDG_CONFIG_HOME=$work/config
    cd "$bin" || exit 1
    mkdir -p "${XDG_CONFIG_HOME:-$HOME/.config}/tandemwav" && printf '%s\n' 'Windows Registry Editor Version 5.00' "[HKEY_LOCAL_MACHINE\\SOFTWARE\\tandemwav\\loopback\\$clsid]" '"name"="My Loopback"' '"inputs"=dword:00000002' '"freeRunning"=dword:00000001' "[HKEY_LOCAL_MACHINE\\SOFTWARE\\ASIO\\My Loopback]" "\"CLSID\"=\"$clsid\"" "[HKEY_CLASSES_ROOT\\CLSID\\$clsid\\InprocServer32]" "@=\"$PWD/libtandem_loopback.so\"" >> "${XDG_CONFIG_HOME:-$HOME/.config}/tandemwav/registry.reg"
    installed=$?
    cd "$work" || exit 1
fi
if [ "$installed" != 0 ]; then
    echo "FAIL install: status $installed"
    finish
fi

make_float_wav play.wav 2 48000 1000
run_program "My Loopback" 256 play.wav 1 rec.wav 2 1
tr -d '\r' <"$work/out" >"$work/out.lf"
for line in "ASIO Driver correctly initialized: My Loopback" \
    "Available driver channel: 2 inputs; 8 outputs" "Done!"; do
    if ! grep -qF "$line" "$work/out.lf"; then
        echo "FAIL run: no line \"$line\" (exit code $status)"
        failures=$((failures + 1))
    fi
done
if [ "$status" != 0 ]; then
    echo "FAIL run: exit code $status"
    failures=$((failures + 1))
fi
# 1000 frames played in whole buffers of 256: 1024 frames of 2 channels.
if [ "$(stat -c %s rec.wav 2>/dev/null)" != $((44 + 1024 * 2 * 4)) ]; then
    echo "FAIL run: recording is not 1024 frames of two channels"
    failures=$((failures + 1))
fi
[ "$failures" = 0 ] && echo "ok   installed and ran My Loopback"
finish
