"""Checks a report page as a browser rendered it, and its screenshot.

    report_page_check.py dom DOM_FILE OUTPUTS INPUTS BELOW_NOISE_PAIRS
    report_page_check.py screenshot PNG_FILE
    report_page_check.py events DOM_FILE CLIPPED LOST_BLOCKS RETAKES

dom: every responding pair (outputs x inputs, less the pairs below noise,
given as "O:I,...") has its six plots with their axes' labels (the gate on
the energy-time curve of a gated run), one plot overlays the direct pairs (output n to input
n) with a legend, the crosstalk matrix has one cell per pair, and the page has no script and nothing that
loads from elsewhere. screenshot: the picture is not blank. events: the page
counts the samples clipped and the blocks lost ("none" for 0), with a warning
at its top for either, and names every retake ("O:R:ATTEMPTS,...").
Prints one line per failure and exits 1 if there was any.
"""
import struct
import sys
import zlib
from html.parser import HTMLParser


class Dom(HTMLParser):
    def __init__(self):
        super().__init__()
        self.svgs = {}  # id -> list of texts inside it
        self.current_svg = None
        self.stack = []
        self.crosstalk_cells = 0
        self.in_crosstalk = False
        self.scripts = 0
        self.external = []
        self.h1 = ""
        self.in_h1 = False
        self.ids = {}  # id -> its text, for the elements the events check reads
        self.open_ids = []
        self.events = {}  # the events table: row name -> its value
        self.in_events = False
        self.cell = None
        self.row_name = ""

    def handle_starttag(self, tag, attrs):
        a = dict(attrs)
        if tag == "script":
            self.scripts += 1
        for key in ("src", "href"):
            value = a.get(key) or ""
            if value and not value.startswith("#"):
                self.external.append(value)
        if tag == "link":
            self.external.append("link " + str(a))
        if tag == "svg" and a.get("id"):
            self.current_svg = a["id"]
            self.svgs[self.current_svg] = []
        if tag == "table" and a.get("id") == "crosstalk":
            self.in_crosstalk = True
        if tag == "td" and self.in_crosstalk and "xt" in (a.get("class") or "").split():
            self.crosstalk_cells += 1
        if tag == "h1":
            self.in_h1 = True
        if a.get("id") in ("clipped-warning", "lost-warning"):
            self.ids[a["id"]] = ""
            self.open_ids.append((tag, a["id"]))
        if tag == "table" and a.get("id") == "events":
            self.in_events = True
        if self.in_events and tag in ("th", "td"):
            self.cell = tag
            if tag == "td":
                self.events[self.row_name] = ""

    def handle_endtag(self, tag):
        if self.open_ids and self.open_ids[-1][0] == tag:
            self.open_ids.pop()
        if tag in ("th", "td"):
            self.cell = None
        if tag == "table":
            self.in_events = False
        if tag == "svg":
            self.current_svg = None
        if tag == "table":
            self.in_crosstalk = False
        if tag == "h1":
            self.in_h1 = False

    def handle_data(self, data):
        for _, open_id in self.open_ids:
            self.ids[open_id] += data
        if self.cell == "th" and self.in_events:
            self.row_name = data
        elif self.cell == "td" and self.in_events:
            self.events[self.row_name] += data
        if self.current_svg is not None:
            self.svgs[self.current_svg].append(data)
        if self.in_h1:
            self.h1 += data


def check_dom(path, outputs, inputs, below):
    failures = []
    dom = Dom()
    dom.feed(open(path, encoding="utf-8").read())
    below_pairs = {tuple(int(n) for n in p.split(":")) for p in below.split(",") if p}
    gated = '<tr id="gate">' in open(path, encoding="utf-8").read()
    labels = {
        "magnitude": ["100 Hz", "1 kHz", "10 kHz", " dB"],
        "phase": ["1 kHz", "\u00b0"],
        "distortion": ["1 kHz", " dB", " %"],
        "etc": ["ms", " dB"],
        "group-delay": ["1 kHz", " ms"],
        "step": ["ms", "Step response"],
    }
    if gated:
        labels["etc"].append("gate")
    for o in range(1, outputs + 1):
        for i in range(1, inputs + 1):
            for kind, wanted in labels.items():
                plot = f"pair-o{o}-i{i}-{kind}"
                if (o, i) in below_pairs:
                    if plot in dom.svgs:
                        failures.append(f"{plot}: drawn for a pair below its noise")
                    continue
                if plot not in dom.svgs:
                    failures.append(f"{plot}: missing")
                    continue
                text = " ".join(dom.svgs[plot])
                for label in wanted:
                    if label not in text:
                        failures.append(f"{plot}: no axis label {label!r}")
    direct = [f"out {n} \u2192 in {n}" for n in range(1, min(outputs, inputs) + 1)]
    overlay = " ".join(dom.svgs.get("overlay-magnitude", []))
    for label in direct + [" dB", "1 kHz"]:
        if label not in overlay:
            failures.append(f"overlay of the direct pairs: no {label!r}")
    if "out 1 \u2192 in 2" in overlay:
        failures.append("overlay: a crosstalk pair drawn as a direct one")
    if dom.crosstalk_cells != outputs * inputs:
        failures.append(f"crosstalk matrix: {dom.crosstalk_cells} cells, expected {outputs * inputs}")
    if dom.scripts:
        failures.append("the page has a script")
    if dom.external:
        failures.append(f"the page loads from elsewhere: {dom.external}")
    return failures, dom


def check_events(path, clipped, lost, retakes):
    dom = Dom()
    dom.feed(open(path, encoding="utf-8").read())
    failures = []
    for name, count, warning in (("Clipped samples", clipped, "clipped-warning"),
                                 ("Lost blocks", lost, "lost-warning")):
        shown = dom.events.get(name, "")
        if not shown.startswith(str(count) if count else "none"):
            failures.append(f"{name}: {shown!r}, expected {count}")
        if bool(count) != (warning in dom.ids) or (count and str(count) not in dom.ids[warning]):
            failures.append(f"{warning}: {dom.ids.get(warning)!r} for {count}")
    listed = dom.events.get("Retakes", "")
    for o, r, attempts in (t.split(":") for t in retakes.split(",") if t):
        if f"output {o} repeat {r}: {attempts} attempt" not in listed:
            failures.append(f"retake of output {o} repeat {r} not named: {listed!r}")
    if not retakes and "Retakes" in dom.events and listed != "none":
        failures.append(f"retakes: {listed!r}, expected none")
    return failures


def png_pixels(path):
    data = open(path, "rb").read()
    if data[:8] != b"\x89PNG\r\n\x1a\n":
        raise ValueError("not a PNG")
    pos, idat = 8, b""
    while pos < len(data):
        length, kind = struct.unpack(">I4s", data[pos:pos + 8])
        body = data[pos + 8:pos + 8 + length]
        if kind == b"IHDR":
            width, height, depth, colour = struct.unpack(">IIBB", body[:10])
        elif kind == b"IDAT":
            idat += body
        pos += 12 + length
    if depth != 8 or colour not in (2, 6):
        raise ValueError(f"unexpected PNG format depth {depth} colour {colour}")
    channels = 4 if colour == 6 else 3
    raw = zlib.decompress(idat)
    stride = width * channels
    previous = bytearray(stride)
    rows = []
    at = 0
    for _ in range(height):
        kind = raw[at]
        line = bytearray(raw[at + 1:at + 1 + stride])
        at += 1 + stride
        for x in range(stride):
            left = line[x - channels] if x >= channels else 0
            up = previous[x]
            corner = previous[x - channels] if x >= channels else 0
            if kind == 1:
                line[x] = (line[x] + left) & 255
            elif kind == 2:
                line[x] = (line[x] + up) & 255
            elif kind == 3:
                line[x] = (line[x] + (left + up) // 2) & 255
            elif kind == 4:
                p = left + up - corner
                pa, pb, pc = abs(p - left), abs(p - up), abs(p - corner)
                pred = left if pa <= pb and pa <= pc else (up if pb <= pc else corner)
                line[x] = (line[x] + pred) & 255
        rows.append(bytes(line))
        previous = line
    return width, height, channels, rows


def check_screenshot(path):
    width, height, channels, rows = png_pixels(path)
    colours = set()
    inked = 0
    for row in rows[::4]:
        for x in range(0, width * channels, channels * 4):
            pixel = row[x:x + 3]
            colours.add(pixel)
            inked += pixel != b"\xff\xff\xff"
    sampled = len(rows[::4]) * len(range(0, width * channels, channels * 4))
    failures = []
    if inked < sampled * 0.03:
        failures.append(f"screenshot nearly blank: {inked} of {sampled} sampled pixels inked")
    if len(colours) < 20:
        failures.append(f"screenshot has only {len(colours)} colours")
    return failures


def main():
    if sys.argv[1] == "dom":
        failures, _ = check_dom(sys.argv[2], int(sys.argv[3]), int(sys.argv[4]), sys.argv[5])
    elif sys.argv[1] == "events":
        failures = check_events(sys.argv[2], int(sys.argv[3]), int(sys.argv[4]), sys.argv[5])
    else:
        failures = check_screenshot(sys.argv[2])
    for failure in failures:
        print("FAIL " + failure)
    sys.exit(1 if failures else 0)


main()
