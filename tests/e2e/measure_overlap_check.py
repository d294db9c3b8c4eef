"""Holds an overlapping run's results.json to a run of one output after
another on the same device:

  measure_overlap_check.py IN_TURN OVERLAP WINDOW_SECONDS

every pair's delay the same; the direct pairs' responses within 0.05 dB and
0.5 degrees from 50 Hz to 16 kHz and their HDk within 0.2 dB from 100 Hz
wherever both measure it; every crosstalk figure within 0.5 dB; the overlap's
own fields. Prints the largest differences; exits 1 when one is out of bounds.
"""
import json
import sys


def pairs(results):
    return {(p["output"], p["input"]): p for p in results["pairs"]}


def crosstalk(results):
    return {(e["output"], e["input"]): e for e in results["crosstalk"]}


def main():
    turn, over = (json.load(open(path)) for path in sys.argv[1:3])
    failures = []
    worst = {"db": 0.0, "deg": 0.0, "hd": 0.0, "crosstalk": 0.0}
    a, b = pairs(turn), pairs(over)
    if sorted(a) != sorted(b) or not over.get("complete"):
        failures.append("not the same pairs, or not complete")
    for key in a:
        p, q = a[key], b[key]
        if p.get("belowNoise") or q.get("belowNoise"):
            failures.append(f"{key}: below its noise")
            continue
        if p["delayFrames"] != q["delayFrames"]:
            failures.append(f"{key}: delay {q['delayFrames']}, one at a time {p['delayFrames']}")
        if key[0] != key[1]:
            continue
        for r, s in zip(p["response"], q["response"]):
            if 50 <= r["hz"] <= 16000:
                worst["db"] = max(worst["db"], abs(r["db"] - s["db"]))
                worst["deg"] = max(worst["deg"], abs((r["deg"] - s["deg"] + 180) % 360 - 180))
        measured = 0
        for h, g in zip(p["harmonics"], q["harmonics"]):
            for r, s in zip(h["points"], g["points"]):
                if r["hz"] >= 100 and not r.get("belowNoise") and not s.get("belowNoise"):
                    measured += 1
                    worst["hd"] = max(worst["hd"], abs(r["db"] - s["db"]))
        if measured < 100:
            failures.append(f"{key}: only {measured} harmonic points measured in both")
    c, d = crosstalk(turn), crosstalk(over)
    for key in c:
        for field in ("db", "db1k"):
            worst["crosstalk"] = max(worst["crosstalk"], abs(c[key][field] - d[key][field]))
    print("largest differences: " + ", ".join(f"{k} {v:.4f}" for k, v in worst.items()))
    for name, bound in (("db", 0.05), ("deg", 0.5), ("hd", 0.2), ("crosstalk", 0.5)):
        if worst[name] > bound:
            failures.append(f"{name} differs by {worst[name]:.4f}, more than {bound}")
    o = over.get("overlap", {})
    print(f"{o.get('perGroup')} output(s) to a group, starting at {o.get('startFrames')}")
    if list(o)[:3] != ["gapFrames", "irSeconds", "harmonics"] or o["irSeconds"] != float(sys.argv[3]) or \
            o["harmonics"] != 3 or len(o["startFrames"]) != 4 or "overlap" in turn:
        failures.append(f"overlap fields {o}")
    for failure in failures:
        print("FAIL " + failure)
    sys.exit(1 if failures else 0)


main()
