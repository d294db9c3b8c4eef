#!/usr/bin/python3
"""tandemwav-measure against numpy: the analysis of a 10-second sweep at 96 kHz
recorded on 8 channels.

Ours is timed as the whole command (`tandemwav-measure analyze`, process start
to exit, every figure and file written), with its peak memory from
/usr/bin/time. numpy is timed in-process, without the interpreter's start-up
and imports, from reading the files to the last inverse transform: the played
sweep's spectrum and its regularised inverse, then per channel one forward
and one inverse real FFT at the same size as ours, with that inverse between
them. Both alternate in one loop; every
figure is the median, with the CPU time beside the wall-clock time (the
machine may be shared). The FFT alone (one forward and one inverse at that size)
is timed for both too.

    bench/measure_vs_numpy.py BIN_DIR [--reps N]
"""

import argparse
import json
import os
import statistics
import subprocess
import sys
import tempfile
import time

import numpy as np

MIB = 1024 * 1024


def fast_size_at_least(n):
    half = (n + 1) // 2
    while True:
        m = half
        for f in (2, 3, 5):
            while m % f == 0:
                m //= f
        if m == 1:
            return 2 * half
        half += 1


def write_float_wav(path, rate, frames):
    data = np.ascontiguousarray(frames, dtype="<f4")
    size = data.nbytes
    channels = frames.shape[1]
    header = b"RIFF" + (36 + size).to_bytes(4, "little") + b"WAVEfmt " + (16).to_bytes(4, "little")
    header += (3).to_bytes(2, "little") + channels.to_bytes(2, "little") + rate.to_bytes(4, "little")
    header += (rate * channels * 4).to_bytes(4, "little") + (channels * 4).to_bytes(2, "little")
    header += (32).to_bytes(2, "little") + b"data" + size.to_bytes(4, "little")
    with open(path, "wb") as f:
        f.write(header)
        f.write(data.tobytes())


def make_recording(sweep_path, path, channels):
    """The sweep through a different short filter and delay on each channel,
    with noise at -90 dBFS."""
    raw = np.fromfile(sweep_path, dtype="<f4", offset=44)
    rng = np.random.default_rng(1)
    out = np.empty((raw.size, channels), dtype=np.float32)
    for c in range(channels):
        taps = np.zeros(8 + c)
        taps[c] = 0.8
        taps[c + 3] = 0.1 * (c + 1) / channels
        y = np.convolve(raw, taps)[: raw.size] + rng.normal(0, 10 ** (-90 / 20), raw.size)
        out[:, c] = np.roll(y, 300 + 17 * c)
    write_float_wav(path, 96000, out)


def numpy_analysis(path, sweep_path, p, size):
    start, cpu = time.perf_counter(), time.process_time()
    rate, channels = p["rate"], 8
    data = np.fromfile(path, dtype="<f4", offset=44).reshape(-1, channels)
    first = p["silenceBeforeFrames"]
    played = np.fromfile(sweep_path, dtype="<f4", offset=44)[first : first + p["sweepFrames"]]
    s = np.fft.rfft(played.astype(np.float64), size)
    f = np.fft.rfftfreq(size, 1 / rate)
    f1, f2 = p["sweptFrom"], p["sweptTo"]
    step = lambda x, lo, hi: np.where(
        x <= lo, 0.0, np.where(x >= hi, 1.0, 0.5 - 0.5 * np.cos(np.pi * (x - lo) / (hi - lo))))
    w = step(f, f1 / np.sqrt(2), f1) * (1 - step(f, f2, min(f2 * np.sqrt(2), rate / 2)))
    power = np.abs(s) ** 2
    e = power[(f >= f1) & (f <= f2)].mean()
    inverse = w * np.conj(s) / (power + (1 - w) * e)
    for c in range(channels):
        y = data[first:, c].astype(np.float64)
        h = np.fft.irfft(np.fft.rfft(y, size) * inverse, size)
    return time.perf_counter() - start, time.process_time() - cpu


def numpy_fft(size, reps):
    x = np.random.default_rng(2).uniform(-0.5, 0.5, size)
    times = []
    for _ in range(reps):
        start = time.perf_counter()
        np.fft.irfft(np.fft.rfft(x), size)
        times.append(time.perf_counter() - start)
    return statistics.median(times) * 1000


def ours(bin_dir, sweep, recording, out_dir):
    start = time.perf_counter()
    run = subprocess.run(["/usr/bin/time", "-f", "%M %U %S", os.path.join(bin_dir, "tandemwav-measure"),
                          "analyze", sweep, recording, "--dir", out_dir],
                         stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True, check=True)
    peak, user, system = run.stderr.strip().splitlines()[-1].split()
    return time.perf_counter() - start, int(peak) * 1024, float(user) + float(system)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("bin_dir")
    parser.add_argument("--reps", type=int, default=5)
    args = parser.parse_args()
    try:
        from threadpoolctl import threadpool_info
        blas = ", ".join(i.get("internal_api", "?") + " " + str(i.get("architecture", "")) for i in threadpool_info())
    except ImportError:
        blas = "threadpoolctl not installed"
    with tempfile.TemporaryDirectory() as tmp:
        sweep = os.path.join(tmp, "sweep.wav")
        subprocess.run([os.path.join(args.bin_dir, "tandemwav-measure"), "sweep", sweep, "--rate", "96000",
                        "--seconds", "10"], check=True, stdout=subprocess.DEVNULL)
        p = json.load(open(os.path.join(tmp, "sweep.json")))
        recording = os.path.join(tmp, "recording.wav")
        make_recording(sweep, recording, 8)
        frames = p["frames"]
        size = fast_size_at_least(frames - p["silenceBeforeFrames"] + p["sweepFrames"])
        ours_times, ours_peaks, ours_cpu, numpy_times, numpy_cpu = [], [], [], [], []
        for _ in range(args.reps):
            t, peak, cpu = ours(args.bin_dir, sweep, recording, os.path.join(tmp, "out"))
            ours_times.append(t)
            ours_peaks.append(peak)
            ours_cpu.append(cpu)
            t, cpu = numpy_analysis(recording, sweep, p, size)
            numpy_times.append(t)
            numpy_cpu.append(cpu)
        ours_fft = float(subprocess.run([os.path.join(args.bin_dir, "measure_fft"), str(size), "9"],
                                        check=True, capture_output=True, text=True).stdout)
        np_fft = numpy_fft(size, 9)
    as_floats = frames * 8 * 4
    limit = 3 * as_floats + 64 * MIB
    print("Analysis of a 10 s sweep at 96 kHz on 8 channels: %d frames, %.1f MiB as floats; FFT size %d"
          % (frames, as_floats / MIB, size))
    print("numpy %s (%s)" % (np.__version__, blas))
    print("| what | median s | CPU s | target | result |")
    print("|---|---|---|---|---|")
    o, n = statistics.median(ours_times), statistics.median(numpy_times)
    print("| tandemwav-measure analyze, whole command | %.3f | %.3f | below numpy | %s |"
          % (o, statistics.median(ours_cpu), "met" if o < n else "missed"))
    print("| numpy, reading to last inverse FFT | %.3f | %.3f | | |" % (n, statistics.median(numpy_cpu)))
    print("| one forward + one inverse real FFT, ours (KISS FFT) | %.4f | | | |" % (ours_fft / 1000))
    print("| one forward + one inverse real FFT, numpy (pocketfft) | %.4f | | | |" % (np_fft / 1000))
    peak = max(ours_peaks)
    print("| peak memory, MiB | %.1f | | below %.1f | %s |"
          % (peak / MIB, limit / MIB, "met" if peak < limit else "missed"))
    print("(%d runs each, alternated; load average %.2f)" % (args.reps, os.getloadavg()[0]))


main()
