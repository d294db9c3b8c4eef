#!/usr/bin/env bash
# Turns any audio file that sox reads into a playback file tandemwav accepts:
# 32-bit float samples behind the canonical 44-byte header. sox itself writes
# an 18-byte format chunk and a fact chunk, which tandemwav refuses, so its
# float output is rewritten here with the canonical header.
#   scripts/make-playback-wav.sh INPUT OUTPUT [sox effects...]
# INPUT may be -n (no input) with a synth effect, e.g. a 3 s stereo sweep:
#   scripts/make-playback-wav.sh -n sweep.wav synth 3 sine 20-20000 channels 2
set -eu
[ $# -ge 2 ] || { echo "usage: $0 INPUT OUTPUT [sox effects...]" >&2; exit 1; }
input=$1
output=$2
shift 2
float=$(mktemp --suffix=.wav)
trap 'rm -f "$float"' EXIT
rate=()
[ "$input" != -n ] || rate=(-r 48000)
sox "$input" "${rate[@]}" -e floating-point -b 32 "$float" "$@"
perl -e '
    my ($in, $out) = @ARGV;
    open(my $src, "<:raw", $in) or die "cannot read $in\n";
    my ($riff, $head, $body, $chunk, $format, $data);
    read($src, $riff, 12) == 12 && substr($riff, 0, 4) eq "RIFF" or die "not a WAV file\n";
    while (read($src, $head, 8) == 8) {
        my ($id, $size) = unpack("a4 V", $head);
        if ($id eq "data") { $data = $size; last; }
        read($src, $body, $size + ($size & 1));
        $format = substr($body, 0, 16) if $id eq "fmt ";
    }
    defined $format && defined $data or die "no format or data chunk\n";
    my ($tag, $channels, $rate, undef, undef, $bits) = unpack("v v V V v v", $format);
    $tag == 3 && $bits == 32 or die "sox did not write 32-bit float\n";
    open(my $wav, ">:raw", $out) or die "cannot write $out\n";
    print $wav "RIFF", pack("V", 36 + $data), "WAVEfmt ", pack("V", 16),
        pack("v v V V v v", 3, $channels, $rate, $rate * $channels * 4, $channels * 4, 32),
        "data", pack("V", $data);
    my $left = $data;
    while ($left > 0 && (my $got = read($src, $chunk, $left < 1048576 ? $left : 1048576))) {
        print $wav $chunk;
        $left -= $got;
    }
' "$float" "$output"
