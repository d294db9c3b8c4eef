"""Holds an interface results.json to what its loopback model does, in closed form.

  measure_interface_check.py RESULTS noise SIGMA_DB RATE
      noise -80 -> -77.79 dBFS unweighted, -79.83 A-weighted at 48 kHz; the
      dynamic range the negated A-weighted level; quick: under 20 s of takes
  measure_interface_check.py RESULTS polynomial A1,A2,A3 CROSSTALK_DB RATE LATENCY
      THD+N at -1 dBFS, against level (up to clipping, which is marked) and
      against frequency up to R/6, SMPTE and CCIF IMD, crosstalk, latency
  measure_interface_check.py RESULTS floor
      a bit-exact loop: THD+N and dynamic range at the analysis's floor,
      noise marked as digital silence
  measure_interface_check.py DOM page PAIRS KIND,...
      the rendered page: the data-sheet table with a column per pair, and
      each pair's plots of those kinds with their axes

Prints what it finds; exits 1 when something is out of bounds.
"""
import json
import math
import re
import sys

failures = []


def near(name, seen, expected, within):
    ok = seen is not None and abs(seen - expected) <= within
    print(f"{'ok  ' if ok else 'FAIL'} {name}: {seen} (expected {expected:.3f} +- {within})")
    if not ok:
        failures.append(name)


def expect(name, condition, detail=""):
    print(f"{'ok  ' if condition else 'FAIL'} {name} {detail}")
    if not condition:
        failures.append(name)


def figures(pair):
    return {f["key"]: f for f in pair["figures"]}


def a_weighting(f):
    def raw(f):
        f2 = f * f
        return 12194.217**2 * f2 * f2 / ((f2 + 20.598997**2) * math.sqrt(
            (f2 + 107.65265**2) * (f2 + 737.86223**2)) * (f2 + 12194.217**2))
    return raw(f) / raw(1000.0)


def noise(results, sigma_db, rate):
    sigma2 = 10 ** (sigma_db / 10)
    unweighted = 10 * math.log10(2 * sigma2 * 19980 / (rate / 2))
    step = 0.5
    integral = sum(0.5 * (a_weighting(f) ** 2 + a_weighting(f + step) ** 2) * step
                   for f in (20 + step * i for i in range(int(19980 / step))))
    weighted = 10 * math.log10(2 * sigma2 * (2 / rate) * integral)
    for pair in results["pairs"]:
        f = figures(pair)
        near("noise unweighted", f["noise"]["value"], unweighted, 0.2)
        near("noise A-weighted", f["noiseA"]["value"], weighted, 0.2)
        near("dynamic range", f["dynamicRange"]["value"], -weighted, 0.2)
        expect("noise figures in dBFS", f["noise"]["unit"] == "dBFS" and "AES17" in f["noise"]["definition"])
    if results["quick"]:
        expect("quick: under 20 s of takes", results["takeSeconds"] < 20, f"({results['takeSeconds']} s)")
        f = figures(results["pairs"][0])
        expect("quick: no IMD, marked", f["smpteImd"]["value"] is None and "quick" in f["smpteImd"]["mark"])


def thdn(level_db, hz, a, rate):
    amp = 10 ** (level_db / 20)
    c1 = a[0] * amp + 0.75 * a[2] * amp ** 3
    h2 = a[1] * amp ** 2 / 2 if 2 * hz <= 20000 else 0.0
    h3 = a[2] * amp ** 3 / 4 if 3 * hz <= 20000 else 0.0
    if h2 == 0 and h3 == 0:
        return None  # every harmonic above the band: the analysis's floor alone
    return 10 * math.log10((h2 * h2 + h3 * h3) / (c1 * c1 + h2 * h2 + h3 * h3))


def polynomial(results, a, crosstalk_db, rate, latency):
    peak = 10 ** (-1 / 20)
    for pair in results["pairs"]:
        f = figures(pair)
        name = f"output {pair['output']} -> input {pair['input']}"
        near(f"{name} THD+N -1 dBFS", f["thdn"]["value"], thdn(-1, 997, a, rate), 0.2)
        near(f"{name} THD+N %", 20 * math.log10(f["thdnPercent"]["value"] / 100), thdn(-1, 997, a, rate), 0.2)
        for level, value in pair["thdnAgainstLevel"]:
            amp = 10 ** (level / 20)
            clips = a[0] * amp + a[1] * amp ** 2 + a[2] * amp ** 3 >= 1.0
            if clips:
                expect(f"{name} {level} dBFS clipped, not a figure", value is None)
            else:
                near(f"{name} THD+N at {level} dBFS", value, thdn(level, 997, a, rate), 0.2)
        checked = 0
        for hz, value in pair["thdnAgainstFrequency"]:
            expected = thdn(-1, hz, a, rate)
            if hz <= rate / 6 and expected is None:
                expect(f"{name} THD+N at {hz:.0f} Hz at the floor", value is None or value < -130)
            elif hz <= rate / 6:
                near(f"{name} THD+N at {hz:.0f} Hz", value, expected, 0.2)
                checked += 1
        expect(f"{name} THD+N against frequency up to R/6", checked >= 25, f"({checked} points)")
        a1, a2 = 0.8 * peak, 0.2 * peak
        c = a[0] + 1.5 * a[2] * a1 ** 2 + 0.75 * a[2] * a2 ** 2
        smpte = math.hypot(2 * a[1] * a1 / c, 1.5 * a[2] * a1 ** 2 / c)
        near(f"{name} SMPTE IMD", f["smpteImd"]["value"], 20 * math.log10(smpte), 0.2)
        t = peak / 2
        tone = t * (a[0] + 2.25 * a[2] * t * t)
        ccif = math.hypot(a[1] * t * t, 0.75 * a[2] * t ** 3) / (2 * tone)
        near(f"{name} CCIF IMD", f["ccifImd"]["value"], 20 * math.log10(ccif), 0.2)
        for key in ("crosstalk100", "crosstalk1000", "crosstalk10000"):
            near(f"{name} {key}", f[key]["value"], crosstalk_db, 0.5)
        expect(f"{name} latency {latency} frames", f["latency"]["value"] == latency)
        expect(f"{name} flat response", f["responseRange"]["value"] < 0.1)


def floor(results):
    for pair in results["pairs"]:
        f = figures(pair)
        expect("THD+N at the floor", f["thdn"]["value"] < -130, f"({f['thdn']['value']} dB)")
        expect("dynamic range at the floor", f["dynamicRange"]["value"] > 130,
               f"({f['dynamicRange']['value']} dB)")
        expect("digital silence marked, no noise figure",
               f["noise"]["value"] is None and "silence" in f["noise"]["mark"])


def page(dom, pairs, kinds):
    text = open(dom, encoding="utf-8").read()
    table = re.search(r'<table id="datasheet">(.*?)</table>', text, re.S)
    expect("data-sheet table", table is not None)
    if table:
        head = re.search(r"<tr>(.*?)</tr>", table.group(1), re.S).group(1)
        expect("a column per pair", head.count("<th") == 1 + pairs)
        expect("a row per figure", table.group(1).count("data-key=") >= 20)
    for kind in kinds:
        plots = re.findall(r'<svg[^>]*class="plot[^"]*"[^>]*id="pair-o\d+-i\d+-' + kind + r'".*?</svg>',
                           text, re.S)
        titled = [p for p in plots if re.search(r'class="axis-title x"[^>]*>[^<]+<', p)]
        expect(f"{kind} plots with a titled axis", len(titled) == pairs, f"({len(titled)})")
    expect("nothing loads from elsewhere", not re.search(r'(src|href)="(https?:)?//', text))


def main():
    kind = sys.argv[2]
    if kind == "page":
        page(sys.argv[1], int(sys.argv[3]), sys.argv[4].split(","))
    else:
        results = json.load(open(sys.argv[1]))
        expect("complete", results.get("complete") is True)
        if kind == "noise":
            noise(results, float(sys.argv[3]), float(sys.argv[4]))
        elif kind == "polynomial":
            polynomial(results, [float(x) for x in sys.argv[3].split(",")], float(sys.argv[4]),
                       float(sys.argv[5]), int(sys.argv[6]))
        else:
            floor(results)
    sys.exit(1 if failures else 0)


main()
