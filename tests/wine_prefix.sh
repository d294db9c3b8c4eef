#!/usr/bin/env bash
# Makes the test run's Wine prefix once and keeps one wineserver alive for the
# whole run, so each Windows test process starts in about 50 ms, not 1 s.
set -eu
action=$1
prefix=$2
export WINEPREFIX=$prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
unset DISPLAY
case $action in
up)
    if [ ! -f "$prefix/system.reg" ]; then
        mkdir -p "$prefix"
        wineboot -i </dev/null >/dev/null 2>&1
        wineserver -w
    fi
    /usr/lib/wine/wineserver64 -p </dev/null >/dev/null 2>&1 || true
    # The first process of a session starts Wine's services, which inherit its
    # output; started here, they never hold a test's output open.
    wine wineboot </dev/null >/dev/null 2>&1 || true
    ;;
down)
    wineserver -k >/dev/null 2>&1 || true
    ;;
esac
