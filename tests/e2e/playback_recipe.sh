#!/usr/bin/env bash
# The README's recipe for a playback file: sox's own float files are refused,
# the recipe's output is accepted (the run goes on to look for the driver).
. "$(dirname "$0")/lib.sh"
recipe=$(cd "$(dirname "$0")/../.." && pwd)/scripts/make-playback-wav.sh

sox -n -r 48000 -c 2 -e floating-point -b 32 sox.wav synth 0.1 sine 440
expect_run "sox's float file" 2 "${BANNER}Error: Unable to load input WAV file sox.wav!" \
    "No Such Driver" 256 sox.wav 1 rec.wav 2 1

"$recipe" sox.wav converted.wav
"$recipe" -n sweep.wav synth 0.2 sine 20-20000 channels 3
for file in converted.wav sweep.wav; do
    expect_run "recipe output $file" 4 "${BANNER}Error: Failed to load ASIO driver No Such Driver!" \
        "No Such Driver" 256 "$file" 1 rec.wav 2 1
done
# The samples are sox's, unchanged, behind the canonical header.
if ! cmp -s <(tail -c +45 converted.wav) <(sox sox.wav -t f32 -); then
    echo "FAIL the recipe changed the samples"
    failures=$((failures + 1))
fi
[ "$(head -c 44 sweep.wav | od -An -tu4 -j40 -N4 | tr -d ' ')" = $((9600 * 3 * 4)) ] ||
    { echo "FAIL sweep.wav does not hold 0.2 s of 3 channels"; failures=$((failures + 1)); }
finish
