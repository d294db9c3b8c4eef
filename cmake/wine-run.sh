#!/usr/bin/env bash
# Runs one Windows program under Wine, headless, in the test run's own prefix.
# TANDEMWAV_WINEPREFIX is set by the test fixture; never the user's ~/.wine.
set -u
export WINEPREFIX="${TANDEMWAV_WINEPREFIX:?TANDEMWAV_WINEPREFIX is not set}"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
unset DISPLAY
exec wine "$@" </dev/null
