"""Holds the results.json of a tandemwav-measure run to what its device does.

  measure_run_check.py RESULTS crosstalk --off DB --within TOL
      every direct pair (output n to input n) reads 0 dB, every other pair DB,
      averaged over the band and at 1 kHz
  measure_run_check.py RESULTS repeats --gain G --within TOL [--excluded O:R:DELAY,...]
      the averaging gain, and exactly those repeats left out with their delays
  measure_run_check.py RESULTS pairs --delay O:I:FRAMES,... [--below O:I,...]
      those pairs' delays, and those pairs below their noise, their crosstalk
      a bound under -40 dB (or none for a silent input)

Prints what it finds; exits 1 when something is out of bounds.
"""
import json
import sys


def triples(text):
    return [tuple(int(n) for n in item.split(":")) for item in text.split(",") if item]


def option(args, name, default=""):
    return args[args.index(name) + 1] if name in args else default


def main():
    results = json.load(open(sys.argv[1]))
    kind, args = sys.argv[2], sys.argv[3:]
    failures = []
    if not results.get("complete"):
        failures.append("results not complete")
    if kind == "crosstalk":
        off, within = float(option(args, "--off")), float(option(args, "--within"))
        for e in results["crosstalk"]:
            expected = 0.0 if e["output"] == e["input"] else off
            for key in ("db", "db1k"):
                if e.get(key) is None or abs(e[key] - expected) > within:
                    failures.append(f"output {e['output']} input {e['input']}: {key} {e.get(key)}, expected {expected}")
        print(f"{len(results['crosstalk'])} crosstalk cells")
    elif kind == "repeats":
        gain, within = float(option(args, "--gain")), float(option(args, "--within"))
        print(f"averaging gain {results['averagingGainDb']} dB")
        if abs(results["averagingGainDb"] - gain) > within:
            failures.append(f"averaging gain {results['averagingGainDb']}, expected {gain} +- {within}")
        seen = sorted((e["output"], e["repeat"], e["delayFrames"]) for e in results["excludedRepeats"])
        if seen != sorted(triples(option(args, "--excluded"))):
            failures.append(f"excluded repeats {seen}")
    elif kind == "pairs":
        pairs = {(p["output"], p["input"]): p for p in results["pairs"]}
        for o, i, frames in triples(option(args, "--delay")):
            if pairs[(o, i)].get("delayFrames") != frames:
                failures.append(f"output {o} input {i}: delay {pairs[(o, i)].get('delayFrames')}, expected {frames}")
        below = {p[:2] for p in triples(option(args, "--below"))}
        for key, p in pairs.items():
            if bool(p.get("belowNoise")) != (key in below):
                failures.append(f"output {key[0]} input {key[1]}: belowNoise {p.get('belowNoise')}")
        # A pair below its noise has its crosstalk as a bound well under the
        # direct path, or none at all when its input stayed silent.
        for e in results["crosstalk"]:
            if (e["output"], e["input"]) in below and (
                    not e.get("belowNoise") or (e["db"] is not None and e["db"] > -40)):
                failures.append(f"crosstalk output {e['output']} input {e['input']}: {e}")
    for failure in failures:
        print("FAIL " + failure)
    sys.exit(1 if failures else 0)


main()
