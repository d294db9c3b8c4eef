#!/usr/bin/env bash
# An installed copy, run the way users run it: installed into a scratch prefix,
# started from elsewhere with a clean environment (nothing of the build tree on
# any path, an empty configuration folder); then the whole prefix moved.
. "$(dirname "$0")/lib.sh"
. "$(dirname "$0")/streaming_lib.sh"
. "$(dirname "$0")/ship_lib.sh"

prefix=$work/prefix
if ! cmake --install "$build" --prefix "$prefix" >install.log; then
    echo "FAIL cmake --install"
    finish
fi
mkdir -p elsewhere home config
run_program() {
    (cd "$work/elsewhere" && exec env -i PATH=/usr/bin:/bin HOME="$work/home" \
        XDG_CONFIG_HOME="$work/config" "$prefix/bin/tandemwav" "$@") \
        >"$work/out" 2>"$work/err" </dev/null
    status=$?
}
registration=$prefix/share/tandemwav/registry.reg
check "the registration names the installed modules, not the build tree's" \
    eval 'grep -q "Tandem Loopback" "$registration" && ! grep -qF "$(dirname "$module")" "$registration"'

sweep() { printf '%s' "$prefix/share/tandemwav/examples/sweep.wav"; }
run_in_time "Tandem Loopback" 256 "$(sweep)" 1 "$work/rec.wav" 2 1
expect_sweep_loop installed "$(sweep)" "$work/rec.wav"

# The installed probe shows the module where it is, without the registration's
# relative steps.
(cd "$work/elsewhere" && exec env -i PATH=/usr/bin:/bin HOME="$work/home" \
    XDG_CONFIG_HOME="$work/config" "$prefix/bin/tandemwav-probe") >"$work/list" 2>&1 </dev/null
installed_module=$(cd "$prefix" && realpath "$(find . -name libtandem_loopback.so)")
check "the probe lists the installed module by its plain path" \
    grep -qF "  \"Tandem Loopback\"  {8980851F-4FD3-4041-8214-576F7F967C37}  $installed_module  module found" "$work/list"

mv "$prefix" "$work/moved"
prefix=$work/moved
run_in_time "Tandem Loopback" 256 "$(sweep)" 1 "$work/rec2.wav" 2 1
expect_sweep_loop "moved prefix" "$(sweep)" "$work/rec2.wav"

# The user's file comes after the installed one: its device of the same name wins.
clsid='{C0FFEE00-0000-4000-8000-0000000000AB}'
loopback=$(find "$prefix" -name libtandem_loopback.so)
mkdir -p config/tandemwav
printf '%s\n' 'Windows Registry Editor Version 5.00' \
    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\tandemwav\\loopback\\$clsid]" '"inputs"=dword:00000003' \
    '[HKEY_LOCAL_MACHINE\SOFTWARE\ASIO\Tandem Loopback]' "\"CLSID\"=\"$clsid\"" \
    "[HKEY_CLASSES_ROOT\\CLSID\\$clsid\\InprocServer32]" "@=\"$loopback\"" \
    >config/tandemwav/registry.reg
make_float_wav play.wav 2 48000 1000
run_program "Tandem Loopback" 256 "$work/play.wav" 1 "$work/rec3.wav" 2 1
check "a user's registration overrides the installed one" \
    eval '[ "$status" = 0 ] && grep -q "Available driver channel: 3 inputs; 8 outputs" "$work/out"'
rm -r config/tandemwav

rm "$loopback"
expect_run "installed module removed: the driver is skipped" 4 \
    "${BANNER}Error: Failed to load ASIO driver Tandem Loopback!" \
    "Tandem Loopback" 256 "$work/play.wav" 1 "$work/rec4.wav" 2 1
finish
