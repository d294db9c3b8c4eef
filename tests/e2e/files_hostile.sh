#!/usr/bin/env bash
# The record path under hostile conditions. Names that can only fail (empty, a
# component or a whole path too long) and, natively, a target that we may not
# replace are refused with exit 14 before anything is played. A target that
# turns into a folder during the run, or (natively) a folder that stops taking
# new names, leaves the recording whole under the name that the last line
# gives. Natively also: a link that points at nothing yet gets the recording
# where it points; a replaced file keeps its permission bits and the file being
# written is readable by nobody else; a file size limit lowered during the run
# ends with exit 14, not with SIGXFSZ, and leaves no file behind.
here=$(cd "$(dirname "$0")" && pwd)
. "$here/lib.sh"
. "$here/reliability_lib.sh"

declare_devices() {
    loopback_device fast "Files Hostile" 54 "$(dword freeRunning 1)"
    # Real time, but the clock waits for a late host: a busy machine loses no block.
    loopback_device live "Files Live" 55 "$(dword strictTiming 0)"
    install_devices
}
declare_devices

make_float_wav play.wav 2 48000 1000
# Three seconds in real time: long enough to change the target during the run.
make_float_wav long.wav 2 48000 144000
set_up() {
    printf '%sASIO Driver correctly initialized: %s
Available driver channel: 8 inputs; 8 outputs
Permitted buffer size: 16 to 8192
Buffer Size set to 256 sample
SampleRate set to 48000
ASIO driver latency: input: 256, output: 0
ASIO native data fomat: LSB Integer 32bits
' "$BANNER" "$1"
}
SET_UP=$(set_up "Files Hostile")
temporaries() { find "${1:-.}" -maxdepth 1 -name '.tandemwav-*.tmp' | wc -l; }

# refused NAME PATH: exit 14 with the usual message before the start, and no
# file left in the path's folder.
refused() {
    local name=$1 path=$2
    expect_run "$name" 14 "${SET_UP}
Error: Unable to write output WAV file $path!" "Files Hostile" 256 play.wav 1 "$path" 2 1
    [ "$(temporaries "$(dirname "$path")")" = 0 ] || fail_case "$name" "a temporary file was left"
}

refused "empty record path" ""
refused "name component of 300 characters" "$(printf 'n%.0s' $(seq 300)).wav"
if [ -z "$runner" ]; then
    # The folder exists and takes the new file's shorter name; only the whole
    # path passes the system's limit.
    deep=.
    while [ ${#deep} -lt 4050 ]; do deep=$deep/folder_of_fifty_characters_to_pass_the_limit_xxxx; done
    mkdir -p "$deep"
    refused "path of more than 4096 characters" "$deep/$(printf 'r%.0s' $(seq 60)).wav"
fi

# start_live TARGET [PREFIX...]: a run of three seconds recording to TARGET, in
# the background; returns once it plays.
start_live() {
    local target=$1
    shift
    # The last run's output must not be taken for this one's before it begins.
    rm -f "$work/out"
    "$@" ${runner:+"$runner"} "$program" "Files Live" 256 long.wav 1 "$target" 2 1 \
        >"$work/out" 2>"$work/err" </dev/null &
    live_pid=$!
    until grep -q "Play & Record Started" "$work/out" 2>/dev/null; do
        kill -0 $live_pid 2>/dev/null || break
        sleep 0.05
    done
}
finish_live() {
    wait $live_pid
    status=$?
}

# kept NAME TARGET FOLDER: the run ended with exit 14 and a last line naming the
# file that holds the whole recording, in the target's folder; its name is left
# in $keeper.
kept() {
    expect_status "$1" 14
    keeper=$(tr -d '\r' <"$work/out" | sed -n 's/^The recording is kept as //p')
    expect_tail "$1" "Converting and storing recorded data...
Error: Unable to write output WAV file $2!
The recording is kept as $keeper"
    case $keeper in
    "$3"/.tandemwav-*.tmp | .tandemwav-*.tmp) ;;
    *) fail_case "$1" "kept as \"$keeper\", not in the target's folder" ;;
    esac
    keeper=${keeper//\\//}
    check_recording "$keeper" long.wav 256 144128 2 || fail_case "$1" "the kept recording"
}

before=$failures
printf 'an earlier recording' >becomes_folder.wav
start_live becomes_folder.wav
rm becomes_folder.wav
mkdir becomes_folder.wav
touch becomes_folder.wav/inside
finish_live
kept "target became a folder during the run" becomes_folder.wav .
rm -f "$keeper"
[ "$(ls becomes_folder.wav)" = inside ] || fail_case "target became a folder during the run" "the folder changed"
[ "$failures" != "$before" ] || echo "ok   target became a folder during the run: the recording is kept"

if [ -n "$runner" ]; then
    finish
fi

# A link that points at nothing yet, absolute and relative to its own folder.
before=$failures
mkdir -p sub
ln -s sub/made.wav dangling.wav
ln -s ../made_too.wav sub/dangling_too.wav
for link in dangling.wav sub/dangling_too.wav; do
    run_program "Files Hostile" 256 play.wav 1 "$link" 2 1
    expect_status "dangling link $link" 0
    [ -L "$link" ] || fail_case "dangling link $link" "the link was replaced"
done
check_recording sub/made.wav play.wav 256 1024 2 || fail_case "dangling link" "sub/made.wav"
check_recording made_too.wav play.wav 256 1024 2 || fail_case "dangling link" "made_too.wav"
[ "$failures" != "$before" ] || echo "ok   a dangling link gets the recording where it points"

# A limit lowered during the run: the write fails after it, without a signal.
before=$failures
printf 'an earlier recording' >limited.wav
start_live limited.wav
prlimit --pid "$live_pid" --fsize=100000:100000
finish_live
expect_status "file size limit lowered during the run" 14
expect_tail "file size limit lowered during the run" "Converting and storing recorded data...
Error: Unable to write output WAV file limited.wav!"
[ "$(cat limited.wav)" = "an earlier recording" ] ||
    fail_case "file size limit lowered during the run" "the old file was changed"
[ "$(temporaries)" = 0 ] || fail_case "file size limit lowered during the run" "a temporary file was left"
[ "$failures" != "$before" ] || echo "ok   file size limit lowered during the run: exit 14, no file left"

if [ "$(id -u)" != 0 ] || ! command -v setpriv >/dev/null; then
    echo "skip cases for another user: not run as root"
    finish
fi
as_nobody() { setpriv --reuid=nobody --regid=nogroup --clear-groups "$@"; }
# Another user may not reach our build tree or work folder (a home of mode 0700
# holds them on a fresh machine), so these cases run in a folder that anyone
# may enter, with copies of the program and the driver module it loads.
public=$(mktemp -d /tmp/tandemwav-hostile.XXXXXX)
trap 'rm -rf "$public"' EXIT
chmod 755 "$public"
cp "$program" "$loopback_module" "$public/"
program=$public/$(basename "$program")
loopback_module=$public/$(basename "$loopback_module")
work=$public/work
devices_reg=$work/devices.reg
mkdir -m 755 "$work"
cd "$work" || exit 1
cp "$OLDPWD/play.wav" "$OLDPWD/long.wav" .
printf 'Windows Registry Editor Version 5.00\n' >"$devices_reg"
declare_devices

# Bits kept; the file being written is ours alone meanwhile.
before=$failures
printf 'private' >private.wav
chmod 640 private.wav
start_live private.wav
writing=$(find . -maxdepth 1 -name '.tandemwav-*.tmp')
[ "$(stat -c %a "$writing" 2>/dev/null)" = 600 ] ||
    fail_case "permissions" "the file being written is \"$writing\", mode $(stat -c %a "$writing" 2>&1)"
as_nobody cat "$writing" >/dev/null 2>&1 && fail_case "permissions" "another user read the new file"
finish_live
expect_status "permissions" 0
[ "$(stat -c %a private.wav)" = 640 ] || fail_case "permissions" "mode $(stat -c %a private.wav), not 640"
[ "$failures" != "$before" ] || echo "ok   permissions kept, the new file private while written"

# Another user's file in a sticky folder, though we may write to it.
mkdir -m 1777 sticky
printf 'theirs' >sticky/theirs.wav
chmod 666 sticky/theirs.wav
before=$failures
as_nobody "$program" "Files Hostile" 256 play.wav 1 sticky/theirs.wav 2 1 >"$work/out" 2>"$work/err" </dev/null
status=$?
expect_status "another user's file in a sticky folder" 14
expect_tail "another user's file in a sticky folder" "$(set_up "Files Hostile" | tail -n 3)
Error: Unable to write output WAV file sticky/theirs.wav!"
[ "$(cat sticky/theirs.wav)" = theirs ] || fail_case "another user's file in a sticky folder" "it changed"
[ "$(temporaries sticky)" = 0 ] || fail_case "another user's file in a sticky folder" "a file was left"
[ "$failures" != "$before" ] || echo "ok   another user's file in a sticky folder: exit 14 before the start"

# Another user's file in their own folder, of a group that they are not in;
# the folder stops taking new names during the run. The take is kept, with the
# target's bits but the group's no more than others', and the old file stays.
before=$failures
mkdir -m 755 theirs_folder
printf 'shared' >theirs_folder/shared.wav
chown nobody:root theirs_folder theirs_folder/shared.wav
chmod 660 theirs_folder/shared.wav
start_live theirs_folder/shared.wav as_nobody
chmod 555 theirs_folder
finish_live
chmod 755 theirs_folder
kept "folder stopped taking new names" theirs_folder/shared.wav theirs_folder
[ "$(stat -c %a "$keeper")" = 600 ] || fail_case "kept file's group" "mode $(stat -c %a "$keeper"), not 600"
[ "$(cat theirs_folder/shared.wav)" = shared ] || fail_case "folder stopped taking new names" "the old file changed"
[ "$failures" != "$before" ] || echo "ok   folder stopped taking new names: the recording is kept, the old file too"
finish
