#!/usr/bin/env bash
# Endurance at real rate through the loopback device with strict timing: a
# switch that returns after the next half's deadline loses blocks, as on
# hardware. Each case prints the late switches, the worst and mean time the
# host spent in a switch, the clock thread's scheduling, and whether the
# recording is the playback, bit for bit, one buffer later.
#   bench/endurance.sh [CASE...]
# Cases: native192 (60 s, 192 kHz, 32 frames, 64 + 64, 3-byte), wine192 (the
# same under Wine), native48 (600 s, 48 kHz, 64 frames, 8 + 8, 3-byte),
# wine48; default: native192 wine192 native48. Builds the bench preset (and the
# windows preset for the Wine cases). A 192 kHz case needs about 6 GB in
# $TMPDIR (default /tmp) and 5 GB of memory; everything is removed at the end.
# ENDURANCE_SECONDS shortens every case, to check the rig. Under Wine a sleep
# lasts about a millisecond at least, so the clock there sleeps until 2 ms
# before each deadline and yields until it comes (the device's spinUs);
# ENDURANCE_SPIN_US sets that for every case (native default 0).
set -eu
cd "$(dirname "$0")/.."
root=$PWD
cases=("$@")
[ ${#cases[@]} -gt 0 ] || cases=(native192 wine192 native48)
cmake --preset bench >/dev/null && cmake --build --preset bench -j 2 >/dev/null
bench=$root/build/bench/bin
if [[ " ${cases[*]} " == *" wine"* ]]; then
    cmake --preset windows >/dev/null && cmake --build --preset windows -j 2 >/dev/null
fi
work=$(mktemp -d "${TMPDIR:-/tmp}/tandemendurance.XXXXXX")
trap 'WINEPREFIX=$work/wine wineserver -k >/dev/null 2>&1 || true; rm -rf "$work"' EXIT
clsid='{7A3D5E10-BE2C-4C55-9E61-2B1F0C6A9D02}'

# registry NAME RATE CHANNELS MODULE TRACE SPIN_US: the device, in .reg form.
registry() {
    cat <<REG
Windows Registry Editor Version 5.00

[HKEY_LOCAL_MACHINE\\SOFTWARE\\ASIO\\$1]
"CLSID"="$clsid"
"Description"="$1"

[HKEY_CLASSES_ROOT\\CLSID\\$clsid\\InprocServer32]
@="$4"
"ThreadingModel"="Both"

[HKEY_LOCAL_MACHINE\\SOFTWARE\\tandemwav\\loopback\\$clsid]
"name"="$1"
"inputs"=dword:$(printf %08x "$3")
"outputs"=dword:$(printf %08x "$3")
"sampleRates"="$2"
"sampleRate"=dword:$(printf %08x "$2")
"sampleType"=dword:00000011
"bufferMin"=dword:00000010
"strictTiming"=dword:00000001
"spinUs"=dword:$(printf %08x "$6")
"traceFile"="$5"
REG
}

winpath() { printf 'Z:%s' "$1" | tr / '\\' | sed 's/\\/\\\\/g'; }

wine_prefix() {
    export WINEPREFIX=$work/wine WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" DISPLAY=
    [ -f "$WINEPREFIX/system.reg" ] || { wineboot -i >/dev/null 2>&1; wineserver -w; }
}

# run_case LABEL SYSTEM RATE BUFFER CHANNELS SECONDS
run_case() {
    local label=$1 system=$2 rate=$3 buffer=$4 channels=$5 seconds=${ENDURANCE_SECONDS:-$6}
    local play=$work/play.wav rec=$work/rec.wav trace=$work/trace.txt status=0 spin_us
    spin_us=${ENDURANCE_SPIN_US:-$([ "$system" = native ] && echo 0 || echo 2000)}
    "$bench/make_bench_wav" "$play" "$channels" "$seconds" "$rate"
    rm -f "$rec" "$trace"
    local load_before load_after
    load_before=$(cut -d' ' -f1-3 /proc/loadavg)
    if [ "$system" = native ]; then
        mkdir -p "$work/config/tandemwav"
        registry "Tandem Endurance" "$rate" "$channels" "$bench/libtandem_loopback.so" "$trace" \
            "${ENDURANCE_SPIN_US:-0}" >"$work/config/tandemwav/registry.reg"
        XDG_CONFIG_HOME=$work/config "$bench/tandemwav" "Tandem Endurance" "$buffer" "$play" 1 \
            "$rec" "$channels" 1 >"$work/out" </dev/null || status=$?
    else
        wine_prefix
        registry "Tandem Endurance" "$rate" "$channels" \
            "$(winpath "$root/build/windows/bin/tandem_loopback.dll")" "$(winpath "$trace")" \
            "${ENDURANCE_SPIN_US:-2000}" >"$work/install.reg"
        wine regedit /S "$(winpath "$work/install.reg" | sed 's/\\\\/\\/g')"
        wine "$root/build/windows/bin/tandemwav.exe" "Tandem Endurance" "$buffer" \
            "$(winpath "$play" | sed 's/\\\\/\\/g')" 1 "$(winpath "$rec" | sed 's/\\\\/\\/g')" \
            "$channels" 1 >"$work/out" </dev/null || status=$?
    fi
    load_after=$(cut -d' ' -f1-3 /proc/loadavg)
    local stop exact
    stop=$(grep '^stop late=' "$trace" | tail -1 || true)
    exact=$("$bench/check_loop" "$play" "$rec" 3 "$buffer" "$buffer" | tail -1 || true)
    printf '%-9s spin %4s us %3d kHz %4d frames %2d+%-2d %4d s | exit %2d | %s | %s | load %s -> %s\n' \
        "$label" "${spin_us}" $((rate / 1000)) "$buffer" "$channels" "$channels" "$seconds" "$status" \
        "${stop:-no stop line}" "$exact" "$load_before" "$load_after"
    rm -f "$play" "$rec"
}

echo "Machine: $(nproc) cores; $(uname -sr); started $(date -u +%H:%M:%S) UTC"
for c in "${cases[@]}"; do
    case $c in
    native192) run_case native native 192000 32 64 60 ;;
    wine192) run_case wine wine 192000 32 64 60 ;;
    native48) run_case native native 48000 64 8 600 ;;
    wine48) run_case wine wine 48000 64 8 600 ;;
    *) echo "unknown case $c" >&2; exit 2 ;;
    esac
done
