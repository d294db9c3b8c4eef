#!/usr/bin/env bash
# The whole test suite: native, native under AddressSanitizer/UBSan/LeakSanitizer,
# the Windows build under Wine, a short run of each fuzzer after replaying its
# kept corpus (about a minute), and the streaming runs under ThreadSanitizer.
# Sets up a fresh Debian 12 machine first.
set -eu
cd "$(dirname "$0")/.."
scripts/setup-debian.sh
status=0
for preset in linux sanitize windows fuzz tsan; do
    echo "=== $preset"
    cmake --preset "$preset" >/dev/null
    cmake --build --preset "$preset" -j 2
    ctest --preset "$preset" -j 2 || status=1
done
exit $status
