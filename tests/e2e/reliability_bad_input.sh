#!/usr/bin/env bash
# Hostile and mistaken input, end to end: playback files that are cut short,
# not files, unreadable or refused by their header, a data chunk shorter than
# declared; arguments that are not numbers, negative, huge or wrap; record
# paths that cannot be written or that name the playback file; driver names
# with spaces and at the limits of the name buffers. (Missing and empty files,
# a 16-bit file, negative channel arguments and a name in other letter case
# are in front_door.sh and driver_setup.sh.)
here=$(cd "$(dirname "$0")" && pwd)
. "$here/lib.sh"
. "$here/reliability_lib.sh"

FAST=$(dword freeRunning 1)
NAME28="Reliability Name of 28 chars"
NAME31="Reliability Name of 31 chars..."
NAME32="Reliability Name of 32 chars...."
NAME40="Reliability Name with forty characters.."
loopback_device good "Reliability Good" 41 "$FAST"
loopback_device spaces "Reliability  Two  Spaces" 42 "$FAST"
loopback_device n28 "$NAME28" 43 "$FAST"
loopback_device n31 "$NAME31" 44 "$FAST"
loopback_device n32 "$NAME32" 45 "$FAST"
loopback_device n40 "$NAME40" 46 "$FAST"
install_devices
[ ${#NAME28} = 28 ] && [ ${#NAME31} = 31 ] && [ ${#NAME32} = 32 ] && [ ${#NAME40} = 40 ] ||
    fail_case "test set-up" "name lengths"

make_float_wav play.wav 2 48000 1000
as_root=false
[ "$(id -u)" = 0 ] && as_root=true

# Exit 2 for a playback file the header reader refuses.
refused() {
    local name=$1 file=$2
    expect_run "$name" 2 "${BANNER}Error: Unable to load input WAV file $file!" \
        "Reliability Good" 256 "$file" 1 rec.wav 2 1
}

# --- Playback files that are not whole or not files.
for cut in 3 11 20 35 40 42; do
    head -c $cut play.wav >cut$cut.wav
    refused "playback file cut after $cut bytes" cut$cut.wav
done
mkdir -p folder.wav
refused "directory instead of a file" folder.wav
cp play.wav locked.wav
chmod 000 locked.wav
if cat locked.wav >/dev/null 2>&1; then
    echo "skip unreadable playback file: running as root, mode 000 does not stop reads"
else
    refused "unreadable playback file" locked.wav
fi

# --- Every header the reader refuses, and accepted headers that are not
# 32-bit float. variant FILE PERL: a copy of play.wav changed by PERL on $h,
# the 44-byte header, and $d, the data.
variant() {
    perl -e '
        my ($in, $out, $code) = @ARGV;
        open(my $f, "<:raw", $in) or die; local $/; my $all = <$f>;
        my ($h, $d) = (substr($all, 0, 44), substr($all, 44));
        eval $code; die $@ if $@;
        open(my $o, ">:raw", $out) or die; print $o $h, $d;' play.wav "$1" "$2"
}
variant lower_riff.wav 'substr($h, 0, 4) = "riff"'
variant rifx.wav 'substr($h, 0, 4) = "RIFX"'
variant no_wave.wav 'substr($h, 8, 4) = "AVI "'
variant fmt_x.wav 'substr($h, 12, 4) = "fmtx"'
variant fmt18.wav 'substr($h, 16, 4) = pack("V", 18); substr($h, 36, 0) = pack("v", 0)'
variant fmt40.wav 'substr($h, 16, 4) = pack("V", 40); substr($h, 20, 2) = pack("v", 0xFFFE);
    substr($h, 36, 0) = pack("v v V a16", 22, 32, 3, "\x03\0\0\0\0\0\x10\0\x80\0\0\xaa\0\x38\x9b\x71")'
variant fact.wav 'substr($h, 36, 0) = "fact" . pack("V V", 4, 1000)'
variant list.wav 'substr($h, 36, 0) = "LIST" . pack("V", 4) . "INFO"'
variant no_data.wav 'substr($h, 36, 4) = "DATA"'
variant no_channels.wav 'substr($h, 22, 2) = pack("v", 0)'
variant bits4.wav 'substr($h, 34, 2) = pack("v", 4)'
variant less_than_a_frame.wav 'substr($h, 40, 4) = pack("V", 7)'
variant no_data_declared.wav 'substr($h, 40, 4) = pack("V", 0); $d = ""'
for file in lower_riff rifx no_wave fmt_x fmt18 fmt40 fact list no_data no_channels bits4 \
    less_than_a_frame no_data_declared; do
    refused "refused header: $file" $file.wav
done
NOT_FLOAT="${BANNER}Error: Unsupported WAV file format! (This application support only 32bit float WAV file)"
variant pcm32.wav 'substr($h, 20, 2) = pack("v", 1)'
variant float64.wav 'substr($h, 34, 2) = pack("v", 64)'
variant extensible_tag.wav 'substr($h, 20, 2) = pack("v", 0xFFFE)'
for file in pcm32 float64 extensible_tag; do
    expect_run "not 32-bit float: $file" 3 "$NOT_FLOAT" "Reliability Good" 256 $file.wav 1 rec.wav 2 1
done
# A LIST chunk behind the data is never read.
variant list_behind.wav '$d .= "LIST" . pack("V", 4) . "INFO"'
run_program "Reliability Good" 256 list_behind.wav 1 rec.wav 2 1
expect_status "chunk behind the data" 0
check_recording rec.wav play.wav 256 1024 2 || fail_case "chunk behind the data" "recording"

# --- Data shorter than declared: the missing part plays as silence. 500
# whole frames and the first sample of the next, of 1000 declared.
before=$failures
head -c $((44 + 500 * 8 + 4)) play.wav >short.wav
run_program "Reliability Good" 256 short.wav 1 rec.wav 2 1
expect_status "data shorter than declared" 0
expect_lines "data shorter than declared" "Done!"
check_recording rec.wav short.wav 256 1024 2 || fail_case "data shorter than declared" "recording"
[ "$failures" != "$before" ] || echo "ok   data shorter than declared"
before=$failures
head -c 44 play.wav >header_only.wav
run_program "Reliability Good" 256 header_only.wav 1 rec.wav 2 1
expect_status "header only, data declared" 0
check_recording rec.wav header_only.wav 256 1024 2 || fail_case "header only, data declared" "recording"
[ "$failures" != "$before" ] || echo "ok   header only, data declared"

# --- Arguments.
SET_UP="${BANNER}ASIO Driver correctly initialized: Reliability Good
Available driver channel: 8 inputs; 8 outputs
"
PERMITTED="${SET_UP}Permitted buffer size: 16 to 8192
"
CHANNELS="${SET_UP}Error: Wrong input/output channel settings!"
buffer_refused() {
    expect_run "buffer length \"$1\"" 7 "${PERMITTED}Error: Unable to set ASIO buffer size to $2!" \
        "Reliability Good" "$1" play.wav 1 rec.wav 2 1
}
buffer_refused abc 0
buffer_refused -256 -256
buffer_refused 99999999999999999999 2147483647
buffer_refused 4294967552 2147483647 # 2^32 + 256 must not wrap to 256
buffer_refused -4294967040 -2147483648
expect_run "play start not a number" 6 "$CHANNELS" "Reliability Good" 256 play.wav one rec.wav 2 1
expect_run "record start not a number" 6 "$CHANNELS" \
    "Reliability Good" 256 play.wav 1 rec.wav 2 first
expect_run "huge record start" 6 "$CHANNELS" \
    "Reliability Good" 256 play.wav 1 rec.wav 2 99999999999
expect_run "record range wrapping past 2^32" 6 "$CHANNELS" \
    "Reliability Good" 256 play.wav 1 rec.wav 2147483647 2147483647
expect_run "play start wrapping past 2^32" 6 "$CHANNELS" \
    "Reliability Good" 256 play.wav 4294967295 rec.wav 2 1
expect_run "record count -2^31" 6 "$CHANNELS" \
    "Reliability Good" 256 play.wav 1 rec.wav -2147483648 3

# --- Record paths.
STARTED_BEFORE="${PERMITTED}Buffer Size set to 256 sample
SampleRate set to 48000
ASIO driver latency: input: 256, output: 0
ASIO native data fomat: LSB Integer 32bits
"
unwritable() {
    expect_run "$1" 14 "${STARTED_BEFORE}Error: Unable to write output WAV file $2!" \
        "Reliability Good" 256 play.wav 1 "$2" 2 1
}
unwritable "record path is a directory" folder.wav
unwritable "record path in a missing directory" missing/rec.wav
cp play.wav readonly.wav
chmod 444 readonly.wav
if $as_root; then
    echo "skip read-only record file: running as root, mode 444 does not stop writes"
else
    unwritable "read-only record file" readonly.wav
    cmp -s play.wav readonly.wav || fail_case "read-only record file" "file was changed"
fi
mkdir -p closed
chmod 555 closed
if touch closed/probe 2>/dev/null; then
    rm -f closed/probe
    echo "skip record file in a read-only directory: running as root"
else
    unwritable "record file in a read-only directory" closed/rec.wav
fi

# The playback file is loaded whole before the run and replaced by the
# recording after it.
before=$failures
cp play.wav original.wav
cp play.wav same.wav
run_program "Reliability Good" 256 same.wav 1 same.wav 2 1
expect_status "record path equal to the playback path" 0
check_recording same.wav original.wav 256 1024 2 ||
    fail_case "record path equal to the playback path" "recording"
[ "$failures" != "$before" ] || echo "ok   record path equal to the playback path"

# --- Driver names. The catalogue is read into 32-character buffers, so a name
# of 32 or more characters is listed as its first 28 and "...".
found() {
    local name=$1 typed=$2 shown=$3
    before=$failures
    rm -f rec.wav
    run_program "$typed" 256 play.wav 1 rec.wav 2 1
    expect_status "$name" 0
    expect_lines "$name" "ASIO Driver correctly initialized: $shown" "Done!"
    [ "$failures" != "$before" ] || echo "ok   $name"
}
not_found() {
    expect_run "$1" 4 "${BANNER}Error: Failed to load ASIO driver $2!" \
        "$2" 256 play.wav 1 rec.wav 2 1
}
found "name with two double spaces" "Reliability  Two  Spaces" "Reliability  Two  Spaces"
not_found "name with the spaces collapsed" "Reliability Two Spaces"
not_found "name with a trailing space" "Reliability Good "
found "name of 28 characters" "$NAME28" "$NAME28"
found "name of 31 characters" "$NAME31" "$NAME31"
not_found "name of 32 characters, typed in full" "$NAME32"
found "name of 32 characters, as listed" "${NAME32:0:28}..." "${NAME32:0:31}"
not_found "name of 40 characters, typed in full" "$NAME40"
found "name of 40 characters, as listed" "${NAME40:0:28}..." "${NAME40:0:31}"
not_found "name of 28 characters with \"...\"" "${NAME28}..."

chmod 755 closed
finish
