#!/usr/bin/env python3
"""Prints the micro-benchmark medians as the buffer-switch and conversion
tables, from Google Benchmark's JSON output (run with repetitions).

    bench/summarise_micro.py SWITCH.json WAV_IO.json
"""

import json
import sys

PERIOD_US = 32 / 192000 * 1e6  # 32 frames at 192 kHz: 167 microseconds


def medians(path):
    with open(path) as source:
        report = json.load(source)
    found = {}
    for entry in report["benchmarks"]:
        if entry.get("aggregate_name", "median") != "median" or entry.get("error_occurred"):
            continue
        found[entry["run_name"]] = entry
    return found


def nanoseconds(entry):
    scale = {"ns": 1.0, "us": 1e3, "ms": 1e6, "s": 1e9}[entry["time_unit"]]
    return entry["real_time"] * scale


def switch_table(runs):
    print("\nBuffer switch (median real time per switch)\n")
    print("%-22s %6s %10s %10s %10s %7s %12s" % (
        "shape", "bytes", "switch ns", "bare ns", "memcpy ns", "ratio", "of 167 us"))
    for channels, frames in ((2, 256), (64, 32)):
        for width in (2, 3, 4):
            suffix = "/channels:%d/frames:%d/width:%d" % (channels, frames, width)
            switch = runs.get("BM_BufferSwitch" + suffix)
            bare = runs.get("BM_BareCopyPerChannel" + suffix)
            whole = runs.get("BM_BareCopyContiguous" + suffix)
            if not (switch and bare and whole):
                continue
            ratio = nanoseconds(switch) / nanoseconds(bare)
            share = nanoseconds(switch) / 1e3 / PERIOD_US * 100
            print("%-22s %6d %10.0f %10.0f %10.0f %6.2fx %11.2f%%" % (
                "%d+%d ch, %d fr, %d B" % (channels, channels, frames, width),
                2 * channels * frames * width, nanoseconds(switch), nanoseconds(bare),
                nanoseconds(whole), ratio, share))
    clock = runs.get("BM_ClockRead")
    if clock:
        print("of which the clock read (timeGetTime) alone: %.0f ns" % nanoseconds(clock))
    print("ratio = switch / bare per-channel copies of the same bytes (target <= 1.5x);"
          " target for 64+64 at 32 frames: < 1% of 167 us")
    for resident, label in ((1, "resident, as allocated"), (0, "fresh from new[]")):
        entry = runs.get("BM_SwitchIntoFreshRecordBlocks/resident:%d/manual_time" % resident)
        if entry:
            print("64+64 ch, 32 fr, 3 B into record blocks %s: %.0f ns a switch, %.1f of %d "
                  "switches over half of 167 us" % (
                      label, nanoseconds(entry) / entry["switches"], entry["slow_per_pass"],
                      entry["switches"]))


def conversion_table(runs):
    print("\nConversion and file I/O (8 channels; GB/s of 32-bit float file data)\n")
    print("%-28s %12s %12s %12s" % ("", "2 bytes", "3 bytes", "4 bytes"))
    for label, name in (("loader block loop", "BM_PlaybackConversion"),
                        ("per-sample rule, in memory", "BM_PlaybackPerSampleRule"),
                        ("whole loader, 64 MiB file", "BM_LoadPlaybackFile"),
                        ("writer block loop", "BM_RecordConversion"),
                        ("per-sample rule, in memory", "BM_RecordPerSampleRule"),
                        ("whole writer, 64 MiB file", "BM_WriteRecording")):
        cells = []
        for width in (2, 3, 4):
            entry = runs.get("%s/width:%d" % (name, width))
            cells.append("%5.2f (%4.0fM/s)" % (entry["bytes_per_second"] / 1e9,
                                               entry["items_per_second"] / 1e6)
                         if entry else "-")
        print("%-28s %s" % (label, " ".join("%12s" % c for c in cells)))
    for label, name in (("bare read, same file", "BM_ReadFileBare"),
                        ("bare write, same bytes", "BM_WriteFileBare")):
        entry = runs.get(name)
        if entry:
            print("%-28s %5.2f GB/s" % (label, entry["bytes_per_second"] / 1e9))
    print("(figures are GB/s of float data, samples per second in brackets)")


def main():
    switch_table(medians(sys.argv[1]))
    conversion_table(medians(sys.argv[2]))


if __name__ == "__main__":
    main()
