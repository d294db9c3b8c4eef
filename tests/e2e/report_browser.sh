#!/usr/bin/env bash
# The report page as a person's browser shows it: headless Chromium opens the
# page of a made-up run of 2 outputs by 3 inputs, one pair below its noise,
# one take taken three times, samples clipped.
# Every responding pair has its six plots with labelled axes, the direct
# pairs are overlaid in one, the header names the reference, calibration,
# gate and smoothing, the crosstalk matrix has six cells, nothing loads from elsewhere, and the screenshot is not
# blank. A device name with markup in it shows as text.
#   report_browser.sh REPORT_EXAMPLE WORKDIR
set -u
example=$1
work=$2
rm -rf "$work"
mkdir -p "$work"
here=$(cd "$(dirname "$0")" && pwd)
. "$here/report_browser_lib.sh"
failures=0

"$example" "$work" || { echo "FAIL report_example"; exit 1; }
render_page "$work/report.html" "$work/dom.html" "$work/report.png"
if python3 "$here/report_page_check.py" dom "$work/dom.html" 2 3 2:3; then
    echo "ok   rendered page: plots, axes, matrix"
else
    failures=$((failures + 1))
fi
if python3 "$here/report_page_check.py" events "$work/dom.html" 45733 5 1:2:3; then
    echo "ok   clipped samples, lost blocks and the retake counted"
else
    failures=$((failures + 1))
fi
if grep -q '<tr id="reference"><th>Reference</th><td>input 3</td>' "$work/dom.html" &&
    grep -q '<td>input 1: mic &lt;7&gt;.txt; input 2: mic 8.txt</td>' "$work/dom.html" &&
    grep -q '<tr id="gate"><th>Gate</th><td>4 ms after the peak' "$work/dom.html" &&
    grep -q '<tr id="smoothing"><th>Smoothing</th><td>1/3 octave</td>' "$work/dom.html"; then
    echo "ok   the header names the reference, the calibration files, the gate and the smoothing"
else
    echo "FAIL header"; failures=$((failures + 1))
fi
if grep -q '<h1>Measurement report: Studio &lt;Interface&gt; &amp; Co</h1>' "$work/dom.html"; then
    echo "ok   markup in a device name stays text"
else
    echo "FAIL device name"; failures=$((failures + 1))
fi
if [ -s "$work/report.png" ] && python3 "$here/report_page_check.py" screenshot "$work/report.png"; then
    echo "ok   screenshot not blank"
else
    echo "FAIL screenshot"; failures=$((failures + 1))
fi
if [ "$failures" -ne 0 ]; then
    echo "$failures case(s) failed"
    exit 1
fi
