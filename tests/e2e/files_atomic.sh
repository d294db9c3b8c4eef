#!/usr/bin/env bash
# The recording reaches its path whole or not at all, natively: SIGKILL at many
# points while a large recording is being written leaves the old file (or the
# playback file, when it is the record path) or the complete recording, never
# a part; a file size limit that the recording would pass ends with exit 14
# before the start and leaves the old file and no temporary file (a limit
# lowered during the run is in files_hostile.sh).
here=$(cd "$(dirname "$0")" && pwd)
. "$here/lib.sh"
. "$here/reliability_lib.sh"

loopback_device big "Files Big" 51 "$(dword freeRunning 1)"
install_devices

# 2,000,000 frames played, 8 channels recorded: a 64 MB recording.
perl -e '
    my ($file, $frames) = @ARGV;
    my $size = 2 * $frames * 4;
    open(my $o, ">:raw", $file) or die;
    print $o "RIFF", pack("V", 36 + $size), "WAVEfmt ", pack("V", 16),
        pack("vvVVvv", 3, 2, 48000, 384000, 8, 32), "data", pack("V", $size);
    print $o pack("f<*", map { (($_ % 397) - 198) / 256.0 } 0 .. 799) x ($frames / 400);' \
    play.wav 2000000
printf 'an earlier recording' >old.wav
ARGS=("Files Big" 256)

temporaries() { find . -maxdepth 1 -name '.tandemwav-*.tmp' | wc -l; }

run_program "${ARGS[@]}" play.wav 1 complete.wav 8 1
expect_status "complete recording" 0
[ "$(stat -c %s complete.wav)" = $((44 + 2000128 * 8 * 4)) ] ||
    fail_case "complete recording" "size $(stat -c %s complete.wav)"
[ "$(temporaries)" = 0 ] || fail_case "complete recording" "a temporary file was left"

# kill_while_writing TARGET PLAY DELAY_MS: starts a run recording to TARGET and
# kills it DELAY_MS after it has said that it is storing the recording.
kill_while_writing() {
    "$program" "${ARGS[@]}" "$2" 1 "$1" 8 1 >"$work/out.kill" 2>&1 </dev/null &
    local pid=$!
    while kill -0 $pid 2>/dev/null; do
        grep -q '^Converting and storing' "$work/out.kill" && break
    done
    sleep "$(printf '0.%03d' "$3")"
    kill -KILL $pid 2>/dev/null
    wait $pid 2>/dev/null
    rm -f .tandemwav-*.tmp
}

# Kills from the first written bytes to past the rename (the write phase takes
# about 150 to 400 ms here).
before=$failures
outcomes=""
for delay in 0 10 20 35 50 70 90 120 150 190 240 300 400 550; do
    cp old.wav target.wav
    kill_while_writing target.wav play.wav $delay
    if cmp -s target.wav old.wav; then
        outcomes="${outcomes}o"
    elif cmp -s target.wav complete.wav; then
        outcomes="${outcomes}n"
    else
        fail_case "killed ${delay} ms into the write" "target is $(stat -c %s target.wav) bytes, neither file"
    fi
    cp play.wav same.wav
    kill_while_writing same.wav same.wav $delay
    cmp -s same.wav play.wav || cmp -s same.wav complete.wav ||
        fail_case "killed ${delay} ms into the write over the playback file" "it is neither file"
done
echo "     outcomes (o: old file, n: new recording): $outcomes"
[ "$failures" != "$before" ] || echo "ok   killed during the write: old file or whole recording"

# A file size limit that the recording would pass is known before the start:
# exit 14 and why, with nothing played and no file made. No signal is ignored
# here, so a kill by SIGXFSZ would show.
before=$failures
cp old.wav target.wav
bash -c 'ulimit -f 1024; exec "$@"' limited "$program" "${ARGS[@]}" play.wav 1 \
    target.wav 8 1 >"$work/out" 2>"$work/err" </dev/null
status=$?
expect_status "file size limit" 14
expect_tail "file size limit" "Buffer Size set to 256 sample
SampleRate set to 48000
ASIO driver latency: input: 256, output: 0
ASIO native data fomat: LSB Integer 32bits
Error: Unable to write output WAV file target.wav!
The recording takes 64004140 bytes, more than the file size limit (ulimit -f) of 1048576 bytes."
cmp -s target.wav old.wav || fail_case "file size limit" "the old file was changed"
[ "$(temporaries)" = 0 ] || fail_case "file size limit" "a temporary file was left"
[ "$failures" != "$before" ] || echo "ok   file size limit: exit 14 before the start, old file kept"

finish
