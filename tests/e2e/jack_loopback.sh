# tandemwav through the JACK driver against the private JACK server that the
# test fixture runs: a loopback recording compared sample for sample, and the
# refusals of a missing server, a wrong rate and a wrong buffer length.
#   jack_loopback.sh RUNNER PROGRAM NEWLINE WORKDIR DRIVER_MODULE SERVER_NAME
module=$5
server=$6
source "$(dirname "$0")/lib.sh"

# Two devices of the JACK driver for this test only, in the user's registry
# image: one wired as a loopback on the test server, one on no server at all.
loop_clsid='{6C1D4A52-93E7-4B0F-A2C5-1E8F0D3B7A91}'
absent_clsid='{6C1D4A52-93E7-4B0F-A2C5-1E8F0D3B7A92}'
register_device() {
    local name=$1 clsid=$2 server_name=$3 trace=${4:-trace.txt}
    cat <<REG
[HKEY_LOCAL_MACHINE\\SOFTWARE\\ASIO\\$name]
"CLSID"="$clsid"
"Description"="$name"

[HKEY_CLASSES_ROOT\\CLSID\\$clsid\\InprocServer32]
@="$module"

[HKEY_LOCAL_MACHINE\\SOFTWARE\\tandemwav\\jack\\$clsid]
"name"="$name"
"connect"="loopback"
"server"="$server_name"
"client"="tandemwav-e2e"
"traceFile"="$work/$trace"
REG
    shift 4 2>/dev/null && printf '%s\n' "$@"
    echo
}
mkdir -p "$work/config/tandemwav"
{
    printf 'Windows Registry Editor Version 5.00\n\n'
    register_device "JACK Loop Test" "$loop_clsid" "$server"
    register_device "JACK Absent" "$absent_clsid" "tandemwav-no-such-server-$$"
    # Its cycle of block 5 takes 30 ms, over five periods: JACK reports an
    # xrun and its frame clock skips the cycles the client missed.
    register_device "JACK Late Test" '{6C1D4A52-93E7-4B0F-A2C5-1E8F0D3B7A93}' "$server" \
        trace.late.txt '"lateCycleAt"=dword:00000005' '"lateCycleUs"=dword:00007530'
} >"$work/config/tandemwav/registry.reg"
export XDG_CONFIG_HOME=$work/config

# check_loop PLAY RECORD DELAY FRAMES: the recording has exactly FRAMES frames,
# and frame n of it is frame n - DELAY of the playback (silence outside),
# bit for bit.
check_loop() {
    perl -e '
        my ($play, $rec, $delay, $frames) = @ARGV;
        sub slurp { open(my $f, "<:raw", $_[0]) or die "cannot read $_[0]\n"; local $/; <$f> }
        my ($p, $r) = (slurp($play), slurp($rec));
        my ($ptag, $pch) = unpack("v v", substr($p, 20, 4));
        my ($tag, $ch, $rate, undef, undef, $bits) = unpack("v v V V v v", substr($r, 20, 16));
        my $size = unpack("V", substr($r, 40, 4));
        die "recording format $tag/$bits/$ch/$rate\n"
            unless $tag == 3 && $bits == 32 && $ch == $pch && $rate == 48000;
        die "recording holds " . ($size / 4 / $ch) . " frames, not $frames\n"
            unless $size == $frames * $ch * 4 && length($r) == 44 + $size;
        my $played = (length($p) - 44) / 4 / $pch;
        my $silence = pack("f<", 0);
        for my $n (0 .. $frames - 1) {
            for my $c (0 .. $ch - 1) {
                my $m = $n - $delay;
                my $want = ($m >= 0 && $m < $played) ? substr($p, 44 + ($m * $pch + $c) * 4, 4)
                                                     : $silence;
                my $got = substr($r, 44 + ($n * $ch + $c) * 4, 4);
                die sprintf("frame %d channel %d: %g, expected %g\n", $n, $c + 1,
                            unpack("f<", $got), unpack("f<", $want)) if $got ne $want;
            }
        }' "$@"
}

period=256
frames=4800
padded=$(((frames + period - 1) / period * period))
make_float_wav play.wav 2 48000 "$frames"

# One run; an xrun (exit code 15, lost blocks counted) earns a retry, up to
# five attempts as a loaded machine can make the dummy server xrun in more than
# one, and only a clean run's recording is judged.
loop_case() {
    local attempt
    for attempt in 1 2 3 4 5; do
        rm -f rec.wav
        # A run that never ends would hold the JACK fixture; a minute is plenty.
        timeout 60 "$program" "JACK Loop Test" "$period" play.wav 1 rec.wav 2 1 \
            >"$work/out" 2>"$work/err" </dev/null
        status=$?
        if [ "$status" = 15 ] && [ "$attempt" != 5 ]; then
            echo "note loopback: JACK reported an xrun (exit code 15); once more"
            continue
        fi
        break
    done
    if [ "$status" != 0 ]; then
        echo "FAIL loopback: exit code $status"
        tail -c 400 "$work/out"
        failures=$((failures + 1))
    elif ! tail -c 6 "$work/out" | grep -q 'Done!'; then
        echo "FAIL loopback: the output does not end with Done!"
        failures=$((failures + 1))
    elif ! why=$(check_loop play.wav rec.wav "$period" "$padded" 2>&1); then
        echo "FAIL loopback: $why"
        failures=$((failures + 1))
    else
        echo "ok   loopback, recording = playback one period ($period frames) later"
    fi
    if [ -s "$work/err" ]; then
        echo "FAIL loopback: wrote to standard error"
        failures=$((failures + 1))
    fi
}
loop_case

# The late cycle: one xrun, counted once, as the blocks the frame clock skipped
# (plus one per further xrun the clock did not show, should the load add any).
late_case() {
    rm -f rec.wav "$work/trace.late.txt"
    timeout 60 "$program" "JACK Late Test" "$period" play.wav 1 rec.wav 2 1 \
        >"$work/out" 2>"$work/err" </dev/null
    status=$?
    local printed stop skipped resyncs
    printed=$(tr '\r' '\n' <"$work/out" | sed -n 's/^Warning: \([0-9]*\) buffer(s) lost.*/\1/p')
    stop=$(grep '^stop -> 0 ' "$work/trace.late.txt")
    skipped=$(sed -n 's/.* skipped=\([0-9]*\).*/\1/p' <<<"$stop")
    resyncs=$(sed -n 's/.* resyncs=\([0-9]*\).*/\1/p' <<<"$stop")
    if [ "$status" != 15 ] || [ -z "$printed" ] || [ -z "$skipped" ]; then
        echo "FAIL late cycle: exit code $status, warning '$printed', trace '$stop'"
        failures=$((failures + 1))
    elif [ "$skipped" -lt 2 ] || [ "$printed" != $((skipped + resyncs)) ]; then
        echo "FAIL late cycle: $printed block(s) reported; the driver saw $stop"
        failures=$((failures + 1))
    else
        echo "ok   late cycle: $printed block(s) lost, the driver saw $stop"
    fi
}
late_case

SETUP='ASIO Driver correctly initialized: JACK Loop Test
Available driver channel: 8 inputs; 8 outputs
Permitted buffer size: 256 to 256
'
expect_run "no server" 5 "${BANNER}Error: Failed to initialize ASIO driver!" \
    "JACK Absent" "$period" play.wav 1 rec.wav 2 1
make_float_wav play44.wav 2 44100 1000
expect_run "rate other than the server's" 8 "${BANNER}${SETUP}Buffer Size set to 256 sample
Error: Failed to set sample rate as recquested to WAV input file!
This driver cannot run to 44100 Hz
" "JACK Loop Test" "$period" play44.wav 1 rec.wav 2 1
expect_run "buffer other than the period" 7 \
    "${BANNER}${SETUP}Error: Unable to set ASIO buffer size to 512!" \
    "JACK Loop Test" 512 play.wav 1 rec.wav 2 1
finish
