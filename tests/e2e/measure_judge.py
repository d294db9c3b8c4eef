"""Holds a results.json of tandemwav-measure against a device's closed form.

  measure_judge.py RESULTS linear [--delay D] --taps "b0 b1 ..." --db TOL --deg TOL
                   [--db-band LO HI] [--deg-band LO HI] [--flagged-under HZ]
                   [--channel N] [--relative-delay FRAMES]
  measure_judge.py RESULTS calibrated UNCALIBRATED --channel N --tilt DB DEG --cal-band LO HI
                   --db TOL --deg TOL     (per octave about 1 kHz, within the file's band)
  measure_judge.py RESULTS frd --channel N   (its .frd and .csv read back against results.json)
  measure_judge.py RESULTS harmonics --poly "a1 a2 a3" [--taps ...] [--delay D] --db TOL
                   [--expect "2:dB 3:dB thd:percent"] [--channel N]
  measure_judge.py snr-gain SHORT LONG --gain G --within TOL   (RESULTS unused)
  measure_judge.py RESULTS snr --at-least DB
  measure_judge.py RESULTS below-noise --channel N    (its harmonics all bounds, no THD)
  measure_judge.py RESULTS clipped --expect-clipped none|some
  measure_judge.py RESULTS gated --taps "b0 ..." --gate MS --db TOL --db-band LO HI
                   (the gated response flat; the ungated one swings as the taps do)
  measure_judge.py RESULTS smoothed --taps "b0 ..." --smooth N --db TOL --deg TOL [--db-band LO HI]
                   (1/N-octave smoothing of the taps' response on the results' grid)

Prints the worst deviation of every check; exits 1 when one is out of bounds.
"""
import argparse
import cmath
import json
import math
import sys


def response(taps, hz, rate):
    return sum(b * cmath.exp(-2j * math.pi * hz * n / rate) for n, b in enumerate(taps))


def numbers(text):
    return [float(x) for x in text.split()] if text else []


def harmonic_gains(poly, amplitude):
    """|H1|, |H2|, |H3| of a1 x + a2 x^2 + a3 x^3 driven by amplitude * sin, over amplitude."""
    a = poly + [0.0] * (3 - len(poly))
    return [a[0] + 3 * a[2] * amplitude**2 / 4, a[1] * amplitude / 2, a[2] * amplitude**2 / 4]


def check(label, worst, bound):
    ok = worst <= bound
    print("  %-28s worst %.4f (bound %g)%s" % (label, worst, bound, "" if ok else "  OUT"))
    return ok


def judge_linear(doc, args):
    channel = doc["channels"][(args.channel or 1) - 1]
    taps, rate = numbers(args.taps), doc["rate"]
    peak = max(range(len(taps)), key=lambda n: abs(taps[n]))
    ok = True
    if args.delay is not None:
        ok = channel["delayFrames"] == args.delay
        print("  delay %d frames (expected %d)" % (channel["delayFrames"], args.delay))
    if args.relative_delay is not None:
        got = channel.get("relativeDelayFrames")
        print("  relative delay %s frames (expected %g)" % (got, args.relative_delay))
        ok &= got is not None and abs(got - args.relative_delay) <= 0.01 + 1e-9
        ok &= abs(channel["relativeDelayMs"] - got * 1000 / rate) <= 1e-3
    worst_db = worst_deg = 0.0
    inside = lambda band, hz: band is None or band[0] <= hz <= band[1]
    for p in channel["response"]:
        g = response(taps, p["hz"], rate) * cmath.exp(2j * math.pi * p["hz"] * peak / rate)
        if inside(args.db_band, p["hz"]):
            worst_db = max(worst_db, abs(p["db"] - 20 * math.log10(abs(g))))
        d = (p["deg"] - math.degrees(cmath.phase(g)) + 180) % 360 - 180
        if inside(args.deg_band, p["hz"]):
            worst_deg = max(worst_deg, abs(d))
    band = lambda b: "" if b is None else " %g-%g Hz" % tuple(b)
    ok &= check("magnitude%s, dB" % band(args.db_band), worst_db, args.db)
    ok &= check("phase%s, degrees" % band(args.deg_band), worst_deg, args.deg)
    if args.flagged_under is not None:
        flagged = [p["hz"] for p in channel["response"] if p.get("belowResolution")]
        print("  %d points below the resolution, up to %s Hz" % (len(flagged), max(flagged or [0])))
        ok &= bool(flagged) and max(flagged) < args.flagged_under and channel["response"][0]["hz"] in flagged
    return ok


def judge_harmonics(doc, args):
    channel = doc["channels"][(args.channel or 1) - 1]
    rate, amplitude = doc["rate"], 10 ** (doc["sweep"]["level"] / 20)
    poly, taps = numbers(args.poly), numbers(args.taps) or [1.0]
    c = harmonic_gains(poly, amplitude)
    ok = True
    if args.delay is not None:
        ok = channel["delayFrames"] == args.delay
        print("  delay %d frames (expected %d)" % (channel["delayFrames"], args.delay))
    g = lambda hz: abs(response(taps, hz, rate))
    for curve in channel["harmonics"]:
        k = curve["order"]
        if k > 3 or c[k - 1] == 0:
            continue
        points = [p for p in curve["points"] if p["hz"] <= rate / 8]
        if not points:
            ok = False
            continue
        worst = max(abs(p["db"] - 20 * math.log10(abs(c[k - 1]) * g(k * p["hz"]) / (c[0] * g(p["hz"]))))
                    for p in points)
        ok &= check("HD%d over %d points, dB" % (k, len(points)), worst, args.db)
    for item in (args.expect or "").split():
        key, value = item.split(":")
        if key == "thd":
            got = [p["percent"] for p in channel["thd"] if p["hz"] <= rate / 8]
            ok &= check("THD vs %s %%, relative" % value, max(abs(x / float(value) - 1) for x in got), 0.03)
        else:
            got = [p["db"] for p in channel["harmonics"][int(key) - 2]["points"] if p["hz"] <= rate / 8]
            ok &= check("HD%s vs %s dB" % (key, value), max(abs(x - float(value)) for x in got), args.db)
    return ok


def judge_gated(doc, args):
    channel, rate = doc["channels"][0], doc["rate"]
    taps = numbers(args.taps)
    lo, hi = args.db_band
    ok = doc.get("gateMs") == args.gate
    ungated = [20 * math.log10(abs(response(taps, p["hz"], rate))) for p in channel["response"] if lo <= p["hz"] <= hi]
    swing = [p["db"] for p in channel["response"] if lo <= p["hz"] <= hi]
    print("  ungated %+.2f to %+.2f dB (closed form %+.2f to %+.2f)" % (max(swing), min(swing), max(ungated), min(ungated)))
    ok &= max(swing) > 3.0 and min(swing) < -5.0
    gated = channel["gatedResponse"]
    ok &= [p["hz"] for p in gated] == [p["hz"] for p in channel["response"]]
    worst = max(abs(p["db"]) for p in gated if lo <= p["hz"] <= hi)
    ok &= check("gated, flat %g-%g Hz, dB" % (lo, hi), worst, args.db)
    flagged = [p["hz"] < 1000 / args.gate for p in gated]
    ok &= flagged == [bool(p.get("belowGate")) for p in gated] and any(flagged)
    print("  %d points flagged below the gate's %g Hz" % (sum(flagged), 1000 / args.gate))
    return ok


def smoothed_closed_form(taps, grid, rate, n):
    """The taps' response smoothed as defined: power and complex response averaged over the grid
    points within f 2^(+-1/(2n))."""
    values = [response(taps, hz, rate) for hz in grid]
    out = []
    for f in grid:
        inside = [v for hz, v in zip(grid, values) if abs(math.log2(hz / f)) <= 1 / (2 * n) + 1e-9]
        power = sum(abs(v) ** 2 for v in inside) / len(inside)
        out.append((10 * math.log10(power), math.degrees(cmath.phase(sum(inside)))))
    return out


def judge_smoothed(doc, args):
    channel, rate = doc["channels"][0], doc["rate"]
    smoothed = channel["smoothedResponse"]
    grid = [p["hz"] for p in channel["response"]]
    ok = doc.get("smoothing") == args.smooth and [p["hz"] for p in smoothed] == grid
    expected = smoothed_closed_form(numbers(args.taps), grid, rate, args.smooth)
    lo, hi = args.db_band or (0, rate)
    pairs = [(p, e) for p, e in zip(smoothed, expected) if lo <= p["hz"] <= hi]
    worst_db = max(abs(p["db"] - db) for p, (db, _) in pairs)
    worst_deg = max(abs((p["deg"] - deg + 180) % 360 - 180) for p, (_, deg) in pairs)
    raw = max(abs(p["db"] - s["db"]) for p, s in zip(channel["response"], smoothed))
    print("  smoothing moves the response by up to %.2f dB" % raw)
    ok &= check("1/%d octave %g-%g Hz, dB" % (args.smooth, lo, hi), worst_db, args.db)
    ok &= check("1/%d octave, degrees" % args.smooth, worst_deg, args.deg)
    return ok


def judge_snr(args):
    short, long = (json.load(open(f))["channels"][0]["snrDb"] for f in (args.short, args.long))
    print("  signal-to-noise %.2f dB, twice as long %.2f dB" % (short, long))
    return check("gain off %g dB" % args.gain, abs(long - short - args.gain), args.within)


def judge_snr_floor(doc, args):
    channel = doc["channels"][0]
    print("  signal-to-noise %.2f dB, noise floor %.2f dB" % (channel["snrDb"], channel["noiseFloorDb"]))
    return channel["snrDb"] >= args.at_least


def judge_below_noise(doc, args):
    channel = doc["channels"][args.channel - 1]
    if channel["belowNoise"]:
        print("  the channel does not respond at all")
        return False
    points = [p for h in channel["harmonics"] for p in h["points"]]
    figures = [p for p in points if not p.get("belowNoise")]
    print("  %d of %d harmonic points measured, %d THD points" % (len(figures), len(points), len(channel["thd"])))
    return bool(points) and not figures and not channel["thd"]


def judge_calibrated(doc, args):
    """The tilt a calibration file holds, subtracted within its band; the points
    outside it as measured and marked."""
    channel = doc["channels"][args.channel - 1]
    plain = json.load(open(args.short))["channels"][args.channel - 1]["response"]
    lo, hi = args.cal_band
    worst_db = worst_deg = 0.0
    ok = any(c["input"] == args.channel for c in doc.get("calibration", []))
    for p, q in zip(channel["response"], plain):
        octaves = math.log2(p["hz"] / 1000)
        inside = lo <= p["hz"] <= hi
        db = q["db"] - (args.tilt[0] * octaves if inside else 0)
        deg = q["deg"] - (args.tilt[1] * octaves if inside else 0)
        worst_db = max(worst_db, abs(p["db"] - db))
        worst_deg = max(worst_deg, abs((p["deg"] - deg + 180) % 360 - 180))
        ok &= p.get("calibrated", True) == inside
    print("  %d points, %d outside the file's band" %
          (len(plain), sum(1 for p in channel["response"] if p.get("calibrated") is False)))
    ok &= check("calibrated magnitude, dB", worst_db, args.db)
    ok &= check("calibrated phase, degrees", worst_deg, args.deg)
    return ok and len(channel["response"]) == len(plain)


def judge_frd(doc, args):
    """The .frd holds the response as results.json does, under '*' comments;
    the .csv a row per point, with a cell for each figure."""
    import csv, os
    channel = doc["channels"][args.channel - 1]
    folder = os.path.dirname(args.results)
    lines = open(os.path.join(folder, channel["frd"])).read().splitlines()
    header = [line for line in lines if line.startswith("*")]
    points = [[float(x) for x in line.split(" ")] for line in lines if not line.startswith("*")]
    response = channel["response"]
    ok = len(points) == len(response) and lines[: len(header)] == header
    if doc.get("reference"):
        ok &= any("referenced to input %d" % doc["reference"] in line for line in header)
    worst = max(max(abs(a - b) for a, b in zip(row, (p["hz"], p["db"], p["deg"])))
                for row, p in zip(points, response))
    print("  %d points read back under %d comment lines" % (len(points), len(header)))
    ok &= check("frd against results.json", worst, 1e-3)
    rows = list(csv.reader(open(os.path.join(folder, channel["csv"]))))
    orders = doc["harmonicsCounted"]
    ok &= rows[0][:4] == ["Hz", "dB", "degrees", "group delay ms"] and len(rows[0]) == 4 + orders
    ok &= len(rows) == len(response) + 1 and all(len(r) == len(rows[0]) for r in rows)
    hd2 = channel["harmonics"][0]["points"]
    for i, row in enumerate(rows[1:]):
        h = hd2[i] if i < len(hd2) else None
        ok &= (row[4] == "") == (h is None or bool(h.get("belowNoise")))
        ok &= h is None or h.get("belowNoise") or abs(float(row[4]) - h["db"]) <= 1e-3
    print("  csv: %d rows of %d columns" % (len(rows) - 1, len(rows[0])))
    return ok


def judge_clipped(doc, args):
    clipped = doc["clippedSamples"]
    print("  %d samples clipped (expected %s)" % (clipped, args.expect_clipped))
    return (clipped == 0) == (args.expect_clipped == "none")


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("results")
    parser.add_argument("kind", choices=["linear", "harmonics", "snr-gain", "snr", "below-noise", "clipped",
                                           "gated", "smoothed", "calibrated", "frd"])
    parser.add_argument("short", nargs="?")
    parser.add_argument("long", nargs="?")
    for name in ("--taps", "--poly", "--expect"):
        parser.add_argument(name)
    for name in ("--delay", "--channel", "--smooth"):
        parser.add_argument(name, type=int)
    for name in ("--db", "--deg", "--gain", "--within", "--at-least", "--flagged-under", "--gate"):
        parser.add_argument(name, type=float)
    parser.add_argument("--relative-delay", type=float)
    for name in ("--db-band", "--deg-band", "--tilt", "--cal-band"):
        parser.add_argument(name, type=float, nargs=2)
    parser.add_argument("--expect-clipped", choices=["none", "some"])
    args = parser.parse_args()
    if args.kind == "snr-gain":
        ok = judge_snr(args)
    else:
        doc = json.load(open(args.results))
        kinds = {"linear": judge_linear, "harmonics": judge_harmonics, "snr": judge_snr_floor,
                 "below-noise": judge_below_noise, "clipped": judge_clipped,
                 "gated": judge_gated, "smoothed": judge_smoothed,
                 "calibrated": judge_calibrated, "frd": judge_frd}
        ok = doc["complete"] and kinds[args.kind](doc, args)
    sys.exit(0 if ok else 1)


main()
