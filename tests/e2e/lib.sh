# Shared by the end-to-end scripts. Each script is called as
#   script.sh RUNNER PROGRAM NEWLINE WORKDIR
# RUNNER is empty for a native build or the Wine wrapper for a Windows one;
# NEWLINE is lf or crlf, the line ends the program's console output has there.
set -u
runner=$1
program=$2
newline=$3
work=$4
rm -rf "$work"
mkdir -p "$work"
cd "$work" || exit 1
failures=0

# The registry and a Windows driver see Windows paths; Wine's Z: is the root.
if [ -n "$runner" ]; then
    winpath() { printf 'Z:%s' "$1" | tr / '\\'; }
else
    winpath() { printf '%s' "$1"; }
fi
# The same, escaped for a string in a .reg file.
regpath() { winpath "$1" | sed 's/\\/\\\\/g'; }

# Runs the program with the given arguments; sets $status and leaves its
# standard output in $work/out.
run_program() {
    if [ -n "$runner" ]; then
        "$runner" "$program" "$@" >"$work/out" 2>"$work/err"
    else
        "$program" "$@" >"$work/out" 2>"$work/err" </dev/null
    fi
    status=$?
}

# Turns expected text (written with \n line ends) into what this system prints.
expected_bytes() {
    if [ "$newline" = crlf ]; then
        printf '%s' "$1" | perl -pe 's/\n/\r\n/g'
    else
        printf '%s' "$1"
    fi
}

# expect_run NAME CODE EXPECTED_OUTPUT ARGS...: the whole output, byte for byte,
# and the exit code.
expect_run() {
    local name=$1 code=$2 expected=$3
    shift 3
    run_program "$@"
    expected_bytes "$expected" >"$work/expected"
    if [ "$status" != "$code" ]; then
        echo "FAIL $name: exit code $status, expected $code"
        failures=$((failures + 1))
    elif ! cmp -s "$work/expected" "$work/out"; then
        echo "FAIL $name: output differs"
        diff <(od -c "$work/expected") <(od -c "$work/out") | head -20
        failures=$((failures + 1))
    else
        echo "ok   $name"
    fi
    if [ -s "$work/err" ] && [ -z "$runner" ]; then
        echo "FAIL $name: wrote to standard error"
        failures=$((failures + 1))
    fi
}

finish() {
    if [ "$failures" -ne 0 ]; then
        echo "$failures case(s) failed"
        exit 1
    fi
    exit 0
}

BANNER='********************************************************************************
*                                   TandemWav                                   *
********************************************************************************

'

# make_float_wav FILE CHANNELS RATE FRAMES [FORMAT_TAG BITS]: a canonical file
# whose samples count up in small steps, so that every frame differs.
make_float_wav() {
    perl -e '
        my ($file, $channels, $rate, $frames, $tag, $bits) = @ARGV;
        $tag //= 3; $bits //= 32;
        my $bytes = $bits / 8;
        my $size = $channels * $frames * $bytes;
        open(my $out, ">:raw", $file) or die;
        print $out "RIFF", pack("V", 36 + $size), "WAVEfmt ", pack("V", 16),
            pack("vvVVvv", $tag, $channels, $rate, $rate * $channels * $bytes,
                 $channels * $bytes, $bits), "data", pack("V", $size);
        for my $i (0 .. $channels * $frames - 1) {
            print $out ($bits == 32 ? pack("f<", (($i % 200) - 100) / 128.0)
                                    : pack("v", $i & 0xffff));
        }' "$@"
}

# untimed_stop <TRACE: the trace with its stop lines as plain "stop". Their
# figures belong to the machine: a busy one makes a switch late now and then,
# which is no fault of the calls. Tests about timing read the figures instead.
untimed_stop() {
    sed -E 's/^stop late=[0-9]+ worstUs=[0-9.]+ meanUs=[0-9.]+ wakeUs=[0-9.]+ priority=[a-z-]+$/stop/'
}
