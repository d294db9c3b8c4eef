# Loopback devices configured per case, for the reliability scripts; sourced
# after lib.sh. Each device gets a CLSID of its own, a catalogue name and a
# call trace in $work/trace.<tag>.
bin=$(dirname "$program")
if [ -n "$runner" ]; then
    loopback_module=$bin/tandem_loopback.dll
else
    loopback_module=$bin/libtandem_loopback.so
fi

devices_reg=$work/devices.reg
removal_reg=$work/removal.reg
printf 'Windows Registry Editor Version 5.00\n' >"$devices_reg"
printf 'Windows Registry Editor Version 5.00\n' >"$removal_reg"

# A registry line for a number value: dword NAME VALUE.
dword() { printf '"%s"=dword:%08x' "$1" "$2"; }

# loopback_device TAG NAME NUMBER [VALUE_LINE...]: a device named NAME with the
# CLSID numbered NUMBER (1 to 255) and the given registry value lines, such as
# '"badHalfAt"=dword:00000002'.
loopback_device() {
    local tag=$1 name=$2 number=$3
    shift 3
    local clsid
    clsid=$(printf '{5E1AB1E0-7A4D-4C0E-9F00-%012X}' "$number")
    {
        printf '[HKEY_LOCAL_MACHINE\\SOFTWARE\\tandemwav\\loopback\\%s]\n' "$clsid"
        printf '"name"="%s"\n"traceFile"="%s"\n' "$name" "$(regpath "$work/trace.$tag")"
        [ $# -eq 0 ] || printf '%s\n' "$@"
        printf '[HKEY_LOCAL_MACHINE\\SOFTWARE\\ASIO\\%s]\n"CLSID"="%s"\n' "$name" "$clsid"
        printf '[HKEY_CLASSES_ROOT\\CLSID\\%s\\InprocServer32]\n' "$clsid"
        printf '@="%s"\n"ThreadingModel"="Both"\n' "$(regpath "$loopback_module")"
    } >>"$devices_reg"
    {
        printf '[-HKEY_LOCAL_MACHINE\\SOFTWARE\\tandemwav\\loopback\\%s]\n' "$clsid"
        printf '[-HKEY_LOCAL_MACHINE\\SOFTWARE\\ASIO\\%s]\n' "$name"
        printf '[-HKEY_CLASSES_ROOT\\CLSID\\%s]\n' "$clsid"
    } >>"$removal_reg"
}

# Makes the devices declared so far known to the program: Wine's registry
# (removed again when the script ends) or a registry image of the work dir's own.
install_devices() {
    if [ -n "$runner" ]; then
        "$runner" regedit /S "$(winpath "$devices_reg")"
        trap '"$runner" regedit /S "$(winpath "$removal_reg")"' EXIT
    else
        export XDG_CONFIG_HOME=$work/config
        mkdir -p "$work/config/tandemwav"
        cp "$devices_reg" "$work/config/tandemwav/registry.reg"
    fi
}

fail_case() {
    echo "FAIL $1: $2"
    failures=$((failures + 1))
}

# expect_lines NAME LINE...: each line appears in the last run's output.
expect_lines() {
    local name=$1 line
    shift
    tr -d '\r' <"$work/out" >"$work/out.lf"
    for line in "$@"; do
        grep -qxF -- "$line" "$work/out.lf" || fail_case "$name" "no line \"$line\""
    done
}

# expect_tail NAME TEXT: the last run's output ends with TEXT (\n line ends).
expect_tail() {
    expected_bytes "$2" >"$work/tail.expected"
    local size
    size=$(stat -c %s "$work/tail.expected")
    if ! tail -c "$size" "$work/out" | cmp -s - "$work/tail.expected"; then
        fail_case "$1" "output ends differently"
        tail -c "$size" "$work/out" | od -c | tail -8
    fi
}

# The exit code, and natively nothing on standard error (where a sanitizer
# would report).
expect_status() {
    [ "$status" = "$2" ] || fail_case "$1" "exit code $status, expected $2"
    if [ -z "$runner" ] && [ -s "$work/err" ]; then
        fail_case "$1" "wrote to standard error"
        head -20 "$work/err"
    fi
}

# expect_trace_after NAME TAG MARK CALL...: the calls made on device TAG after
# its last MARK line are exactly CALL...
expect_trace_after() {
    local name=$1 tag=$2 mark=$3
    shift 3
    local trace=$work/trace.$tag
    tr -d '\r' <"$trace" 2>/dev/null |
        untimed_stop |
        awk -v mark="$mark" \
        '$0 == mark { n = NR } { line[NR] = $0 } END { for (i = n + 1; n && i <= NR; i++) print line[i] }' \
        >"$work/trace.after"
    printf '%s\n' "$@" >"$work/trace.expected"
    if ! cmp -s "$work/trace.after" "$work/trace.expected"; then
        fail_case "$name" "calls after \"$mark\" differ"
        diff "$work/trace.expected" "$work/trace.after" | head -10
    fi
}

# check_recording REC PLAY SHIFT FRAMES CHANNELS [EXACT_FRAMES]: REC is a
# canonical float WAV of CHANNELS channels and FRAMES frames at PLAY's rate;
# its first EXACT_FRAMES frames (all by default) are PLAY's channels 1 to
# CHANNELS delayed by SHIFT frames, silence where PLAY has nothing (also
# where its data chunk is shorter than declared). Prints
# what differs; the result says whether anything did.
check_recording() {
    perl -e '
        use strict;
        my ($rec, $play, $shift, $frames, $channels, $exact) = @ARGV;
        $exact = $frames if !defined $exact || $exact eq "";
        sub slurp { open(my $f, "<:raw", $_[0]) or die "cannot read $_[0]\n"; local $/; <$f> }
        my $r = slurp($rec);
        my $p = slurp($play);
        my ($pch, $rate) = unpack("v V", substr($p, 22, 6));
        my $pframes = unpack("V", substr($p, 40, 4)) / (4 * $pch);
        my @h = unpack("a4 V a4 a4 V v v V V v v a4 V", substr($r, 0, 44));
        my $size = $channels * $frames * 4;
        my @want = ("RIFF", 36 + $size, "WAVE", "fmt ", 16, 3, $channels, $rate,
                    $rate * $channels * 4, $channels * 4, 32, "data", $size);
        for my $i (0 .. $#want) {
            die "header field $i is $h[$i], expected $want[$i]\n" if $h[$i] ne $want[$i];
        }
        die "file is " . length($r) . " bytes, expected " . (44 + $size) . "\n"
            if length($r) != 44 + $size;
        for my $t (0 .. $exact - 1) {
            my $s = $t - $shift;
            for my $c (0 .. $channels - 1) {
                my $got = substr($r, 44 + 4 * ($t * $channels + $c), 4);
                my $at = 44 + 4 * ($s * $pch + $c);
                my $want = ($s >= 0 && $s < $pframes && $c < $pch && $at + 4 <= length($p))
                    ? substr($p, $at, 4) : pack("f<", 0);
                die "frame $t channel $c differs\n" if $got ne $want;
            }
        }' "$@"
}
