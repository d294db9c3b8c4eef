#!/usr/bin/env bash
# tandemwav-probe against configured loopback devices and broken catalogue
# entries: what it reports, that its JSON says the same as its text, that it
# leaves each device as it found it, and that the command line it prints
# records.
#   probe.sh RUNNER PROBE NEWLINE WORKDIR LOOPBACK_MODULE TANDEMWAV
. "$(dirname "$0")/lib.sh"
. "$(dirname "$0")/streaming_lib.sh"
tandemwav=$6
checker=$(dirname "$0")/probe_check.py

LONG="Probe Loopback With A Name Of Forty Chars"
device "Probe Custom" '{C0FFEE10-0000-4000-8000-0000000000A1}' inputs=2 outputs=4 \
    inputNames=Mic outputNames='Spk \"L\\\\R\"' sampleType=17 bufferMin=64 bufferMax=2048 \
    bufferPreferred=128 bufferGranularity=4294967295 sampleRates=44100,88200 sampleRate=88200 \
    latency=300 version=7 freeRunning=1
device "Probe Float" '{C0FFEE10-0000-4000-8000-0000000000A2}' sampleType=19
device "Probe Step" '{C0FFEE10-0000-4000-8000-0000000000A3}' sampleType=16 bufferMin=96 \
    bufferMax=960 bufferPreferred=192 bufferGranularity=32
device "Probe Refusing" '{C0FFEE10-0000-4000-8000-0000000000A4}' failInit="Interface unplugged"
device "Probe Partial" '{C0FFEE10-0000-4000-8000-0000000000A5}' failChannelInfoFrom=2
device "$LONG" '{C0FFEE10-0000-4000-8000-0000000000A6}'
device "Probe Invalid" '{C0FFEE10-0000-4000-8000-0000000000A7}' reportInputs=4294967293 \
    reportBufferMin=0 reportBufferPreferred=0 reportBufferGranularity=4294967289
# A catalogue entry of each broken kind.
{
    printf '[HKEY_LOCAL_MACHINE\\SOFTWARE\\ASIO\\Probe No Class]\n"Description"="x"\n'
    printf '[HKEY_LOCAL_MACHINE\\SOFTWARE\\ASIO\\Probe Bad Class]\n"CLSID"="no-class-here"\n'
    printf '[HKEY_LOCAL_MACHINE\\SOFTWARE\\ASIO\\Probe No Server]\n"CLSID"="%s"\n' \
        '{C0FFEE10-0000-4000-8000-0000000000B1}'
    printf '[HKEY_CLASSES_ROOT\\CLSID\\%s]\n@="no server"\n' '{C0FFEE10-0000-4000-8000-0000000000B1}'
    printf '[HKEY_LOCAL_MACHINE\\SOFTWARE\\ASIO\\Probe Missing Module]\n"CLSID"="%s"\n' \
        '{C0FFEE10-0000-4000-8000-0000000000B2}'
    printf '[HKEY_CLASSES_ROOT\\CLSID\\%s\\InprocServer32]\n@="%s"\n' \
        '{C0FFEE10-0000-4000-8000-0000000000B2}' "$(regpath "$work/no_such_module")"
    # The module by a winding path of more than 127 characters, shown plain:
    # absolute, no "." or "..", no doubled separator.
    printf '[HKEY_LOCAL_MACHINE\\SOFTWARE\\ASIO\\Probe Winding Path]\n"CLSID"="%s"\n' \
        '{C0FFEE10-0000-4000-8000-0000000000B3}'
    folder=$(dirname "$module")
    printf '[HKEY_CLASSES_ROOT\\CLSID\\%s\\InprocServer32]\n@="%s"\n' \
        '{C0FFEE10-0000-4000-8000-0000000000B3}' \
        "$(regpath "$folder/.//../$(basename "$folder")/$(printf './%.0s' {1..40})$(basename "$module")")"
} >>"$work/devices.reg"
for key in "No Class" "Bad Class" "No Server" "Missing Module" "Winding Path"; do
    printf '[-HKEY_LOCAL_MACHINE\\SOFTWARE\\ASIO\\Probe %s]\n' "$key" >>"$work/remove.reg"
done
printf '[-HKEY_CLASSES_ROOT\\CLSID\\%s]\n' '{C0FFEE10-0000-4000-8000-0000000000B1}' \
    '{C0FFEE10-0000-4000-8000-0000000000B2}' '{C0FFEE10-0000-4000-8000-0000000000B3}' \
    >>"$work/remove.reg"
install_devices

fail() {
    echo "FAIL $1"
    failures=$((failures + 1))
}

# probe NAME CODE ARGS...: runs the probe as text and as JSON; both must end
# with CODE, the JSON must parse and hold the same facts as the text. The text
# stays in $work/text.
probe() {
    local name=$1 code=$2
    shift 2
    rm -f "$trace"
    run_program --json "$@"
    tr -d '\r' <"$work/out" >"$work/json"
    [ "$status" = "$code" ] || fail "$name: --json ended with $status, not $code"
    cp "$trace" "$work/json-trace" 2>/dev/null
    rm -f "$trace"
    run_program "$@"
    tr -d '\r' <"$work/out" >"$work/text"
    cp "$work/text" "$work/${name// /_}.txt" # kept for a look after a failure
    [ "$status" = "$code" ] || fail "$name: ended with $status, not $code"
    python3 "$checker" "$work/text" "$work/json" || fail "$name: JSON and text differ"
}

# expect_lines NAME LINE...: every line is in the last text output.
expect_lines() {
    local name=$1 line
    shift
    for line in "$@"; do
        grep -qxF -- "$line" "$work/text" || fail "$name: no line \"$line\""
    done
}

probe "list" 0
expect_lines "list" \
    "  \"Probe Custom\"  {C0FFEE10-0000-4000-8000-0000000000A1}  $(winpath "$module")  module found" \
    "  (subkey \"Probe No Class\")  -  -  skipped: no CLSID value" \
    "  (subkey \"Probe Bad Class\")  no-class-here  -  skipped: CLSID value is not a class identifier" \
    "  (subkey \"Probe No Server\")  {C0FFEE10-0000-4000-8000-0000000000B1}  -  skipped: class has no InprocServer32 path" \
    "  (subkey \"Probe Missing Module\")  {C0FFEE10-0000-4000-8000-0000000000B2}  $(winpath "$work/no_such_module")  module missing  skipped: module file missing" \
    "  \"Probe Loopback With A Name O...\"  {C0FFEE10-0000-4000-8000-0000000000A6}  $(winpath "$module")  module found" \
    "  \"Probe Winding Path\"  {C0FFEE10-0000-4000-8000-0000000000B3}  $(winpath "$module")  module found"

probe "custom device" 0 "Probe Custom"
expect_lines "custom device" "Driver: Probe Custom" "Version: 7" "Inputs: 2" "Outputs: 4" \
    '  2: "Mic 2", Int24LSB (17), group 0, inactive' \
    '  4: "Spk "L\\R" 4", Int24LSB (17), group 0, inactive' \
    "Buffer lengths: minimum 64, maximum 2048, preferred 128, granularity -1: powers of two from 64 to 2048" \
    "Sample rate: 88200 Hz" "Accepted rates: 44100 88200 Hz" \
    'Clock source 0: "Internal", channel -1, group -1, current' \
    "Latencies at 128 frames: input 128, output 172 frames" "Verdict: usable by tandemwav" \
    '  tandemwav "Probe Custom" 128 play.wav 1 record.wav 2 1'
# Left as found: never started, no rate or clock set, buffers disposed last.
for file in "$trace" "$work/json-trace"; do
    grep -qE '^(start|setSampleRate|setClockSource)' "$file" &&
        fail "custom device: the probe started the device or changed its rate or clock"
    [ "$(tail -n 3 "$file" | tr '\n' ' ')" = "getLatencies disposeBuffers release " ] ||
        fail "custom device: the trace does not end with getLatencies, disposeBuffers, release"
done

# The printed command line records, with a playback file as it describes.
make_float_wav play.wav 4 44100 1000
program=$tandemwav run_program "Probe Custom" 128 play.wav 1 record.wav 2 1
[ "$status" = 0 ] || fail "the probe's command line: tandemwav ended with $status"

probe "float device" 0 "Probe Float"
expect_lines "float device" '  1: "In 1", Float32LSB (19), group 0, inactive' \
    "Verdict: not usable by tandemwav: native format 32-bit float: tandemwav plays only 16, 24 and 32-bit integer devices"

probe "device with a step" 0 "Probe Step"
expect_lines "device with a step" \
    "Buffer lengths: minimum 96, maximum 960, preferred 192, granularity 32: steps of 32 from 96 to 960" \
    '  tandemwav "Probe Step" 192 play.wav 1 record.wav 8 1'

probe "refusing device" 5 "Probe Refusing"
expect_lines "refusing device" "Error: Failed to initialize ASIO driver!" \
    "Driver message: Interface unplugged"
[ "$(tail -n 1 "$trace")" = release ] || fail "refusing device: not released"

probe "channel descriptions failing from channel 3" 0 "Probe Partial"
expect_lines "channel descriptions failing from channel 3" \
    "  3 to 8: no description (getChannelInfo error -1000)" \
    '  tandemwav "Probe Partial" 256 play.wav 1 record.wav 2 1'

# Numbers as the driver gave them, the invalid ones marked; tandemwav refuses
# a negative channel count and limits that admit no length.
probe "invalid values" 0 "Probe Invalid"
expect_lines "invalid values" "Inputs: -3 (invalid)" "Outputs: 8" \
    "Buffer lengths: minimum 0 (invalid), maximum 8192, preferred 0 (invalid), granularity -7 (invalid): none (minimum 0, maximum 8192)" \
    "Verdict: not usable by tandemwav: it reports -3 input channels, and tandemwav refuses a negative count"

probe "long name" 0 "Probe Loopback With A Name O..."
expect_lines "long name" "Driver: Probe Loopback With A Name Of F"
probe "long name in full" 4 "$LONG"
expect_lines "long name in full" "Error: Failed to load ASIO driver $LONG!"

# A name right but for case: the probe names the driver meant; tandemwav's
# own message stays as it always was.
probe "wrong case" 4 "probe FLOAT"
expect_lines "wrong case" "Error: Failed to load ASIO driver probe FLOAT!" 'Did you mean "Probe Float"?'
program=$tandemwav run_program "probe FLOAT" 256 play.wav 1 record.wav 2 1
[ "$status" = 4 ] && ! grep -q 'Did you mean' "$work/out" || fail "tandemwav's message for a wrong-case name"

run_program "Probe Custom" "Probe Step"
[ "$status" = 1 ] && grep -q '^Usage: tandemwav-probe' "$work/out" || fail "two driver names"
run_program --verbose
[ "$status" = 1 ] && grep -q '^Usage: tandemwav-probe' "$work/out" || fail "unknown option"
# With --json every answer is a document: usage errors, help and version too.
json_is() {
    python3 -c 'import json,sys; d=json.load(open(sys.argv[1])); sys.exit(not eval(sys.argv[2]))' \
        "$work/out" "$1"
}
run_program --json --verbose
[ "$status" = 1 ] && json_is 'd["exitCode"] == 1 and "--verbose" in d["error"] and d["usage"].startswith("Usage: tandemwav-probe")' ||
    fail "unknown option with --json"
run_program --help --json
[ "$status" = 0 ] && json_is 'd["usage"].startswith("Usage: tandemwav-probe") and "exitCode" not in d' ||
    fail "--help with --json"
run_program --json --version
[ "$status" = 0 ] && json_is 'd["version"].count(".") == 2' || fail "--version with --json"
# Rates are whole numbers of Hz.
for rate in 44100.5 4.41e4 48000x; do
    run_program "Probe Custom" --latency 1:1 --rate "$rate"
    [ "$status" = 1 ] && grep -qF "invalid value for --rate: $rate (a whole number of Hz from 1000 to 1000000)" "$work/out" ||
        fail "--rate $rate: exit code $status"
done
run_program --version
[ "$status" = 0 ] && grep -q '^tandemwav-probe [0-9]\+\.[0-9]\+\.[0-9]\+' "$work/out" ||
    fail "--version"
# What hides a driver: a name that an earlier entry has too, and a subkey name
# too long for tandemwav's field, which ends its walk of the catalogue.
long_key="Probe Zy $(printf 'x%.0s' $(seq 123))"
{
    echo 'Windows Registry Editor Version 5.00'
    for twin in A B; do
        printf '[HKEY_LOCAL_MACHINE\\SOFTWARE\\ASIO\\Probe Twin %s]\n"CLSID"="%s"\n' "$twin" \
            "${device_clsid[Probe Float]}"
        printf '"Description"="Probe Twin"\n'
    done
    for key in "$long_key" "Probe Zz After"; do
        printf '[HKEY_LOCAL_MACHINE\\SOFTWARE\\ASIO\\%s]\n"CLSID"="%s"\n' "$key" \
            "${device_clsid[Probe Step]}"
    done
} >"$work/hiding.reg"
for key in "Twin A" "Twin B" "${long_key#Probe }" "Zz After"; do
    printf '[-HKEY_LOCAL_MACHINE\\SOFTWARE\\ASIO\\Probe %s]\n' "$key" >>"$work/uninstall.reg"
done
if [ -n "$runner" ]; then
    "$runner" regedit /S "$(winpath "$work/hiding.reg")"
else
    tail -n +2 "$work/hiding.reg" >>config/tandemwav/registry.reg
fi
probe "hidden drivers" 0
expect_lines "hidden drivers" 'Note: 2 drivers are named "Probe Twin"; tandemwav uses the first.' \
    "  (subkey \"Probe Zz After\")  ${device_clsid[Probe Step]}  $(winpath "$module")  not seen: after a subkey that ends the catalogue"
grep -qE "^  \"Probe Twin\"  .*  hidden: an entry before it has the same name, and tandemwav uses the first\$" "$work/text" ||
    fail "hidden drivers: the second twin is not marked"
grep -qE "^Note: the key \"$long_key\" \(132 characters\) ends the catalogue; [1-9][0-9]* keys? after it (is|are) not seen\.\$" "$work/text" ||
    fail "hidden drivers: no note on the long key"
finish
