#!/usr/bin/env bash
# Builds the bench preset and runs every benchmark: the buffer switch and the
# conversions (Google Benchmark, medians of 5), then the whole program against
# a free-running loopback device beside sox and cat. Needs sox, python3 and
# /usr/bin/time; uses about 2 GB in $TMPDIR (default /tmp), removed at the end.
#   bench/run_benchmarks.sh [--quick] [--main-only] [--reps N]
#   bench/run_benchmarks.sh --floor [--reps N]   the whole run against the floor only
#   bench/run_benchmarks.sh --measure [--reps N] tandemwav-measure's analysis against numpy only
# TANDEM_BENCH_BUILD names another build directory (default build/bench).
set -eu
cd "$(dirname "$0")/.."
build=${TANDEM_BENCH_BUILD:-build/bench}
cmake --preset bench -B "$build" >/dev/null
cmake --build "$build" -j 2 >/dev/null
bin=$build/bin
out=$(mktemp -d "${TMPDIR:-/tmp}/tandembench.XXXXXX")
trap 'rm -rf "$out"' EXIT
micro=(--benchmark_repetitions=5 --benchmark_report_aggregates_only=true
       --benchmark_out_format=json --benchmark_min_time=0.2)
echo "Machine: $(lscpu | sed -n 's/^Model name: *//p'), $(nproc) cores," \
     "$(free -g | awk '/^Mem:/ {print $2}') GB; $(uname -sr)"
# numpy is timed without the OpenBLAS settings this machine may carry for
# older builds, which slow a current one (its FFT does not use BLAS anyway).
measure() {
    env -u OPENBLAS_CORETYPE -u OPENBLAS_L2_SIZE /usr/bin/python3 bench/measure_vs_numpy.py "$bin" \
        $(printf '%s\n' "$@" | grep -A1 -x -- --reps | tr '\n' ' ')
}
if [[ " $* " == *" --measure "* ]]; then
    measure "$@"
    exit
fi
if [[ " $* " != *" --floor "* ]]; then
    "$bin/bench_buffer_switch" "${micro[@]}" --benchmark_out="$out/switch.json" >/dev/null
    "$bin/bench_wav_io" "${micro[@]}" --benchmark_out="$out/wav_io.json" >/dev/null
    python3 bench/summarise_micro.py "$out/switch.json" "$out/wav_io.json"
fi
python3 bench/whole_program.py "$bin" "$@"
[[ " $* " == *" --floor "* ]] || measure "$@"
