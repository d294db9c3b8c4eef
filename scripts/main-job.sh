#!/usr/bin/env bash
# Builds tandemwav and its loopback driver (only those: no test programs), then
# plays the example file on outputs 1-2 of the loopback device while recording
# inputs 1-2.
set -eu
cd "$(dirname "$0")/.."
scripts/setup-debian.sh
cmake --preset linux >/dev/null
cmake --build --preset linux -j 2 --target tandemwav tandem_loopback
mkdir -p out
build/linux/bin/tandemwav "Tandem Loopback" 256 examples/sweep.wav 1 out/recording.wav 2 1
