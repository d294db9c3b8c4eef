#!/usr/bin/env python3
"""probe_check.py TEXT JSON: the probe's JSON document parses, and every fact
in it appears in the probe's text output for the same device, number for
number. Prints what differs and exits 1 on any difference."""
import json
import sys


def esc(text):
    """The probe's console escaping of driver text."""
    return "".join(ch if " " <= ch < "\x7f" else "\\x%02X" % ord(ch) for ch in text)


def expected_lines(doc):
    if "drivers" in doc:
        for d in doc["drivers"]:
            yield d["loadName"] if d["listed"] else d["subKey"]
            yield d["remark"] or ""
        for note in doc["notes"]:
            yield "Note: %s." % esc(note)
        return
    if doc["exitCode"] != 0:
        yield esc(doc["driverMessage"] or "")
        return
    yield "Driver: %s" % esc(doc["driver"]["name"])
    yield "Version: %d" % doc["driver"]["version"]
    def mark(obj, key):
        return " (invalid)" if key in obj["invalid"] else ""

    for side, title in (("inputs", "Inputs"), ("outputs", "Outputs")):
        facts = doc[side]
        yield "%s: %d%s" % (title, facts["count"], mark(facts, "count"))
        for c in facts["channels"]:
            yield '  %d: "%s", %s (%d), group %d, %s' % (
                c["number"], esc(c["name"]), c["typeName"], c["type"], c["group"],
                "active" if c["active"] else "inactive")
        if facts["infoFailedAt"] is not None:
            yield "  %d to %d: no description (getChannelInfo error %d)" % (
                facts["infoFailedAt"], facts["count"], facts["infoError"])
    b = doc["bufferSize"]
    yield "Buffer lengths: minimum %d%s, maximum %d%s, preferred %d%s, granularity %d%s: %s" % (
        b["min"], mark(b, "min"), b["max"], mark(b, "max"), b["preferred"], mark(b, "preferred"),
        b["granularity"], mark(b, "granularity"), b["description"])
    yield "Sample rate: %.0f Hz" % doc["sampleRate"]["current"]
    rates = " ".join("%.0f" % r for r in doc["sampleRate"]["accepted"])
    yield "Accepted rates: %s" % (rates + " Hz" if rates else "none of the usual ones")
    for s in doc["clockSources"]["sources"]:
        yield 'Clock source %d: "%s", channel %d, group %d' % (
            s["index"], esc(s["name"]), s["channel"], s["group"])
    lat = doc["latency"]
    if lat["input"] is not None:
        yield "Latencies at %d frames: input %d, output %d frames" % (
            lat["bufferFrames"], lat["input"], lat["output"])
    v = doc["verdict"]
    yield (v["commandLine"] or "Command line: none") if v["usable"] else "Verdict: not usable by tandemwav: " + v["reason"]


def main():
    text = open(sys.argv[1], encoding="latin-1").read().replace("\r", "")
    doc = json.load(open(sys.argv[2], encoding="utf-8"))
    missing = [line for line in expected_lines(doc) if line not in text]
    for line in missing:
        print("not in the text output: %r" % line)
    sys.exit(1 if missing else 0)


main()
