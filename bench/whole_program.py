#!/usr/bin/env python3
"""Whole-program benchmark: tandemwav against a free-running loopback device,
beside sox and cat on the same file in the same run.

Load+convert is the time from the driver's last set-up call before `start` to
`start` itself, and convert+write the time from the driver's `release` to the
end of the process; both come from the loopback driver's call trace, which is
pointed at a FIFO whose lines are stamped here as they arrive. Peak memory is
/usr/bin/time's maximum resident set size. Every figure is the median of
several runs, since the machine is shared.

    bench/whole_program.py BIN_DIR [--reps N] [--quick]
    bench/whole_program.py BIN_DIR --floor [--reps N] [--before PROGRAM]

--floor compares the whole run with the floor program (bench/floor_run.cpp:
the reads, the two resident stores and the write such a run cannot avoid,
without conversion), alternated in one loop on the same file; --before adds
another tandemwav build to the same loop.
"""

import argparse
import os
import shutil
import statistics
import subprocess
import sys
import tempfile
import threading
import time

CLSID = "{7A3D5E10-BE2C-4C55-9E61-2B1F0C6A9D01}"
DEVICE = "Tandem Bench"
SAMPLE_TYPES = {2: 16, 3: 17, 4: 18}  # ASIOSTInt16LSB, Int24LSB, Int32LSB
MIB = 1024 * 1024


class TraceClock:
    """Stamps each line the driver writes to its trace FIFO with the time it
    arrives. The FIFO is also held open for writing here, so it never reaches
    end-of-file between the driver's one-line writes."""

    def __init__(self, path):
        os.mkfifo(path)
        self.fd = os.open(path, os.O_RDWR)
        self.lines = []
        self.lock = threading.Lock()
        threading.Thread(target=self._read, daemon=True).start()

    def _read(self):
        pending = b""
        while True:
            data = os.read(self.fd, 65536)
            now = time.monotonic()
            if not data:
                return
            pending += data
            *complete, pending = pending.split(b"\n")
            with self.lock:
                self.lines.extend((now, line.decode()) for line in complete)

    def take(self):
        with self.lock:
            lines, self.lines = self.lines, []
        return lines


def write_registry(config, bin_dir, width, fifo):
    folder = os.path.join(config, "tandemwav")
    os.makedirs(folder, exist_ok=True)
    library = os.path.join(os.path.abspath(bin_dir), "libtandem_loopback.so")
    settings = "HKEY_LOCAL_MACHINE\\SOFTWARE\\tandemwav\\loopback\\" + CLSID
    text = "\n".join([
        "Windows Registry Editor Version 5.00",
        "",
        "[HKEY_LOCAL_MACHINE\\SOFTWARE\\ASIO\\%s]" % DEVICE,
        '"CLSID"="%s"' % CLSID,
        '"Description"="%s"' % DEVICE,
        "",
        "[HKEY_CLASSES_ROOT\\CLSID\\%s\\InprocServer32]" % CLSID,
        '@="%s"' % library,
        '"ThreadingModel"="Both"',
        "",
        "[%s]" % settings,
        '"name"="%s"' % DEVICE,
        '"inputs"=dword:00000040',
        '"outputs"=dword:00000040',
        '"freeRunning"=dword:00000001',
        '"sampleType"=dword:%08x' % SAMPLE_TYPES[width],
        '"traceFile"="%s"' % fifo,
        "",
    ])
    with open(os.path.join(folder, "registry.reg"), "w") as out:
        out.write(text)


def timed(command, stdout=subprocess.DEVNULL, env=None, stderr=None):
    """Wall time in seconds and peak resident memory in bytes of one command."""
    with tempfile.NamedTemporaryFile(mode="r") as report:
        begin = time.monotonic()
        status = subprocess.call(["/usr/bin/time", "-v", "-o", report.name] + command,
                                 stdout=stdout, stderr=stderr, env=env)
        wall = time.monotonic() - begin
        peak = 0
        for line in report:
            if "Maximum resident set size" in line:
                peak = int(line.split(":")[1]) * 1024
    if status != 0:
        sys.exit("failed with status %d: %s" % (status, " ".join(command)))
    return wall, peak, begin + wall


def cat_time(path):
    begin = time.monotonic()
    with open(os.devnull, "wb") as sink:
        subprocess.check_call(["cat", path], stdout=sink)
    return time.monotonic() - begin


def dd_time(path, size):
    """A plain write of as many bytes to a new file: the machine's own cost of
    putting the recording into the page cache."""
    wall = timed(["dd", "if=/dev/zero", "of=" + path, "bs=1M", "count=%d" % -(-size // MIB)],
                 stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)[0]
    os.remove(path)
    return wall


def line_time(lines, wanted, before=False):
    for i, (stamp, text) in enumerate(lines):
        if text.split(" ")[0] == wanted:
            return lines[i - 1][0] if before else stamp
    sys.exit("the driver's trace has no '%s' line: %s" % (wanted, lines))


def run_tandemwav(bin_dir, clock, env, play, record, channels):
    command = [os.path.join(bin_dir, "tandemwav"), DEVICE, "256", play, "1", record,
               str(channels), "1"]
    clock.take()
    wall, peak, end = timed(command, env=env)
    time.sleep(0.05)
    lines = clock.take()
    load = line_time(lines, "start") - line_time(lines, "start", before=True)
    write = end - line_time(lines, "release")
    return {"load": load, "write": write, "rss": peak, "wall": wall}


def measure(bin_dir, work, clock, env, channels, seconds, width, reps):
    play = os.path.join(work, "play.wav")
    record = os.path.join(work, "record.wav")
    int24 = os.path.join(work, "sox24.wav")
    back = os.path.join(work, "soxfloat.wav")
    subprocess.check_call([os.path.join(bin_dir, "make_bench_wav"), play, str(channels),
                           str(seconds)])
    write_registry(env["XDG_CONFIG_HOME"], bin_dir, width, clock.path)
    runs = []
    for _ in range(reps):
        figures = {"cat": cat_time(play)}
        figures.update(run_tandemwav(bin_dir, clock, env, play, record, channels))
        os.remove(record)
        figures["dd"] = dd_time(os.path.join(work, "dd.bin"), os.path.getsize(play))
        figures["sox24"] = timed(["sox", "-V1", play, "-e", "signed-integer", "-b", "24", int24])[0]
        figures["soxfloat"] = timed(["sox", "-V1", int24, "-e", "floating-point", "-b", "32", back])[0]
        os.remove(int24)
        os.remove(back)
        runs.append(figures)
    file_bytes = os.path.getsize(play)
    os.remove(play)
    frames = seconds * 48000
    padded = (frames + 255) // 256 * 256
    median = {key: statistics.median(r[key] for r in runs) for key in runs[0]}
    median["bytes"] = file_bytes
    median["blocks"] = padded * width * 2 * channels
    return median


def gbps(size, seconds):
    return size / seconds / 1e9


def verdict(ok):
    return "met" if ok else "MISSED"


def print_main_table(m, channels, seconds, width, reps):
    size = m["bytes"]
    print("\nWhole program: %d channels, %d s at 48 kHz, %.0f MB float file, %d-byte native "
          "samples, median of %d runs\n" % (channels, seconds, size / 1e6, width, reps))
    print("%-44s %10s %9s" % ("", "seconds", "GB/s"))
    rows = [("cat file > /dev/null", "cat"),
            ("tandemwav load + convert", "load"),
            ("sox float -> 24-bit integer", "sox24"),
            ("dd /dev/zero > new file, same size", "dd"),
            ("tandemwav convert + write", "write"),
            ("sox 24-bit integer -> float", "soxfloat")]
    for label, key in rows:
        print("%-44s %10.3f %9.2f" % (label, m[key], gbps(size, m[key])))
    print("%-44s %10.3f" % ("tandemwav whole run (wall)", m["wall"]))
    print("%-44s %9.1fx" % ("write / dd (no target; the machine's limit)", m["write"] / m["dd"]))
    excess = (m["rss"] - m["blocks"]) / MIB
    print("\n%-44s %10s %9s %s" % ("Target", "measured", "needed", ""))
    print("%-44s %9.1fx %8s  %s" % ("sox to 24-bit / load", m["sox24"] / m["load"], ">= 4x",
                                     verdict(m["sox24"] / m["load"] >= 4)))
    print("%-44s %9.1fx %8s  %s" % ("load / cat", m["load"] / m["cat"], "<= 4x",
                                     verdict(m["load"] / m["cat"] <= 4)))
    print("%-44s %9.1fx %8s  %s" % ("sox to float / write", m["soxfloat"] / m["write"], ">= 4x",
                                     verdict(m["soxfloat"] / m["write"] >= 4)))
    print("%-44s %8.0fMiB %8s  %s" % ("peak RSS beyond the native blocks (%.0f MiB)"
                                      % (m["blocks"] / MIB), excess, "<= 64", verdict(excess <= 64)))
    sys.stdout.flush()


def print_scaling(results, width):
    print("\nScaling (%d-byte native samples): seconds per GB of float file stays flat when the "
          "cost is linear\n" % width)
    print("%8s %8s %8s | %8s %8s %8s | %7s %7s %7s | %9s" % (
        "channels", "seconds", "MB", "load s", "write s", "cat s", "load", "write", "sox24",
        "RSS-blk"))
    print("%8s %8s %8s | %8s %8s %8s | %7s %7s %7s | %9s" % (
        "", "", "", "", "", "", "s/GB", "s/GB", "s/GB", "MiB"))
    for (channels, seconds), m in results:
        gb = m["bytes"] / 1e9
        print("%8d %8d %8.0f | %8.3f %8.3f %8.3f | %7.3f %7.3f %7.3f | %9.0f" % (
            channels, seconds, m["bytes"] / 1e6, m["load"], m["write"], m["cat"],
            m["load"] / gb, m["write"] / gb, m["sox24"] / gb, (m["rss"] - m["blocks"]) / MIB))


def floor_comparison(bin_dir, work, clock, env, reps, before):
    channels, seconds, width = 8, 300, 3
    play = os.path.join(work, "play.wav")
    record = os.path.join(work, "record.wav")
    subprocess.check_call([os.path.join(bin_dir, "make_bench_wav"), play, str(channels),
                           str(seconds)])
    write_registry(env["XDG_CONFIG_HOME"], bin_dir, width, clock.path)
    programs = [("tandemwav", os.path.join(bin_dir, "tandemwav"))]
    if before:
        programs.append(("tandemwav before", before))
    runs = {name: [] for name, _ in programs}
    runs["floor"] = []
    runs["durable floor"] = []
    peaks = {name: [] for name, _ in programs}
    for _ in range(reps):
        for name, program in programs:
            command = [program, DEVICE, "256", play, "1", record, str(channels), "1"]
            wall, peak, _ = timed(command, env=env)
            clock.take()
            runs[name].append(wall)
            peaks[name].append(peak)
            os.remove(record)
        runs["floor"].append(timed([os.path.join(bin_dir, "floor_run"), play, record,
                                    str(width)])[0])
        os.remove(record)
        runs["durable floor"].append(timed([os.path.join(bin_dir, "floor_run"), play, record,
                                            str(width), "--durable"])[0])
        os.remove(record)
    stores = 2 * (seconds * 48000 + 255) // 256 * 256 * width * channels
    floor = statistics.median(runs["floor"])
    print("\nWhole run against the floor: %d channels, %d s at 48 kHz, %.0f MB float file, "
          "%d-byte native samples, median of %d alternated runs; load average %s\n" % (
              channels, seconds, os.path.getsize(play) / 1e6, width, reps,
              open("/proc/loadavg").read().split()[0]))
    # The recording is pushed to stable storage before it replaces its target,
    # so the durable floor is the one a whole run is held against.
    durable = statistics.median(runs["durable floor"])
    print("%-20s %9s %9s %9s %12s %s" % ("", "median s", "÷ floor", "÷ durable", "RSS-stores",
                                         "all runs"))
    for name in ("floor", "durable floor"):
        print("%-20s %9.3f %9s %9s %12s %s" % (name, statistics.median(runs[name]), "", "", "",
                                               " ".join("%.3f" % t for t in runs[name])))
    for name, _ in programs:
        median = statistics.median(runs[name])
        excess = (max(peaks[name]) - stores) / MIB
        print("%-20s %9.3f %8.2fx %8.2fx %9.0f MiB %s" % (
            name, median, median / floor, median / durable, excess,
            " ".join("%.3f" % t for t in runs[name])))
    os.remove(play)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("bin_dir")
    parser.add_argument("--reps", type=int, default=5)
    parser.add_argument("--quick", action="store_true", help="one short file, one run")
    parser.add_argument("--main-only", action="store_true", help="no other widths, no scaling")
    parser.add_argument("--floor", action="store_true", help="the whole run against the floor")
    parser.add_argument("--before", help="another tandemwav program for the floor comparison")
    args = parser.parse_args()
    for tool in ("sox", "/usr/bin/time"):
        if shutil.which(tool) is None:
            sys.exit("%s is needed" % tool)
    work = tempfile.mkdtemp(prefix="tandembench.", dir=os.environ.get("TMPDIR", "/tmp"))
    try:
        env = dict(os.environ, XDG_CONFIG_HOME=os.path.join(work, "config"))
        clock = TraceClock(os.path.join(work, "trace.fifo"))
        clock.path = os.path.join(work, "trace.fifo")
        if args.floor:
            floor_comparison(args.bin_dir, work, clock, env, args.reps, args.before)
            return
        if args.quick:
            m = measure(args.bin_dir, work, clock, env, 8, 20, 3, 1)
            print_main_table(m, 8, 20, 3, 1)
            return
        m = measure(args.bin_dir, work, clock, env, 8, 300, 3, args.reps)
        print_main_table(m, 8, 300, 3, args.reps)
        if args.main_only:
            return
        print()
        for width in (2, 4):
            other = measure(args.bin_dir, work, clock, env, 8, 300, width, 3)
            print("%d-byte native samples, same file, median of 3: load %.3f s, write %.3f s, "
                  "peak RSS beyond the blocks %.0f MiB" % (
                      width, other["load"], other["write"], (other["rss"] - other["blocks"]) / MIB))
        scaling = []
        for shape in ((8, 75), (8, 150), (8, 300), (2, 300), (32, 75)):
            scaling.append((shape, measure(args.bin_dir, work, clock, env, shape[0], shape[1], 3, 3)))
        print_scaling(scaling, 3)
    finally:
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()
