#!/usr/bin/env bash
# Driver set-up against the test driver module: load, initialisation and the
# channel, buffer-length and sample-rate checks, exit codes 4 to 8, with the
# whole output and the driver calls of each path, clean-up included.
. "$(dirname "$0")/lib.sh"

bin=$(dirname "$program")
if [ -n "$runner" ]; then
    driver=$bin/tandem_test_driver.dll
else
    driver=$bin/tandem_test_driver.so
fi
log=$work/driver.log

# A class of the test driver: CLASS_ID TAG NAME then "Name"=value lines.
class_keys() {
    local id=$1 tag=$2 name=$3
    shift 3
    printf '[HKEY_CLASSES_ROOT\\CLSID\\%s]\n"TestTag"="%s"\n"TestName"="E2E %s Driver"\n' \
        "$id" "$tag" "$name"
    printf '"TestLog"="%s"\n"TestInputs"=dword:00000004\n"TestOutputs"=dword:00000006\n' \
        "$(regpath "$log")"
    printf '"TestMaxSize"=dword:00000800\n"TestSetRates"="48000"\n'
    printf '%s\n' "$@"
    printf '[HKEY_CLASSES_ROOT\\CLSID\\%s\\InprocServer32]\n@="%s"\n' "$id" "$(regpath "$driver")"
}

# An installed driver: SUBKEY CLASS_ID.
asio_key() {
    printf '[HKEY_LOCAL_MACHINE\\SOFTWARE\\ASIO\\%s]\n"CLSID"="%s"\n' "$1" "$2"
}

GOOD={5A1E0011-7D3B-4C2A-9E11-0123456789AB}
REFUSING={5A1E0012-7D3B-4C2A-9E11-0123456789AB}
ZERO={5A1E0013-7D3B-4C2A-9E11-0123456789AB}
FAILING={5A1E0014-7D3B-4C2A-9E11-0123456789AB}
NAMES=("Tandem E2E Good" "Tandem E2E Refusing" "Tandem E2E Zero" "Tandem E2E Failing")
{
    echo 'Windows Registry Editor Version 5.00'
    class_keys "$GOOD" G Good
    class_keys "$REFUSING" R Refusing '"TestInit"=dword:00000000'
    class_keys "$ZERO" Z Zero '"TestMinSize"=dword:00000000'
    class_keys "$FAILING" F Failing '"TestFactory"=dword:80004005'
    asio_key "${NAMES[0]}" "$GOOD"
    asio_key "${NAMES[1]}" "$REFUSING"
    asio_key "${NAMES[2]}" "$ZERO"
    asio_key "${NAMES[3]}" "$FAILING"
} >drivers.reg

if [ -n "$runner" ]; then
    "$runner" regedit /S "$(winpath "$work/drivers.reg")"
    {
        echo 'Windows Registry Editor Version 5.00'
        for name in "${NAMES[@]}"; do
            printf '[-HKEY_LOCAL_MACHINE\\SOFTWARE\\ASIO\\%s]\n' "$name"
        done
    } >remove.reg
    trap '"$runner" regedit /S "$(winpath "$work/remove.reg")"' EXIT
else
    export XDG_CONFIG_HOME=$work/config
    mkdir -p config/tandemwav
    cp drivers.reg config/tandemwav/registry.reg
fi

# expect_calls NAME CALLS...: the driver's calls during the last run.
expect_calls() {
    local name=$1
    shift
    if [ $# -eq 0 ]; then : >"$work/calls"; else printf '%s\n' "$@" >"$work/calls"; fi
    if ! cmp -s "$work/calls" "$log" 2>/dev/null && ! { [ $# -eq 0 ] && [ ! -s "$log" ]; }; then
        echo "FAIL $name: driver calls differ"
        diff "$work/calls" "$log"
        failures=$((failures + 1))
    fi
    rm -f "$log"
}

make_float_wav play48.wav 2 48000 300
make_float_wav play44.wav 2 44100 300
make_float_wav play22.wav 1 22050 300

INIT_GOOD='ASIO Driver correctly initialized: E2E Good Driver
Available driver channel: 4 inputs; 6 outputs
'
OPENED=("G create" "G init" "G getDriverName" "G getDriverVersion" "G getChannels")

expect_run "unknown driver" 4 "${BANNER}Error: Failed to load ASIO driver No Such Driver!" \
    "No Such Driver" 256 play48.wav 1 rec.wav 2 1
expect_calls "unknown driver"
expect_run "name in other letter case" 4 \
    "${BANNER}Error: Failed to load ASIO driver tandem e2e good!" \
    "tandem e2e good" 256 play48.wav 1 rec.wav 2 1
expect_calls "name in other letter case"
expect_run "driver that cannot be created" 4 \
    "${BANNER}Error: Failed to load ASIO driver Tandem E2E Failing!" \
    "Tandem E2E Failing" 256 play48.wav 1 rec.wav 2 1
expect_calls "driver that cannot be created" "F refused creation"

expect_run "driver refuses to initialise" 5 "${BANNER}Error: Failed to initialize ASIO driver!" \
    "Tandem E2E Refusing" 256 play48.wav 1 rec.wav 2 1
expect_calls "driver refuses to initialise" \
    "R create" "R init" "R getErrorMessage" "R destroy"

CHANNELS="${BANNER}${INIT_GOOD}Error: Wrong input/output channel settings!"
expect_run "stereo file from the last output" 6 "$CHANNELS" \
    "Tandem E2E Good" 256 play48.wav 6 rec.wav 2 1
expect_calls "stereo file from the last output" "${OPENED[@]}" "G destroy"
expect_run "record start 0" 6 "$CHANNELS" "Tandem E2E Good" 256 play48.wav 1 rec.wav 2 0
expect_calls "record start 0" "${OPENED[@]}" "G destroy"
expect_run "record beyond the inputs" 6 "$CHANNELS" \
    "Tandem E2E Good" 256 play48.wav 1 rec.wav 2 4
expect_run "negative record count" 6 "$CHANNELS" "Tandem E2E Good" 256 play48.wav 1 rec.wav -1 2
expect_run "negative play start" 6 "$CHANNELS" "Tandem E2E Good" 256 play48.wav -1 rec.wav 1 1
rm -f "$log"

PERMITTED="${BANNER}${INIT_GOOD}Permitted buffer size: 64 to 2048
"
expect_run "buffer below the minimum" 7 \
    "${PERMITTED}Error: Unable to set ASIO buffer size to 63!" \
    "Tandem E2E Good" 63 play48.wav 5 rec.wav 2 3
expect_calls "buffer below the minimum" "${OPENED[@]}" "G getBufferSize" "G destroy"
expect_run "buffer above the maximum" 7 \
    "${PERMITTED}Error: Unable to set ASIO buffer size to 2049!" \
    "Tandem E2E Good" 2049 play48.wav 1 rec.wav 4 1
expect_run "buffer length 0 with a minimum of 0" 7 \
    "${BANNER}ASIO Driver correctly initialized: E2E Zero Driver
Available driver channel: 4 inputs; 6 outputs
Permitted buffer size: 0 to 2048
Error: Unable to set ASIO buffer size to 0!" \
    "Tandem E2E Zero" 0 play48.wav 1 rec.wav 2 1
rm -f "$log"

RATE_REFUSED="Error: Failed to set sample rate as recquested to WAV input file!"
expect_run "rate the driver cannot run" 8 \
    "${PERMITTED}Buffer Size set to 2048 sample
${RATE_REFUSED}
This driver cannot run to 22050 Hz
" "Tandem E2E Good" 2048 play22.wav 6 rec.wav 0 1
expect_calls "rate the driver cannot run" "${OPENED[@]}" "G getBufferSize" \
    "G canSampleRate 22050" "G destroy"
expect_run "rate the driver cannot set" 8 \
    "${PERMITTED}Buffer Size set to 64 sample
${RATE_REFUSED}
This driver cannot run to 44100 Hz
" "Tandem E2E Good" 64 play44.wav 1 rec.wav 2 1
expect_calls "rate the driver cannot set" "${OPENED[@]}" "G getBufferSize" \
    "G canSampleRate 44100" "G setSampleRate 44100" "G destroy"

[ ! -e rec.wav ] || { echo "FAIL a refused run left a record file"; failures=$((failures + 1)); }
finish
