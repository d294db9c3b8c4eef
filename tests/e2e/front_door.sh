#!/usr/bin/env bash
# The front door, before any driver is touched: usage, and the playback file.
. "$(dirname "$0")/lib.sh"

USAGE='This command-line application play a WAV file on outputs channels
of an ASIO enabled device  while records inputs channels.

The application is built directly from the ASIO SDK to avoid intermediate layer
on hardware access ensuring accurate and repetible syncronization between
input and output buffer permit avoiding any packet loss.
The application support only 32bit float WAV file
and sound card with 26,24,32 bit LSB integer ASIO format (the majority I hope)

Usage  : >tandemwav <ASIODriverName> <ASIOBuffer> <wavPlayFileName> <PlayStartChannel> <wavRecFileName> <RecNumChannel> <RecStartChannel>

<ASIODriverName>   - Name of ASIO driver (Use " " to input name with space!)
<ASIOBuffer>       - Length of buffer used to exchange audio data with sound card
<wavPlayfileName>  - Name of 32bit float WAV input file
<PlayStartChannel> - Index of the first output channel to use (Starting from 1)
<wavRecfileName>   - Name of 32bit float WAV output file
<RecNumChannel>    - Numbert of input channel to records
<RecStartChannel>  - Index of the first input channel to record (Starting from 1)

Example: >tandemwav "ASIO4ALL v2" 1024  testPlay.wav 1 testRec.wav 2 1

'

expect_run "no arguments" 1 "$BANNER$USAGE"
expect_run "six arguments" 1 "$BANNER$USAGE" a 256 b.wav 1 c.wav 2
expect_run "eight arguments" 1 "$BANNER$USAGE" a 256 b.wav 1 c.wav 2 1 extra

expect_run "missing playback file" 2 \
    "${BANNER}Error: Unable to load input WAV file missing.wav!" \
    "No Such Driver" 256 missing.wav 1 rec.wav 2 1

: >empty.wav
expect_run "empty playback file" 2 \
    "${BANNER}Error: Unable to load input WAV file empty.wav!" \
    "No Such Driver" 256 empty.wav 1 rec.wav 2 1

make_float_wav pcm16.wav 2 48000 100 1 16
expect_run "16-bit integer playback file" 3 \
    "${BANNER}Error: Unsupported WAV file format! (This application support only 32bit float WAV file)" \
    "No Such Driver" 256 pcm16.wav 1 rec.wav 2 1

[ ! -e rec.wav ] || { echo "FAIL a refused run left a record file"; failures=$((failures + 1)); }
finish
