# Shared by the streaming scripts, after lib.sh: configured loopback devices,
# the expected texts of a run, the driver's call trace and the loop check.
# The scripts are called as
#   script.sh RUNNER PROGRAM NEWLINE WORKDIR LOOPBACK_MODULE
module=${5:?the loopback driver module is the fifth argument}

trace=$work/trace.txt
: >"$work/devices.reg"
: >"$work/remove.reg"
declare -A device_clsid

# device NAME CLSID [value=setting ...]: one loopback device of the module,
# writing its call trace to $trace. Numbers become DWORDs, anything else text.
device() {
    local name=$1 clsid=$2 setting
    shift 2
    device_clsid[$name]=$clsid
    {
        printf '[HKEY_LOCAL_MACHINE\\SOFTWARE\\tandemwav\\loopback\\%s]\n' "$clsid"
        printf '"name"="%s"\n"traceFile"="%s"\n' "$name" "$(regpath "$trace")"
        for setting in "$@"; do
            if [[ ${setting#*=} =~ ^[0-9]+$ ]]; then
                printf '"%s"=dword:%08x\n' "${setting%%=*}" "${setting#*=}"
            else
                printf '"%s"="%s"\n' "${setting%%=*}" "${setting#*=}"
            fi
        done
        printf '[HKEY_LOCAL_MACHINE\\SOFTWARE\\ASIO\\%s]\n"CLSID"="%s"\n' "$name" "$clsid"
        printf '[HKEY_CLASSES_ROOT\\CLSID\\%s\\InprocServer32]\n@="%s"\n' "$clsid" \
            "$(regpath "$module")"
    } >>"$work/devices.reg"
    printf '[-HKEY_LOCAL_MACHINE\\SOFTWARE\\tandemwav\\loopback\\%s]\n' "$clsid" >>"$work/remove.reg"
    printf '[-HKEY_LOCAL_MACHINE\\SOFTWARE\\ASIO\\%s]\n' "$name" >>"$work/remove.reg"
    printf '[-HKEY_CLASSES_ROOT\\CLSID\\%s]\n' "$clsid" >>"$work/remove.reg"
}

# Puts every device() into this run's registry: a private registry image on
# Linux, the test prefix's registry (removed again at the end) under Wine.
install_devices() {
    local header='Windows Registry Editor Version 5.00'
    if [ -n "$runner" ]; then
        { echo "$header"; cat "$work/devices.reg"; } >install.reg
        { echo "$header"; cat "$work/remove.reg"; } >uninstall.reg
        "$runner" regedit /S "$(winpath "$work/install.reg")"
        trap '"$runner" regedit /S "$(winpath "$work/uninstall.reg")"' EXIT
    else
        export XDG_CONFIG_HOME=$work/config
        mkdir -p config/tandemwav
        { echo "$header"; cat "$work/devices.reg"; } >config/tandemwav/registry.reg
    fi
}

# make_test_wav FILE CHANNELS RATE FRAMES [HELD_FRAMES]: a float file whose
# header declares FRAMES frames and whose data chunk holds HELD_FRAMES of them.
# It opens with the awkward values (full scale, beyond it, infinities, NaN,
# values that truncate) and goes on with a pattern that differs from sample to
# sample over the whole range.
make_test_wav() {
    perl -e '
        my ($file, $channels, $rate, $frames, $held) = @ARGV;
        $held //= $frames;
        my $inf = 9**9**9;
        my @awkward = (1.0, -1.0, 0.5, -0.5, 1.5, -1.5, 0.99999994, -0.99999994, 2.0, -2.0,
                       1e10, -1e10, $inf, -$inf, $inf - $inf, 1e-6, -1e-6, 0.25, 1 / 32768,
                       -1 / 32768, 1.0000001, 0.7499999, -0.3333333, 1 / 8388608);
        my $size = ($channels * $frames * 4) & 0xFFFFFFFF;
        open(my $out, ">:raw", $file) or die;
        print $out "RIFF", pack("V", (36 + $size) & 0xFFFFFFFF), "WAVEfmt ", pack("V", 16),
            pack("vvVVvv", 3, $channels, $rate, $rate * $channels * 4, $channels * 4, 32),
            "data", pack("V", $size);
        for my $i (0 .. $channels * $held - 1) {
            my $x = $i < @awkward ? $awkward[$i] : ((($i * 7919) % 20001) - 10000) / 10000.3;
            print $out pack("f<", $x);
        }' "$@"
}

# setup_text NAME INPUTS OUTPUTS BUFFER RATE: the banner and the set-up messages
# of a run on a loopback device, in $SETUP.
setup_text() {
    printf -v SETUP '%sASIO Driver correctly initialized: %s\nAvailable driver channel: %s inputs; %s outputs\nPermitted buffer size: 16 to 8192\nBuffer Size set to %s sample\nSampleRate set to %s\n' \
        "$BANNER" "$1" "$2" "$3" "$4" "$5"
}

# buffers_text BUFFER LOOP_LATENCY BITS: the buffer messages, in $BUFFERS (the
# driver splits the loop as one buffer in, the rest out).
buffers_text() {
    printf -v BUFFERS 'ASIO driver latency: input: %s, output: %s\nASIO native data fomat: LSB Integer %sbits\n' \
        "$1" $(($2 - $1)) "$3"
}

STARTED=$'\n\nPlay & Record Started!\n\n'
STOPPED=$'\n\nPlay & Record Stopped!\n\nConverting and storing recorded data...\n'

# The driver calls up to and including getLatencies of a run on NAME at RATE
# with BUFFER frames, INPUT_COUNT inputs from INPUT_FIRST and OUTPUT_COUNT
# outputs from OUTPUT_FIRST (channel numbers from 1).
opened_calls() {
    local name=$1 rate=$2 buffer=$3 in_count=$4 in_first=$5 out_count=$6 out_first=$7 c
    printf '%s\n' "create ${device_clsid[$name]}" init getDriverName getDriverVersion getChannels \
        getBufferSize "canSampleRate $rate" "setSampleRate $rate" getSampleRate \
        "createBuffers $((in_count + out_count)) $buffer"
    for ((c = in_first - 1; c < in_first - 1 + in_count; c++)); do echo "getChannelInfo $c 1"; done
    for ((c = out_first - 1; c < out_first - 1 + out_count; c++)); do echo "getChannelInfo $c 0"; done
    echo getLatencies
}

# expect_trace NAME EXPECTED_LINES: the driver's calls during the last run.
expect_trace() {
    printf '%s' "$2" >"$work/calls"
    untimed_stop <"$trace" >"$work/calls.seen" 2>/dev/null
    if ! cmp -s "$work/calls" "$work/calls.seen"; then
        echo "FAIL $1: driver calls differ"
        diff "$work/calls" "$work/calls.seen" | head -20
        failures=$((failures + 1))
    fi
    rm -f "$trace"
}

# expect_stream NAME CODE BEFORE AFTER ARGS...: the exit code and the whole
# output, which is BEFORE, then only progress lines, then AFTER. Leaves the
# number of progress lines in $progress_lines.
expect_stream() {
    local name=$1 code=$2 before=$3 after=$4
    shift 4
    run_program "$@"
    judge_stream "$name" "$code" "$before" "$after"
}

# judge_stream NAME CODE BEFORE AFTER: the same for a run that has ended, with
# its exit code in $status and its output in $work/out.
judge_stream() {
    local name=$1 code=$2
    expected_bytes "$3" >"$work/before"
    expected_bytes "$4" >"$work/after"
    progress_lines=$(perl -e '
        sub slurp { open(my $f, "<:raw", $_[0]) or die; local $/; <$f> }
        my ($out, $before, $after) = map { slurp($_) } @ARGV;
        exit 1 unless substr($out, 0, length $before) eq $before
            && length($out) >= length($before) + length($after)
            && substr($out, length($out) - length($after)) eq $after;
        my $middle = substr($out, length $before, length($out) - length($before) - length($after));
        exit 1 unless $middle =~ /^(?:-?\d+ ms \/ -?\d+ samples     \r)*$/;
        print scalar(() = $middle =~ /\r/g);' "$work/out" "$work/before" "$work/after")
    local matched=$?
    if [ "$status" != "$code" ]; then
        echo "FAIL $name: exit code $status, expected $code"
        tail -c 300 "$work/out" | od -c | tail -8
        failures=$((failures + 1))
        return 1
    elif [ "$matched" != 0 ]; then
        echo "FAIL $name: output differs"
        cat "$work/before" - "$work/after" <<<'(progress lines)' >"$work/expected"
        diff <(od -c "$work/expected") <(od -c "$work/out") | head -20
        failures=$((failures + 1))
        return 1
    fi
    if [ -s "$work/err" ] && [ -z "$runner" ]; then
        echo "FAIL $name: wrote to standard error"
        failures=$((failures + 1))
        return 1
    fi
    return 0
}

# check_loop PLAY REC BYTES DELAY BUFFER PLAY_FIRST REC_FIRST REC_COUNT: the
# recording is a canonical float file at the playback file's rate with
# REC_COUNT channels and exactly the padded playback length in frames; input i
# hears output i DELAY frames later, after the playback conversion to BYTES-byte
# integers and the recording's way back to floats, bit for bit; everything
# else is silence. Samples the playback file declares but does not hold play
# as silence.
check_loop() {
    perl -e '
        use strict; use warnings;
        my ($play, $rec, $bytes, $delay, $buffer, $playFirst, $recFirst, $recCount) = @ARGV;
        sub slurp { open(my $f, "<:raw", $_[0]) or die "cannot read $_[0]\n"; local $/; <$f> }
        my ($p, $r) = (slurp($play), slurp($rec));
        my ($pch, $rate) = unpack("v V", substr($p, 22, 6));
        my $declared = unpack("V", substr($p, 40, 4));
        my $n = int(int($declared / $pch) / 4);
        my $held = int((length($p) - 44) / 4);
        my $frames = int(($n + $buffer - 1) / $buffer) * $buffer;
        my $size = $recCount * $frames * 4;
        my $want = "RIFF" . pack("V", $size + 36) . "WAVEfmt " . pack("V", 16)
            . pack("vvVVvv", 3, $recCount, $rate, $rate * $recCount * 4, $recCount * 4, 32)
            . "data" . pack("V", $size);
        die "header differs\n" unless substr($r, 0, 44) eq $want;
        die "recording is " . length($r) . " bytes, not " . (44 + $size) . "\n"
            unless length($r) == 44 + $size;
        my $scale = $bytes == 2 ? 32767 : $bytes == 3 ? 8388607 : 2147483648;
        my $bits = 8 * $bytes;
        sub single { unpack("f<", pack("f<", $_[0])) }
        # What the driver gets for a playback sample, and what the recording
        # makes of that integer.
        sub looped {
            my $product = single($_[0] * $scale);
            my $v = $product != $product ? 0
                  : $product >= 2147483648 ? 2147483647
                  : $product < -2147483648 ? -2147483648 : int($product);
            $v &= (1 << $bits) - 1;
            $v -= 1 << $bits if $v >= 1 << ($bits - 1);
            return pack("f<", ($bytes == 4 ? single($v) : $v) / 2 ** ($bits - 1));
        }
        my $silence = pack("f<", 0);
        my $wrong = 0;
        for my $t (0 .. $frames - 1) {
            for my $k (0 .. $recCount - 1) {
                my $c = $recFirst + $k - $playFirst;
                my $m = $t - $delay;
                my $i = $m * $pch + $c;
                my $expected = ($c >= 0 && $c < $pch && $m >= 0 && $m < $n && $i < $held)
                    ? looped(unpack("f<", substr($p, 44 + 4 * $i, 4))) : $silence;
                my $got = substr($r, 44 + 4 * ($t * $recCount + $k), 4);
                next if $got eq $expected;
                printf STDERR "frame %d channel %d: %s, expected %s\n", $t, $k + 1,
                    unpack("H8", $got), unpack("H8", $expected) if $wrong++ < 5;
            }
        }
        die "$wrong samples differ\n" if $wrong;' "$@"
}

# second_interrupt ARGS...: runs the program on a device that never returns
# from stop; interrupts it once the device has started and again once the
# program is held in stop. Sets $status (137 when it did not end within 10 s
# of the second interrupt) and leaves its output in $work/out.lf.
second_interrupt() {
    : >"$trace"
    if [ -n "$runner" ]; then
        "$runner" "$program" "$@" >"$work/out" 2>"$work/err" &
    else
        "$program" "$@" >"$work/out" 2>"$work/err" </dev/null &
    fi
    local pid=$! mark
    for mark in '^start' '^hang stop'; do
        for _ in $(seq 200); do
            grep -q "$mark" "$trace" && break
            sleep 0.05
        done
        kill -INT $pid
    done
    for _ in $(seq 100); do
        kill -0 $pid 2>/dev/null || break
        sleep 0.1
    done
    kill -KILL $pid 2>/dev/null
    wait $pid
    status=$?
    tr -d '\r' <"$work/out" >"$work/out.lf"
}
