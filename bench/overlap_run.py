#!/usr/bin/env python3
"""Wall time of tandemwav-measure run --overlap against one output after
another, through a loopback device that keeps real time (as hardware does)
with the device model inside, at 48 kHz, 8 inputs.

For each case: the wall time of `run` on one output (one take, the time each
output costs when they play in turn), and of `run --overlap` on M outputs,
with the overlap's own bound, (M - 1) G plus one output's take plus 5 %, and
the ratio to M times the one output's run.

  bench/overlap_run.py BIN_DIR [--quick]

BIN_DIR holds tandemwav-measure and libtandem_loopback.so (a linux or bench
build). --quick: only the 8 x 8 case with the default sweep.
"""
import json
import os
import subprocess
import sys
import tempfile
import time

DEVICE = "Bench Overlap"
CLSID = "{7A3D5E10-BE2C-4C55-9E61-2B1F0C6A9D34}"


def write_registry(config, bin_dir):
    folder = os.path.join(config, "tandemwav")
    os.makedirs(folder, exist_ok=True)
    library = os.path.join(os.path.abspath(bin_dir), "libtandem_loopback.so")
    text = "\n".join([
        "Windows Registry Editor Version 5.00", "",
        "[HKEY_LOCAL_MACHINE\\SOFTWARE\\ASIO\\%s]" % DEVICE, '"CLSID"="%s"' % CLSID, "",
        "[HKEY_CLASSES_ROOT\\CLSID\\%s\\InprocServer32]" % CLSID, '@="%s"' % library, "",
        "[HKEY_LOCAL_MACHINE\\SOFTWARE\\tandemwav\\loopback\\%s]" % CLSID,
        '"name"="%s"' % DEVICE, '"inputs"=dword:00000040', '"outputs"=dword:00000040',
        '"dutPolynomial"="1 0.2 0.1"', '"dutFilter"="0.6 0.3 0.1"',
        '"dutCrosstalkDb"="-50"', '"dutNoiseDb"="-100"', ""])
    with open(os.path.join(folder, "registry.reg"), "w") as out:
        out.write(text)


def run(measure, env, work, outputs, extra):
    folder = tempfile.mkdtemp(dir=work)
    command = [measure, "run", DEVICE, "--outputs", "1-%d" % outputs, "--inputs", "1-8",
               "--buffer", "2048", "--retakes", "20", "--dir", folder] + extra
    begin = time.monotonic()
    status = subprocess.call(command, env=env, stdout=subprocess.DEVNULL,
                             stderr=subprocess.DEVNULL)
    seconds = time.monotonic() - begin
    if status != 0:
        sys.exit("%s: exit code %d" % (" ".join(command), status))
    with open(os.path.join(folder, "results.json")) as f:
        return seconds, json.load(f)


def main():
    bin_dir = sys.argv[1]
    quick = "--quick" in sys.argv
    measure = os.path.join(bin_dir, "tandemwav-measure")
    cases = [(8, [])] if quick else [
        (2, []), (8, []), (32, []),
        (2, ["--seconds", "28"]), (8, ["--seconds", "28"]), (32, ["--seconds", "28"])]
    with tempfile.TemporaryDirectory() as work:
        env = dict(os.environ, XDG_CONFIG_HOME=os.path.join(work, "config"))
        write_registry(env["XDG_CONFIG_HOME"], bin_dir)
        alone = {}
        print("outputs  sweep  perGroup  gap s   overlap s  bound s  one output s  ratio  attempts")
        for outputs, sweep in cases:
            key = tuple(sweep)
            if key not in alone:
                alone[key] = run(measure, env, work, 1, sweep)[0]
            seconds, results = run(measure, env, work, outputs, sweep + ["--overlap"])
            o, rate = results["overlap"], results["rate"]
            latest = o["startFrames"][-1] / rate
            one_take = alone[key]
            bound = 1.05 * (latest + one_take)
            # A busy machine makes the real-time device lose blocks: each
            # take taken again shows here and in the time.
            attempts = sum(t["attempts"] for t in results["takes"])
            print("%7d  %5.1f  %8d  %6.3f  %9.1f  %7.1f  %12.1f  %5.2f  %8d%s" % (
                outputs, results["sweep"]["seconds"], o["perGroup"], o["gapFrames"] / rate,
                seconds, bound, one_take, seconds / (outputs * one_take), attempts,
                "" if seconds <= bound else "  over the bound"))


main()
