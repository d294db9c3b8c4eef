#!/usr/bin/env python3
"""Room figures in a results.json against the loopback device model's room.

  measure_room_check.py RESULTS.json plain|floor55|floor40 [--seconds T] [--db D]
  measure_room_check.py RESULTS.json same OTHER.json

The room is a unit direct sound and, from t0 = 2 ms on, exponentially
decaying noise whose energy falls 60 dB in T and sums to D dB of the direct
sound's. A decay of noise scatters by ISO 3382-2's sqrt(B T) term, so the
band bounds are three of its standard deviations.
"""
import json
import math
import sys

T0 = 0.002
BANDS = {"250": 250.0, "500": 500.0, "1k": 1000.0, "2k": 2000.0, "4k": 4000.0, "8k": 8000.0}


def room_of(path):
    with open(path) as f:
        results = json.load(f)
    channel = (results.get("pairs") or results["channels"])[0]
    return channel["room"]


def band(room, name):
    return next(b for b in room["figures"] if b["band"] == name)


def closed_forms(seconds, db):
    er = 10 ** (db / 10)
    tau = seconds / (6 * math.log(10))

    def clarity(te):
        late = er * math.exp(-(te - T0) / tau)
        return 10 * math.log10((1 + er - late) / late)

    d50 = 100 * (1 + er * (1 - math.exp(-(0.05 - T0) / tau))) / (1 + er)
    ts = 1000 * er * (T0 + tau) / (1 + er)
    return {"c50Db": (clarity(0.05), 0.3), "c80Db": (clarity(0.08), 0.3),
            "d50Percent": (d50, 0.5), "tsMs": (ts, 0.5)}


def check_decays(room, seconds, problems, names=("t20", "t30")):
    broadband = band(room, "broadband")
    for name in names:
        figure = broadband[name]
        if figure is None:
            problems.append(f"broadband {name} absent: {broadband['reasons'].get(name)}")
        elif abs(figure["seconds"] - seconds) > 0.02 * seconds:
            problems.append(f"broadband {name} {figure['seconds']:.4f} s, not within 2 % of {seconds}")
    for label, mid in BANDS.items():
        b = band(room, label)
        bt = 0.707 * mid * seconds
        for name, factor in (("t20", 2.64), ("t30", 1.65)):
            if name not in names:
                continue
            figure = b[name]
            bound = factor / math.sqrt(bt) * seconds
            if figure is None:
                problems.append(f"{label} {name} absent: {b['reasons'].get(name)}")
            elif abs(figure["seconds"] - seconds) > bound:
                problems.append(f"{label} {name} {figure['seconds']:.4f} s, beyond {seconds} +- {bound:.4f}")


def main():
    args = sys.argv[1:]
    room = room_of(args[0])
    kind = args[1]
    if kind == "same":
        other = room_of(args[2])
        if room != other:
            print("the room figures differ")
            return 1
        return 0
    seconds = float(args[args.index("--seconds") + 1]) if "--seconds" in args else 0.8
    db = float(args[args.index("--db") + 1]) if "--db" in args else -10.0
    problems = []
    broadband = band(room, "broadband")
    if kind == "plain":
        check_decays(room, seconds, problems)
        for key, (expected, within) in closed_forms(seconds, db).items():
            if broadband[key] is None or abs(broadband[key] - expected) > within:
                problems.append(f"broadband {key} {broadband[key]}, expected {expected:.3f} +- {within}")
    elif kind == "floor55":
        if abs(broadband["decayRangeDb"] - 55) > 3:
            problems.append(f"the decay stands {broadband['decayRangeDb']} dB above the noise, not 55")
        check_decays(room, seconds, problems, ("t30",))
    elif kind == "floor40":
        if abs(broadband["decayRangeDb"] - 40) > 3:
            problems.append(f"the decay stands {broadband['decayRangeDb']} dB above the noise, not 40")
        reason = broadband["reasons"].get("t30", "")
        if broadband["t30"] is not None or "T30 needs 45 dB" not in reason:
            problems.append(f"broadband T30 {broadband['t30']} ({reason!r}), expected absent")
        check_decays(room, seconds, problems, ("t20",))
    for p in problems:
        print(p)
    print(" ".join(f"{b['band']}:T30={b['t30'] and b['t30']['seconds']}" for b in room["figures"]))
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
