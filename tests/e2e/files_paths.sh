#!/usr/bin/env bash
# Paths of every kind: playback paths that are not regular files are refused
# at once; a device as the record path is refused before the start; names in
# Chinese, Cyrillic and with an emoji, and a path of more than 260 characters,
# give bit-exact recordings and are echoed as typed; drivers registered by a
# file as regedit writes it (UTF-16LE with a byte-order mark, CRLF), one with a
# name in Chinese.
here=$(cd "$(dirname "$0")" && pwd)
. "$here/lib.sh"
. "$here/reliability_lib.sh"
# Wine hands the arguments and file names over in the Unix locale's charset.
export LC_ALL=C.UTF-8

FAST=$(dword freeRunning 1)
loopback_device names "Files Names" 52 "$FAST"
loopback_device utf16 "Files UTF-16 驱动" 53 "$FAST"
# The registry files as regedit writes them: UTF-16LE, a byte-order mark, CRLF.
for reg in "$devices_reg" "$removal_reg"; do
    perl -CSD -pe 's/\n/\r\n/; $_ = "\x{FEFF}$_" if $. == 1' "$reg" |
        iconv -f UTF-8 -t UTF-16LE >"$reg.utf16"
    mv "$reg.utf16" "$reg"
done
install_devices

make_float_wav play.wav 2 48000 1000
SET_UP="${BANNER}ASIO Driver correctly initialized: Files Names
Available driver channel: 8 inputs; 8 outputs
Permitted buffer size: 16 to 8192
Buffer Size set to 256 sample
SampleRate set to 48000
ASIO driver latency: input: 256, output: 0
ASIO native data fomat: LSB Integer 32bits
"

# not_played NAME PATH: refused with exit 2 without waiting on the file: a run
# that blocked on it would take the full ten seconds, while a sanitized build
# on a busy machine may take more than one.
not_played() {
    local start end before=$failures
    start=$(date +%s%N)
    timeout 10 ${runner:+"$runner"} "$program" "Files Names" 256 "$2" 1 rec.wav 2 1 \
        >"$work/out" 2>"$work/err" </dev/null
    status=$?
    end=$(date +%s%N)
    expect_status "$1" 2
    expect_tail "$1" "Error: Unable to load input WAV file $2!"
    [ $(((end - start) / 1000000)) -lt 5000 ] ||
        fail_case "$1" "took $(((end - start) / 1000000)) ms"
    [ "$failures" != "$before" ] || echo "ok   $1"
}
if [ -z "$runner" ]; then
    mkfifo fifo.wav
    mkdir folder.wav
    not_played "named pipe as the playback file" fifo.wav
    not_played "folder as the playback file" folder.wav
    not_played "device as the playback file" /dev/zero
    expect_run "device as the record file" 14 "${SET_UP}Error: Unable to write output WAV file /dev/null!" \
        "Files Names" 256 play.wav 1 /dev/null 2 1
else
    not_played "NUL as the playback file" NUL
    not_played "CON as the playback file" CON
    not_played "pipe path as the playback file" '\\.\pipe\tandemwav-files'
    expect_run "NUL as the record file" 14 "${SET_UP}Error: Unable to write output WAV file NUL!" \
        "Files Names" 256 play.wav 1 NUL 2 1
fi

# recorded NAME PLAY REC [DEVICE]: a run that ends with Done! and a recording
# that is the playback, one buffer later.
recorded() {
    local before=$failures
    [ -L "$3" ] || rm -f "$3"
    run_program "${4:-Files Names}" 256 "$2" 1 "$3" 2 1
    expect_status "$1" 0
    expect_lines "$1" "Done!"
    check_recording "$3" "$2" 256 1024 2 || fail_case "$1" "recording"
    [ "$failures" != "$before" ] || echo "ok   $1"
}
for name in "播放_测试" "воспроизведение" "play_😀_ä"; do
    cp play.wav "$name.wav"
    recorded "names: $name" "$name.wav" "录音_запись_🎤_$name.wav"
done
expect_run "name echoed: missing playback file" 2 \
    "${BANNER}Error: Unable to load input WAV file 缺失_нет_😀.wav!" \
    "Files Names" 256 缺失_нет_😀.wav 1 rec.wav 2 1
expect_run "name echoed: record file in a missing folder" 14 \
    "${SET_UP}Error: Unable to write output WAV file 无_нет_😀/rec.wav!" \
    "Files Names" 256 play.wav 1 无_нет_😀/rec.wav 2 1
expect_run "name echoed: driver" 4 "${BANNER}Error: Failed to load ASIO driver 驱动_😀!" \
    "驱动_😀" 256 play.wav 1 rec.wav 2 1

# More than 260 characters, given in full.
deep=$work
while [ ${#deep} -lt 300 ]; do deep=$deep/folder_with_a_long_name_число_數; done
mkdir -p "$deep"
cp play.wav "$deep/play.wav"
run_program "Files Names" 256 "$(winpath "$deep/play.wav")" 1 "$(winpath "$deep/rec.wav")" 2 1
expect_status "path of ${#deep} characters" 0
check_recording "$deep/rec.wav" play.wav 256 1024 2 || fail_case "path of ${#deep} characters" "recording"
[ "$failures" != 0 ] || echo "ok   path of ${#deep} characters"

if [ -z "$runner" ]; then
    # A link is followed: the file it names gets the recording, the link stays.
    printf 'an earlier recording' >linked.wav
    ln -s linked.wav link.wav
    recorded "record path is a symbolic link" play.wav link.wav
    [ -L link.wav ] || fail_case "record path is a symbolic link" "the link was replaced"
fi
recorded "registry file in UTF-16LE, driver name in Chinese" play.wav rec.wav "Files UTF-16 驱动"
expect_lines "registry file in UTF-16LE, driver name in Chinese" \
    "ASIO Driver correctly initialized: Files UTF-16 驱动"
finish
